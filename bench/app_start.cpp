// The application as main opens it, over a full library; app_start.sh runs
// it and prints the figures.
//   zorvex-app-bench prepare HOME CLIP THUMBNAIL BIG
//       35 videos and 35 conversions in the catalogue, each with its
//       thumbnail, BIG first among them, and 20 finished tasks in
//       ConvertList.xml
//   zorvex-app-bench run HOME [ADDRESS]
//       opens the main window with the service on ADDRESS (a loopback
//       address, 127.0.0.1 by default), converts BIG while the cards are
//       examined, as a user would through the windows' session, and prints
//       one line of "name value" pairs
//   zorvex-app-bench examine HOME [ADDRESS]
//       the same without the conversion: until the 70 cards are examined
// The service binds the loopback address only; nothing else opens a socket.

// Before Qt: its "slots" keyword would break this header.
#include "service/service.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/window_runner.h"
#include "platform/allocator_arenas.h"
#include "platform/file_util.h"
#include "platform/home_layout.h"
#include "platform/utf8_locale.h"
#include "transcode/convert_list_file.h"
#include "ui/session/core_session.h"
#include "ui/windows/zorvex_vr_client_dlg.h"

using namespace zorvex;

namespace {

// A list holds 35. The big video has no conversion yet (one would bring up
// the question of replacing it): the 35th conversion is of another name.
// With both lists full, a conversion is refused, so the user deletes a
// converted card first to make room, as the full-list toast tells them to.
constexpr int kSources = 35, kCards = 2 * kSources, kTasks = 20;

double nowMs(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// When the kernel started this process, on CLOCK_BOOTTIME (to 10 ms).
double processStartMs() {
    std::ifstream in("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
    }
    return std::stod(field) * 1e3 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double statusMiB(const std::string& key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.starts_with(key + ":")) return std::stod(line.substr(key.size() + 1)) / 1024.0;
    return 0;
}

// Times every event the GUI thread handles (outermost dispatch), and notes
// when the main window's first paint has been handled completely.
class TimedApplication final : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        if (depth_++ > 0) {
            notePaint(receiver, event);
            const bool handled = QApplication::notify(receiver, event);
            --depth_;
            return handled;
        }
        notePaint(receiver, event);
        const double wall = nowMs(CLOCK_MONOTONIC), cpu = nowMs(CLOCK_THREAD_CPUTIME_ID);
        const bool handled = QApplication::notify(receiver, event);
        --depth_;
        if (measuring) {
            longestWallMs = std::max(longestWallMs, nowMs(CLOCK_MONOTONIC) - wall);
            longestCpuMs = std::max(longestCpuMs, nowMs(CLOCK_THREAD_CPUTIME_ID) - cpu);
        }
        if (windowPainted_ && firstPaintMs < 0) firstPaintMs = nowMs(CLOCK_BOOTTIME);
        return handled;
    }
    QObject* window = nullptr;
    bool measuring = false;
    double longestWallMs = 0, longestCpuMs = 0, firstPaintMs = -1;

private:
    // Children that cover the window are painted instead of it.
    void notePaint(QObject* receiver, QEvent* event) {
        if (event->type() != QEvent::Paint || !receiver->isWidgetType()) return;
        if (static_cast<QWidget*>(receiver)->window() == window) windowPainted_ = true;
    }
    int depth_ = 0;
    bool windowPainted_ = false;
};

bool pumpUntil(const std::function<bool()>& condition, int seconds) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > qint64{seconds} * 1000) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

int prepare(const std::string& home, const std::string& clip, const std::string& thumbnail,
            const std::string& big) {
    const HomeLayout layout(home);
    const std::string videos = home + "/videos", converted = layout.convertedFolder();
    makeDirectories(videos);
    makeDirectories(converted);
    makeDirectories(layout.thumbnailFolder());
    const std::string picture = readWholeFile(thumbnail).value_or("");
    const std::string clipBytes = readWholeFile(clip).value_or("");
    std::vector<ConvertListRecord> tasks;
    {
        Service service(home);  // its link files go to home/file_root
        for (int i = 0; i < kSources; ++i) {
            const std::string name = i == 0 ? "big.mp4" : "clip-" + std::to_string(i) + ".mp4";
            const std::string source = videos + "/" + name;
            const std::string output = converted + (i == 0 ? "older.mp4" : name);
            if (i == 0) {
                writeFileAtomic(source, readWholeFile(big).value_or(""));
            } else {
                writeFileAtomic(source, clipBytes);
            }
            writeFileAtomic(output, clipBytes);
            for (const auto& [path, list] : {std::pair{source, 1}, std::pair{output, 2}}) {
                std::string key;
                if (service.addFile(path, list, &key) != 0) {
                    std::fprintf(stderr, "could not share %s\n", path.c_str());
                    return 1;
                }
                writeFileAtomic(layout.thumbnail(key), picture);
                if (list == 2 && static_cast<int>(tasks.size()) < kTasks) {
                    ConvertListRecord record;
                    record.item.VideoName = fileNamePart(output);
                    record.item.VideoPath = output;
                    record.item.VideoSize = std::to_string(clipBytes.size());
                    record.item.VideoScreenPath = layout.thumbnail(key);
                    record.item.VideoTime = "00:00:02";
                    record.item.VideoWidth = "640";
                    record.item.VideoHeight = "360";
                    record.type = TASK_DONE;
                    tasks.push_back(record);
                }
            }
        }
    }
    return SaveConvertList(layout.convertList(), tasks) ? 0 : 1;
}

bool allExamined(const ui::CoreSession& session) {
    if (session.examining()) return false;
    for (const ui::CardView& card : session.cards())
        if (!card.examined) return false;
    return true;
}

// Everything the user started has ended: every card examined, every task
// finished.
bool allSettled(const ui::CoreSession& session) {
    if (!allExamined(session)) return false;
    const std::vector<ui::TaskRowView> tasks = session.tasks();
    for (const ui::TaskRowView& task : tasks)
        if (task.look != ui::TaskLook::Done) return false;
    return static_cast<int>(tasks.size()) == kTasks + 1;
}

// The big video is the first card, and examined first: the user ticks it
// and clicks "转码" the moment it can be, while the other cards are
// examined. The session carries both clicks, as it does the windows'.
// examinedBefore: the cards examined by then.
bool startConversion(ui::CoreSession& session, int& examinedBefore) {
    const std::string firstId = session.cards().front().itemId;
    std::string roomId;  // the converted card that goes to make room
    auto readyToConvert = [&] {
        bool firstExamined = false;
        for (const ui::CardView& card : session.cards()) {
            if (card.itemId == firstId) firstExamined = card.examined;
            if (roomId.empty() && card.examined && card.look == ui::CardLook::Converted)
                roomId = card.itemId;
        }
        return firstExamined && !roomId.empty();
    };
    if (!pumpUntil(readyToConvert, 60)) {
        std::fprintf(stderr, "the first card or no converted card was examined\n");
        return false;
    }
    for (const ui::CardView& card : session.cards()) examinedBefore += card.examined ? 1 : 0;
    session.toggleChecked(roomId);
    session.deleteItems(false);
    session.toggleChecked(firstId);
    ui::ConvertOutcome outcome = session.queueConversion();
    while (outcome.question) outcome = session.answerDuplicate(ui::DuplicateChoice::Skip);
    if (!outcome.queued) {
        std::fprintf(stderr, "the conversion was not queued\n");
        return false;
    }
    return true;
}

// convert: a conversion is started as soon as the first card is examined.
int run(int& argc, char** argv, const std::string& home, const std::string& address, bool convert) {
    const double started = processStartMs(), mainEntered = nowMs(CLOCK_BOOTTIME);
    KeepAllocatorSmall();  // as main() does, or the resident size is not the application's
    TimedApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zorvex"));
    WindowedApplication running;
    if (StartupResult opened = running.open(home, {address}); !opened) {
        std::fprintf(stderr, "%s\n", opened.message.c_str());
        return 1;
    }
    qtApp.window = &running.window();
    ui::CoreSession& session = running.session();
    if (!pumpUntil([&] { return qtApp.firstPaintMs >= 0; }, 30)) {
        std::fprintf(stderr, "the window was not painted\n");
        return 1;
    }
    const double rssAtPaint = statusMiB("VmRSS");

    // A 1 ms timer's ticks show the longest time nothing else could run.
    const double measuredFrom = nowMs(CLOCK_MONOTONIC);
    double lastTick = measuredFrom, longestGap = 0, longestGapAt = 0, longestLaterGap = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const double now = nowMs(CLOCK_MONOTONIC);
        if (now - lastTick > longestGap) {
            longestGap = now - lastTick;
            longestGapAt = lastTick - measuredFrom;
        }
        // After the first second, once the start's own burst of work is over.
        if (lastTick - measuredFrom > 1000)
            longestLaterGap = std::max(longestLaterGap, now - lastTick);
        lastTick = now;
    });
    ticker.start(1);
    qtApp.measuring = true;

    const std::size_t cards = session.cards().size();
    if (cards != kCards) {
        std::fprintf(stderr, "the library holds %zu cards\n", cards);
        return 1;
    }
    int examinedBefore = 0;
    if (convert && !startConversion(session, examinedBefore)) return 1;
    const bool settled =
        pumpUntil([&] { return convert ? allSettled(session) : allExamined(session); }, 600);
    qtApp.measuring = false;
    ticker.stop();
    if (!settled) {
        std::fprintf(stderr, "the conversion or the examination did not end\n");
        return 1;
    }
    const double rssAtEnd = statusMiB("VmRSS");
    // Settled: two quiet seconds later, as a user leaves the window open.
    pumpUntil([] { return false; }, 2);
    std::printf(
        "start_to_paint_ms %.1f main_to_paint_ms %.1f cards %zu rss_at_paint_mib %.1f "
        "rss_at_end_mib %.1f rss_settled_mib %.1f peak_rss_mib %.1f longest_event_ms %.2f "
        "longest_event_cpu_ms %.2f longest_gap_ms %.2f longest_gap_after_ms %.0f "
        "later_gap_ms %.2f measured_ms %.0f examined_before_convert %d\n",
        qtApp.firstPaintMs - started, qtApp.firstPaintMs - mainEntered, cards, rssAtPaint, rssAtEnd,
        statusMiB("VmRSS"), statusMiB("VmHWM"), qtApp.longestWallMs, qtApp.longestCpuMs, longestGap,
        longestGapAt, longestLaterGap, nowMs(CLOCK_MONOTONIC) - measuredFrom, examinedBefore);
    running.shutDown();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    EnsureUtf8Locale();
    const std::string mode = argc > 2 ? argv[1] : "";
    if (mode == "prepare" && argc == 6) return prepare(argv[2], argv[3], argv[4], argv[5]);
    if ((mode == "run" || mode == "examine") && (argc == 3 || argc == 4))
        return run(argc, argv, argv[2], argc == 4 ? argv[3] : "127.0.0.1", mode == "run");
    std::fprintf(stderr,
                 "usage: zorvex-app-bench prepare HOME CLIP THUMBNAIL BIG\n"
                 "       zorvex-app-bench run|examine HOME [ADDRESS]\n");
    return 2;
}
