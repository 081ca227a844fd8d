// The library and conversion views under load, measured as a user would feel
// them; views_bench.sh runs it on clips it makes and prints the figures.
//   zorvex-views-bench cards CLIP [FFMPEG] 70 cards: first complete paint, GUI stalls
//   zorvex-views-bench progress CLIP FFMPEG   one conversion: the GUI thread's CPU share
// It prints one line of "name value" pairs. Nothing opens a socket.

// Before Qt: its "slots" keyword would break this header.
#include "service/service.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core_kit.h"
#include "media/ffmpeg_tool.h"
#include "platform/file_util.h"
#include "platform/subprocess.h"
#include "platform/utf8_locale.h"
#include "ui/toolkit/qt_executor.h"
#include "ui/windows/convert_list.h"
#include "ui/windows/convert_list_item_dlg.h"
#include "ui/windows/video_wnd_dlg.h"
#include "ui/windows/video_wnd_list.h"

using namespace zorvex;
namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 808, kHeight = 526;  // the page's content area

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Times every event the GUI thread handles, outermost dispatch only.
class TimedApplication final : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        if (depth_++ > 0) {
            const bool handled = QApplication::notify(receiver, event);
            --depth_;
            return handled;
        }
        QElapsedTimer wall;
        wall.start();
        const double cpu = threadCpuMs();
        const bool handled = QApplication::notify(receiver, event);
        --depth_;
        if (measuring) {
            longestWallMs = std::max(longestWallMs, wall.nsecsElapsed() / 1e6);
            longestCpuMs = std::max(longestCpuMs, threadCpuMs() - cpu);
        }
        return handled;
    }
    bool measuring = false;
    double longestWallMs = 0, longestCpuMs = 0;

private:
    int depth_ = 0;
};

TimedApplication* app() {
    return static_cast<TimedApplication*>(QCoreApplication::instance());
}

// Runs the event loop (sleeping while nothing happens, as the application
// does) until the condition holds; false after the seconds.
bool pumpUntil(const std::function<bool()>& condition, int seconds) {
    if (condition()) return true;
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (condition() || clock.elapsed() > seconds * 1000) loop.quit();
    });
    check.start(20);
    loop.exec();
    return condition();
}

struct Folder {
    std::string path;
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "zorvex-bench-views-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        path = pattern;
    }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

// The kits' service listens on loopback only.
constexpr const char* kAddress = "127.0.0.1";

// 35 sources and their 35 conversions in the catalogue, as a full library
// comes back at start; with their thumbnails or without (made again then).
void share70(test::CoreKit& kit, const std::string& clip, const std::string& thumbnail) {
    for (int i = 0; i < 35; ++i) {
        const std::string name = "video-" + std::to_string(i) + ".mp4";
        const std::string source = kit.home() + "/videos/" + name;
        const std::string output = kit.convertFolder() + "/" + name;
        makeDirectories(parentFolder(source));
        fs::create_hard_link(clip, source);
        fs::create_hard_link(clip, output);
        for (auto [path, list] : {std::pair{source, LIST_SOURCE}, {output, LIST_CONVERTED}}) {
            std::string key;
            kit.service().addFile(path, list, &key);
            if (!thumbnail.empty()) fs::copy_file(thumbnail, kit.thumbnailPathFor(key));
        }
    }
}

bool visibleComplete(ui::CVideoWndList& list) {
    if (list.cardCount() == 0) return false;
    const QRect view = list.viewport()->rect();
    for (int i = 0; i < list.cardCount(); ++i) {
        ui::CVideoWndDlg* card = list.cardAt(i);
        if (!card->geometry().intersects(view)) continue;
        if (!card->hasThumbnail() || !card->paintedCurrent()) return false;
    }
    return true;
}

bool examinedAndThumbnailed(const ui::CoreSession& session, ui::CVideoWndList& list) {
    if (session.examining() || list.diskJobs() > 0) return false;
    for (const ui::CardView& card : session.cards())
        if (!card.examined || !card.thumbUsable) return false;
    for (int i = 0; i < list.cardCount(); ++i)
        if (!list.cardAt(i)->hasThumbnail()) return false;
    return true;
}

int cards(const std::string& clip, const std::string& ffmpeg) {
    Folder work;
    const std::string thumbnail = work.path + "/thumbnail.jpg";
    // One frame of the clip as every card's picture.
    auto made = runToEnd({"ffmpeg", "-v", "error", "-y", "-i", clip, "-f", "image2", "-s", "128x72",
                          "-vframes", "1", thumbnail});
    if (!made || made->exitCode != 0) return 1;
    QObject context;
    QtExecutor executor(&context);

    // Start with thumbnails on disk: the first complete paint.
    double buildMs = 0, paintMs = 0, warmEventMs = 0, warmEventCpuMs = 0;
    {
        test::CoreKit kit(work.path + "/warm", executor, kAddress);
        share70(kit, clip, thumbnail);
        ui::CoreSession session(kit.parts());
        ui::CVideoWndList list(session, nullptr);
        list.resize(kWidth, kHeight);
        list.show();
        pumpUntil([] { return false; }, 0);
        QElapsedTimer clock;
        clock.start();
        kit.library().BuildFromCatalogue();
        buildMs = clock.nsecsElapsed() / 1e6;
        if (!pumpUntil([&] { return visibleComplete(list); }, 60)) return 1;
        paintMs = clock.nsecsElapsed() / 1e6;
        app()->measuring = true;
        pumpUntil([&] { return !session.examining(); }, 120);
        app()->measuring = false;
        warmEventMs = app()->longestWallMs;
        warmEventCpuMs = app()->longestCpuMs;
        app()->longestWallMs = app()->longestCpuMs = 0;
    }

    // Start without them: every card examined and its thumbnail made by
    // FFmpeg while the window runs. The GUI thread's stalls meanwhile.
    std::function<FfmpegTool()> chosen;
    if (!ffmpeg.empty()) chosen = [tool = ProbeFfmpegTool(ffmpeg)] { return tool; };
    test::CoreKit kit(work.path + "/cold", executor, kAddress, chosen);
    share70(kit, clip, {});
    ui::CoreSession session(kit.parts());
    ui::CVideoWndList list(session, nullptr);
    list.resize(kWidth, kHeight);
    list.show();
    pumpUntil([] { return false; }, 0);
    double longestGapMs = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGapMs = std::max(longestGapMs, sinceTick.nsecsElapsed() / 1e6 - 1.0);
        sinceTick.start();
    });
    QElapsedTimer clock;
    clock.start();
    const double coldCpu = threadCpuMs();
    kit.library().BuildFromCatalogue();
    const double coldBuildMs = clock.nsecsElapsed() / 1e6;
    const double coldBuildCpuMs = threadCpuMs() - coldCpu;
    app()->measuring = true;
    sinceTick.start();
    ticker.start(1);
    const bool complete = pumpUntil([&] { return examinedAndThumbnailed(session, list); }, 300);
    ticker.stop();
    app()->measuring = false;
    std::printf(
        "build_ms %.1f first_complete_paint_ms %.1f warm_event_ms %.1f warm_event_cpu_ms %.1f "
        "cold_build_ms %.1f cold_build_cpu_ms %.1f examined_s %.1f longest_gap_ms %.1f "
        "longest_event_ms %.1f longest_event_cpu_ms %.1f complete %d\n",
        buildMs, paintMs, warmEventMs, warmEventCpuMs, coldBuildMs, coldBuildCpuMs,
        clock.elapsed() / 1e3, longestGapMs, app()->longestWallMs, app()->longestCpuMs,
        complete ? 1 : 0);
    return complete ? 0 : 1;
}

// The user's one card and its "转码", through the session as the windows
// give them: the clip added, ticked once examined, and converted.
int progress(const std::string& clip, const std::string& ffmpeg) {
    Folder work;
    QObject context;
    QtExecutor executor(&context);
    test::CoreKit kit(work.path + "/home", executor, kAddress,
                      [tool = ProbeFfmpegTool(ffmpeg)] { return tool; });
    ui::CoreSession session(kit.parts());
    ui::CConvertList list(session, nullptr);
    list.resize(kWidth, kHeight);
    list.show();
    pumpUntil([] { return false; }, 0);
    if (!session.addChosen({clip})) return 1;
    auto examined = [&] {
        const std::vector<ui::CardView> cards = session.cards();
        return cards.size() == 1 && cards.front().examined;
    };
    if (!pumpUntil(examined, 60)) return 1;
    session.toggleChecked(session.cards().front().itemId);

    QElapsedTimer wall;
    wall.start();
    const double cpu = threadCpuMs();
    ui::ConvertOutcome outcome = session.queueConversion();
    while (outcome.question) outcome = session.answerDuplicate(ui::DuplicateChoice::Skip);
    if (!outcome.queued) return 1;
    const std::string key = session.tasks().front().key;
    using ui::TaskLook;
    const bool done = pumpUntil(
        [&] {
            auto task = session.task(key);
            return task && (task->look == TaskLook::Done || task->look == TaskLook::Failed ||
                            task->look == TaskLook::Stopped);
        },
        1800);
    const double seconds = wall.nsecsElapsed() / 1e9;
    const double cpuMs = threadCpuMs() - cpu;
    auto task = session.task(key);
    std::printf(
        "seconds %.2f gui_cpu_ms %.1f gui_share_percent %.3f repaints %d per_second %.1f "
        "ended %s\n",
        seconds, cpuMs, cpuMs / (seconds * 10), list.progressRepaints(),
        list.progressRepaints() / seconds,
        !task                             ? "gone"
        : task->look == TaskLook::Done    ? "done"
        : task->look == TaskLook::Stopped ? "stopped"
                                          : "failed");
    return done && task && task->look == TaskLook::Done ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    EnsureUtf8Locale();
    TimedApplication application(argc, argv);
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "cards" && (argc == 3 || argc == 4))
        return cards(argv[2], argc == 4 ? argv[3] : "");
    if (command == "progress" && argc == 4) return progress(argv[2], argv[3]);
    std::fputs("usage: zorvex-views-bench cards CLIP [FFMPEG] | progress CLIP FFMPEG\n", stderr);
    return 2;
}
