// The whole road, as a user and a phone take it: videos dropped on the real
// window, shared, fetched, converted and restored after a restart; and a
// conversion cut off by SIGKILL. Offscreen, each test process on its own
// loopback address.
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "../service/phone_link.h"
#include "../transcode/media_fixtures.h"
#include "../ui/qt_test_env.h"
#include "app/window_runner.h"
#include "foundation/settings.h"
#include "platform/file_util.h"
#include "platform/subprocess.h"
#include "service/link_frame.h"
#include "support/child_process.h"
#include "support/test_support.h"
#include "transcode/conversion_task.h"
#include "ui/toolkit/kbc_button.h"
#include "ui/toolkit/notify_msg_dlg.h"
#include "ui/windows/convert_list.h"
#include "ui/windows/convert_list_item_dlg.h"
#include "ui/windows/right_video_dlg.h"
#include "ui/windows/video_wnd_dlg.h"
#include "ui/windows/video_wnd_list.h"
#include "ui/windows/zorvex_vr_client_dlg.h"

namespace zorvex {
namespace {

namespace fs = std::filesystem;
using ui::CRightVideoDlg;

const std::string& address() {
    static const std::string here = test::runAddress(1);
    return here;
}

// Runs the GUI thread until the condition holds, at most `bound`.
bool pump(const std::function<bool()>& condition,
          std::chrono::milliseconds bound = std::chrono::seconds(60)) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// What zorvex-phone prints, one line per entry: exists, thumbnail, key, name.
struct PhoneEntry {
    bool exists = false, thumbnail = false;
    std::string key, name;
};
std::vector<PhoneEntry> phoneList(int type) {
    auto run = runToEnd({ZORVEX_PHONE_BINARY, "list", "--host", address(), "--type",
                         std::to_string(type), "--timeout", "5"});
    std::vector<PhoneEntry> entries;
    if (!run || run->exitCode != 0) return entries;
    std::istringstream lines(run->output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("stamp ", 0) == 0) continue;
        PhoneEntry e;
        int exists = 0, thumbnail = 0;
        std::istringstream fields(line);
        fields >> exists >> thumbnail >> e.key;
        std::getline(fields >> std::ws, e.name);
        e.exists = exists == 1;
        e.thumbnail = thumbnail == 1;
        entries.push_back(e);
    }
    return entries;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
        for (const char* name : {"http_proxy", "all_proxy", "ALL_PROXY"}) ::unsetenv(name);
    }

    std::unique_ptr<WindowedApplication> open() {
        auto app = std::make_unique<WindowedApplication>();
        StartupResult started = app->open(home.path(), {address()});
        EXPECT_TRUE(started) << started.message;
        return app;
    }
    static CRightVideoDlg& page(WindowedApplication& app) {
        return *static_cast<CRightVideoDlg*>(app.window().page());
    }
    static void drop(ui::CVideoWndList& list, const std::vector<std::string>& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const auto& path : paths)
            urls.push_back(QUrl::fromLocalFile(QString::fromStdString(path)));
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(list.viewport(), &enter);
        QDropEvent event(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list.viewport(), &event);
    }
    static bool thumbnailsShown(Application& app, std::size_t count) {
        auto items = app.library().items();
        if (items.size() != count) return false;
        for (const auto& item : items)
            if (!item.card->thumbUsable()) return false;
        return true;
    }
    static std::vector<std::string> paths(Application& app) {
        std::vector<std::string> out;
        for (const auto& item : app.library().items()) out.push_back(item.path);
        return out;
    }
    static std::vector<std::string> names(Application& app) {
        std::vector<std::string> out;
        for (const auto& item : app.library().items()) out.push_back(item.name);
        return out;
    }

    test::TempDir runtime, home, videos;
};

TEST_F(EndToEnd, DropShareFetchConvertRestartAndQuit) {
    const std::string clip = videos.file("clip.mp4");
    const std::string holiday = videos.file("假期 片段.avi");
    fs::copy_file(test::mediaFixtures().video1080, clip);
    fs::copy_file(test::mediaFixtures().shortClip, holiday);

    auto app = open();
    CRightVideoDlg& fly = page(*app);
    Application& core = app->application();
    // 1. Dropped on the card list, examined, thumbnailed.
    drop(*fly.cardList(), {clip, holiday});
    ASSERT_TRUE(pump([&] { return thumbnailsShown(core, 2); }));

    // 2. A phone sees both, with thumbnails.
    std::vector<PhoneEntry> shared = phoneList(1);
    ASSERT_EQ(shared.size(), 2u);
    EXPECT_EQ(shared[0].name, "clip.mp4");
    EXPECT_EQ(shared[1].name, "假期 片段.avi");
    for (const auto& e : shared) EXPECT_TRUE(e.exists && e.thumbnail) << e.name;

    // 3. A range of the first, byte for byte.
    const std::string part = videos.file("part.bin");
    auto fetched = runToEnd({ZORVEX_PHONE_BINARY, "fetch", shared[0].key, "--host", address(), "-o",
                             part, "--range", "100-1123", "--timeout", "10"});
    ASSERT_TRUE(fetched && fetched->exitCode == 0);
    EXPECT_EQ(test::readFile(part), test::readFile(clip).substr(100, 1024));

    // 4. Converted from the window: checked, "转码", until the row says it is done.
    core.library().ToggleChecked(core.library().items()[0].itemId);
    fly.OnConvert();
    ASSERT_FALSE(core.queue().tasks().empty());
    ASSERT_TRUE(pump(
        [&] {
            auto tasks = core.queue().tasks();
            return !tasks.empty() && tasks.front().state == TASK_DONE;
        },
        std::chrono::minutes(3)));
    ui::CConvertListItemDlg* row = fly.convertList()->rowAt(0);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->statusText(), QStringLiteral("转码完成"));
    const std::string output = core.queue().tasks().front().outputPath;

    // 5. The phone's second list holds the output; FFmpeg reads it over HTTP.
    std::vector<PhoneEntry> converted;
    ASSERT_TRUE(test::waitUntil([&] {
        converted = phoneList(2);
        return converted.size() == 1 && converted[0].thumbnail;
    }));
    EXPECT_EQ(converted[0].name, "clip.mp4");
    auto probe = runToEnd({"ffprobe", "-v", "error", "-show_entries", "stream=codec_name", "-of",
                           "csv=p=0", "http://" + address() + ":11717/" + converted[0].key});
    ASSERT_TRUE(probe && probe->exitCode == 0);
    EXPECT_EQ(probe->output, "h264\naac\n");

    // 6. Both files remember it.
    const std::string relations = test::readFile(home.file("VideoRelation.xml"));
    EXPECT_NE(relations.find(output), std::string::npos) << relations;
    EXPECT_NE(relations.find(clip), std::string::npos) << relations;
    const std::string convertList = test::readFile(home.file("ConvertList.xml"));
    EXPECT_NE(convertList.find(output), std::string::npos) << convertList;
    EXPECT_NE(convertList.find("VideoConvertType=\"3\""), std::string::npos);
    EXPECT_EQ(test::readFile(home.file("appData/ConvertFolders.txt")), parentFolder(output) + "\n");

    // 7. After a restart: the same cards in the same order, and the finished task.
    const std::vector<std::string> before = names(core);
    ASSERT_EQ(before.size(), 3u);
    app.reset();
    app = open();
    Application& again = app->application();
    ASSERT_TRUE(pump([&] { return thumbnailsShown(again, 3); }));
    EXPECT_EQ(names(again), before);
    ASSERT_EQ(again.queue().tasks().size(), 1u);
    EXPECT_EQ(again.queue().tasks().front().state, TASK_DONE);
    EXPECT_EQ(page(*app).convertList()->rowCount(), 1);

    // 8. Quit through the close request with ExitWndType 3.
    g_pSettings()->ExitWndType = 3;
    bool closed = false;
    QObject::connect(&app->window(), &ui::CZorvexVRClientDlg::closed, [&] { closed = true; });
    app->window().CloseRequest();
    ASSERT_TRUE(pump([&] { return closed; }));
    app.reset();
    EXPECT_TRUE(test::portIsFree(address(), wire::kLinkPort));
}

// What people convert is seldom an .mp4: an .mkv and an .avi, two sources of
// one name in two folders, an output kept beside an earlier one. Each source
// card turns plain again, its converted card follows it, and a restart
// brings back the same cards once each.
TEST_F(EndToEnd, NonMp4SourcesSameNamesAndKeptDuplicatesPairByPathAcrossARestart) {
    const std::string one = videos.file("one/clip.mkv");
    const std::string two = videos.file("two/clip.mkv");
    const std::string film = videos.file("film.avi");
    fs::create_directories(videos.file("one"));
    fs::create_directories(videos.file("two"));
    // Small pictures: what is checked is the names and the pairs, not the frame size.
    for (const auto& [to, codec] : {std::pair{one, "libx264"}, {two, "libx264"}, {film, "mpeg4"}}) {
        auto made = runToEnd({"ffmpeg", "-v", "error", "-i", test::mediaFixtures().video1080, "-s",
                              "320x180", "-c:v", codec, "-c:a", "pcm_s16le", "-y", to});
        ASSERT_TRUE(made && made->exitCode == 0) << to;
    }

    auto app = open();
    CRightVideoDlg& fly = page(*app);
    Application& core = app->application();
    const std::string folder = GetConvertPath();
    test::TempDir::writeTo(folder + "/film.mp4", "an earlier conversion, kept");
    drop(*fly.cardList(), {one, two, film});
    ASSERT_TRUE(pump([&] { return thumbnailsShown(core, 3); }));

    // The second clip.mp4 and film.mp4 are taken: "继续" keeps both.
    std::vector<QString> asked;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        auto* question = qobject_cast<ui::CNotifyMsgDlg*>(QApplication::activeModalWidget());
        if (!question || question->type() != 4) return;
        asked.push_back(question->body());
        test::click(*question->button(ui::CNotifyMsgDlg::IdContinue));
    });
    answerer.start(10);
    fly.OnSelectAll();
    fly.OnConvert();
    answerer.stop();
    EXPECT_EQ(asked.size(), 2u);
    ASSERT_TRUE(pump(
        [&] {
            auto tasks = core.queue().tasks();
            return tasks.size() == 3 && std::all_of(tasks.begin(), tasks.end(),
                                                    [](auto& t) { return t.state == TASK_DONE; });
        },
        std::chrono::minutes(4)));
    // The default folder ends in '/', yet no "//" is stored.
    const std::string out = normalizedPath(folder);
    const std::vector<std::string> expected = {one,  out + "/clip.mp4",   two, out + "/clip(1).mp4",
                                               film, out + "/film(1).mp4"};
    EXPECT_EQ(paths(core), expected);
    for (std::size_t i : {0u, 2u, 4u})
        EXPECT_EQ(core.library().KindOf(core.library().items()[i]), KIND_PLAIN) << expected[i];
    EXPECT_EQ(test::readFile(folder + "/film.mp4"), "an earlier conversion, kept");

    std::vector<PhoneEntry> converted;
    ASSERT_TRUE(test::waitUntil([&] {
        converted = phoneList(2);
        return converted.size() == 3;
    }));
    auto probe = runToEnd({"ffprobe", "-v", "error", "-show_entries", "stream=codec_name", "-of",
                           "csv=p=0", "http://" + address() + ":11717/" + converted[2].key});
    ASSERT_TRUE(probe && probe->exitCode == 0);
    EXPECT_EQ(probe->output, "h264\naac\n");

    app.reset();
    app = open();
    Application& again = app->application();
    ASSERT_TRUE(pump([&] { return thumbnailsShown(again, 6); }));
    EXPECT_EQ(paths(again), expected);
}

TEST_F(EndToEnd, AConversionKilledMidwayLeavesTheLibraryAndQueueIntact) {
    const std::string clip = videos.file("long.mp4");
    fs::copy_file(test::mediaFixtures().longClip, clip);
    // The library as an earlier run left it.
    {
        auto app = open();
        drop(*page(*app).cardList(), {clip});
        ASSERT_TRUE(pump([&] { return thumbnailsShown(app->application(), 1); }));
    }
    const std::string relationsBefore = test::readFile(home.file("VideoRelation.xml"));

    test::TempDir logs;
    test::ChildProcess driver(ZORVEX_E2E_DRIVER, {home.path(), address()}, logs.file("driver.log"));
    ASSERT_TRUE(driver.waitForOutput("converting", std::chrono::minutes(2))) << driver.output();
    driver.signal(SIGKILL);
    driver.waitForExit();
    // Its FFmpeg dies with it, instead of finishing a file nobody knows of.
    const std::string converted = home.file("appData/converted");
    EXPECT_TRUE(
        test::waitUntil([&] { return !test::anyProcessMentions(converted + "/.long.mp4.part-"); },
                        std::chrono::seconds(30)));

    std::vector<std::string> partials;
    for (const auto& entry : fs::directory_iterator(converted))
        partials.push_back(entry.path().string());

    auto app = open();
    Application& core = app->application();
    ASSERT_TRUE(pump([&] { return thumbnailsShown(core, 1); })) << "the library is intact";
    EXPECT_EQ(core.library().items()[0].path, clip);
    // The task comes back and starts again from the beginning, its card with it.
    auto tasks = core.queue().tasks();
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0].item.VideoPath, clip);
    EXPECT_EQ(tasks[0].state, TASK_RUNNING);
    EXPECT_EQ(core.library().KindOf(core.library().items()[0]), KIND_CONVERTING);
    EXPECT_TRUE(phoneList(2).empty()) << "no partial output is shared";
    EXPECT_EQ(phoneList(1).size(), 1u);
    EXPECT_EQ(test::readFile(home.file("VideoRelation.xml")), relationsBefore);
    for (const auto& entry : fs::directory_iterator(home.file("file_root"))) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "image" || name.size() == 32) << "left behind: " << name;
    }
    for (const auto& entry : fs::directory_iterator(home.path()))
        EXPECT_EQ(entry.path().filename().string().find(".damaged-"), std::string::npos);
    // Neither the partial file nor a finished one under the real name.
    for (const std::string& partial : partials) EXPECT_FALSE(fs::exists(partial)) << partial;
    EXPECT_FALSE(fs::exists(converted + "/long.mp4"));
}

}  // namespace
}  // namespace zorvex
