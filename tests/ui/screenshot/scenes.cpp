#include "scenes.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMouseEvent>

#include <filesystem>
#include <memory>
#include <stdexcept>

#include "core_kit.h"
#include "foundation/paths.h"
#include "foundation/settings.h"
#include "foundation/system_info.h"
#include "media/media_probe.h"
#include "platform/file_util.h"
#include "platform/subprocess.h"
#include "populated_home.h"
#include "scripted_session.h"
#include "service/catalogue_restore.h"
#include "support/test_support.h"
#include "ui/toolkit/qt_executor.h"
#include "ui/windows/convert_list.h"
#include "ui/windows/convert_list_item_dlg.h"
#include "ui/windows/left_menu_dlg.h"
#include "ui/windows/right_video_dlg.h"
#include "ui/windows/video_wnd_dlg.h"
#include "ui/windows/video_wnd_list.h"
#include "ui/windows/zorvex_vr_client_dlg.h"

namespace zorvex::screenshot {

namespace fs = std::filesystem;

namespace {

// The page's content area in the 972 x 630 window.
constexpr int kWidth = 808;
constexpr int kHeight = 526;

QImage capture(QWidget& widget) {
    pumpUntil([] { return false; }, 0);
    return widget.grab().toImage();
}

struct Clip {
    const char* name;
    const char* source;
};

// A dozen videos as a user would collect them, each with its own picture.
const Clip kClips[] = {
    {"海边日落.mp4", "gradients=size=640x360:rate=10:seed=11:speed=0.01"},
    {"holiday_in_rome.mp4", "smptehdbars=size=640x360:rate=10"},
    {"alps_360_panorama.mkv", "mandelbrot=size=640x320:rate=10"},
    {"concert_front_row.mov", "gradients=size=640x360:rate=10:seed=3:speed=0.01"},
    {"ocean.avi", "gradients=size=640x360:rate=10:seed=5:speed=0.01"},
    {"城市夜景航拍.mp4", "gradients=size=640x360:rate=10:seed=21:speed=0.01:type=radial"},
    {"rollercoaster_3d.mp4", "testsrc2=size=640x360:rate=10"},
    {"forest_walk.mp4", "gradients=size=640x360:rate=10:seed=7:speed=0.01"},
    {"drone_flight.mkv", "gradients=size=640x360:rate=10:seed=17:speed=0.01:type=circular"},
    {"kids_party.mp4", "gradients=size=640x360:rate=10:seed=13:speed=0.01:type=spiral"},
    {"old_trip.avi", "gradients=size=640x360:rate=10:seed=29:speed=0.01"},
    {"museum_tour.flv", "pal100bars=size=640x360:rate=10"},
};
// Every picture's service listens here, on loopback.
constexpr const char* kAddress = "127.84.1.1";

bool examined(VideoLibrary& library) {
    for (const auto& item : library.items())
        if (!item.card->examined()) return false;
    return !library.examining();
}

bool thumbnailsMade(VideoLibrary& library) {
    for (const auto& item : library.items())
        if (item.card->kind() != KIND_MISSING && !item.card->thumbUsable()) return false;
    return true;
}

QImage cardList(const std::string& work) {
    QObject context;
    QtExecutor executor(&context);
    test::CoreKit kit(work + "/home", executor, kAddress);
    std::vector<std::string> paths;
    for (const Clip& clip : kClips) {
        paths.push_back(work + "/videos/" + clip.name);
        makeClip(paths.back(), clip.source, 2);
    }
    // A first run shares the videos, makes their thumbnails and converts one.
    VideoLibrary& first = kit.library();
    first.AddDropped(paths);
    if (!pumpUntil([&] { return examined(first) && thumbnailsMade(first); }, 180))
        throw std::runtime_error("the first run did not examine its videos");
    const std::string output = kit.convertFolder() + "/rollercoaster_3d.mp4";
    fs::copy_file(paths[6], output);
    first.OnConverted(paths[6], output);
    if (!pumpUntil([&] { return examined(first) && thumbnailsMade(first); }, 120))
        throw std::runtime_error("the converted video was not examined");
    fs::remove(paths[10]);  // lost since: its card keeps the last thumbnail

    // The next start: the library rebuilt from the catalogue, in its window.
    kit.restart();
    VideoLibrary& library = kit.library();
    ui::CoreSession session(kit.parts());
    ui::CVideoWndList list(session, nullptr);
    list.resize(kWidth, kHeight);
    list.show();
    if (!pumpUntil([&] { return examined(library) && list.diskJobs() == 0; }, 120))
        throw std::runtime_error("the rebuilt library was not examined");
    // The picture's conversions are drawn as given: no FFmpeg runs for them.
    const std::pair<const std::string*, ui::CardLook> looks[] = {
        {&paths[2], ui::CardLook::Converting},
        {&paths[3], ui::CardLook::Waiting},
        {&paths[8], ui::CardLook::Waiting},
        {&paths[9], ui::CardLook::Interrupted}};
    for (int i = 0; i < list.cardCount(); ++i) {
        ui::CardView view = list.cardAt(i)->view();
        for (const auto& [path, look] : looks) {
            if (view.path != *path) continue;
            view.look = look;
            list.cardAt(i)->SetView(view);
        }
    }
    for (const auto& item : library.items()) {
        if (item.path == paths[0] || item.path == paths[5] || item.path == output)
            library.ToggleChecked(item.itemId);
    }
    // A few frames of the animation.
    QElapsedTimer clock;
    clock.start();
    pumpUntil([&] { return clock.elapsed() > 400; }, 2);
    return capture(list);
}

QImage emptyCardList(const std::string& work) {
    QObject context;
    QtExecutor executor(&context);
    test::CoreKit kit(work + "/home", executor, kAddress);
    ui::CoreSession session(kit.parts());
    ui::CVideoWndList list(session, nullptr);
    list.resize(kWidth, kHeight);
    list.show();
    return capture(list);
}

QImage conversionList(const std::string& work) {
    QObject context;
    QtExecutor executor(&context);
    test::CoreKit kit(work + "/home", executor, kAddress);
    const std::string videos = work + "/videos/";
    const std::string thumbs = work + "/thumbs/";
    makeDirectories(thumbs);
    struct Task {
        std::string name, source;
        int seconds;
    };
    const std::vector<Task> tasks = {
        {"海边日落.mp4",
         "gradients=size=640x360:rate=24:seed=11:speed=0.01,format=yuv420p,noise=alls=30:allf=t",
         2},
        {"holiday_in_rome.mp4", "smptehdbars=size=1280x720:rate=24,noise=alls=30:allf=t", 1},
        {"alps_360_panorama.mkv", "mandelbrot=size=1280x640:rate=24", 30},
        {"concert_front_row.mov",
         "gradients=size=1280x720:rate=24:seed=3:speed=0.01,format=yuv420p,noise=alls=30:allf=t",
         10},
    };
    std::vector<std::string> keys;
    auto add = [&](const Task& task, bool broken) {
        const std::string path = videos + task.name;
        const std::string thumbnail = thumbs + task.name + ".jpg";
        makeClip(path, task.source, task.seconds);
        runToEnd({"ffmpeg", "-v", "error", "-y", "-i", path, "-f", "image2", "-s", "128x72",
                  "-vframes", "1", thumbnail});
        MediaProbeResult probe = ProbeMedia(path);
        if (broken) writeFileAtomic(path, "this is no longer a video");
        keys.push_back(kit.queue().AddTask(task.name, path, probe.fileSize, thumbnail,
                                           probe.duration, probe.width, probe.height));
    };
    ui::CoreSession session(kit.parts());
    ui::CConvertList list(session, nullptr);
    list.resize(kWidth, kHeight);
    list.show();
    auto state = [&](std::size_t i) {
        auto task = kit.queue().task(keys[i]);
        return task ? task->state : -1;
    };
    // Finished; then one that will fail behind two that wait for it.
    add(tasks[0], false);
    if (!pumpUntil([&] { return state(0) == TASK_DONE; }, 120))
        throw std::runtime_error("the first conversion did not finish");
    add(tasks[1], true);
    add(tasks[2], false);
    add(tasks[3], false);
    kit.queue().Refresh();
    if (!pumpUntil([&] { return state(1) == TASK_FAILED && state(2) == TASK_RUNNING; }, 120))
        throw std::runtime_error("the broken source did not fail");
    // Some way into the running one.
    pumpUntil(
        [&] {
            auto task = kit.queue().task(keys[2]);
            return task && task->progress >= 37;
        },
        120);
    pumpUntil([&] { return list.diskJobs() == 0; }, 10);
    QImage image = capture(list);
    kit.queue().StopAll(true);
    return image;
}

// One populated home for every picture of the main window: FFmpeg makes it once.
const std::string& populatedHome() {
    static test::TempDir folder;
    static bool made = false;
    if (!made) {
        InitWorkingDirectories(folder.path());
        QObject context;
        QtExecutor executor(&context);
        test::CoreKit kit(folder.path(), executor, kAddress);
        demo::Prepare(folder.path(), kit.library(), kit.queue(), pumpUntil);
        made = true;
    }
    return folder.path();
}

// The real main window with the real page over the populated home, one phone
// counted (nothing listens), showing a view.
QImage mainWindow(int code) {
    const std::string& home = populatedHome();
    InitWorkingDirectories(home);
    demo::AddUnfinishedTask(home);
    QObject context;
    QtExecutor executor(&context);
    test::CoreKit kit(home, executor, kAddress);

    ui::CoreParts parts = kit.parts();
    parts.addresses = {kAddress, "127.84.1.2"};
    test::ScriptedSession session(parts);
    session.phonesScript = [] { return 1; };
    ui::CZorvexVRClientDlg window(session, {ui::ShadowMode::Strips, false});
    window.show();
    auto* page = static_cast<ui::CRightVideoDlg*>(window.page());
    pumpUntil([&] { return examined(kit.library()); }, 60);
    if (!demo::StartConversions(
            home, kit.library(), kit.queue(), [page] { page->OnConvert(); }, pumpUntil))
        throw std::runtime_error("the conversions did not start");
    // As a user gets there: by the left menu, which marks the entry.
    ui::CLeftMenuDlg& menu = *window.leftMenu();
    const QRect entry = code == ui::CLeftMenuDlg::MenuConvert    ? ui::CLeftMenuDlg::kConvertRect
                        : code == ui::CLeftMenuDlg::MenuSettings ? ui::CLeftMenuDlg::kSettingsRect
                                                                 : ui::CLeftMenuDlg::kFlyRect;
    QWidget* target = menu.childAt(entry.center());
    if (!target) target = &menu;
    const QPointF at = target->mapFrom(&menu, entry.center());
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, at, target->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
    }
    if (menu.marked() != code) throw std::runtime_error("the left menu did not take the click");
    QImage image = capture(window);
    kit.queue().StopAll(true);
    return image;
}

}  // namespace

bool pumpUntil(const std::function<bool()>& condition, int seconds) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (condition()) return true;
        if (clock.elapsed() >= qint64{seconds} * 1000) return false;
    }
}

void makeClip(const std::string& path, const std::string& source, int seconds) {
    makeDirectories(parentFolder(path));
    // A camera's bitrate, so that the sizes shown are those of real videos.
    auto result = runToEnd({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", source, "-t",
                            std::to_string(seconds), "-pix_fmt", "yuv420p", "-b:v", "12M", path});
    if (!result || result->exitCode != 0)
        throw std::runtime_error("ffmpeg could not make " + path + ": " +
                                 (result ? result->output : std::string("not started")));
}

const std::vector<Scene>& scenes() {
    static const std::vector<Scene> all = {
        {"card-list", "the library with a dozen cards of every kind", cardList},
        {"card-list-empty", "the library before the first video", emptyCardList},
        {"conversion-list", "a running, a waiting, a failed and a finished conversion",
         conversionList},
        {"main-window", "the main window: the library with a dozen cards, one phone in",
         [](const std::string&) { return mainWindow(ui::CLeftMenuDlg::MenuLibrary); }},
        {"main-window-convert", "the main window: the queue in every state",
         [](const std::string&) { return mainWindow(ui::CLeftMenuDlg::MenuConvert); }},
        {"main-window-settings", "the main window: the settings page",
         [](const std::string&) { return mainWindow(ui::CLeftMenuDlg::MenuSettings); }},
    };
    return all;
}

}  // namespace zorvex::screenshot
