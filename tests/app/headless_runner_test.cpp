#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <thread>

#include "../service/phone_link.h"
#include "../transcode/media_fixtures.h"
#include "foundation/toast_code.h"
#include "platform/file_util.h"
#include "platform/home_layout.h"
#include "platform/instance_doorbell.h"
#include "platform/md5.h"
#include "platform/single_instance_lock.h"
#include "service/link_file.h"
#include "service/service.h"
#include "support/child_process.h"
#include "support/test_support.h"
#include "transcode/convert_list_file.h"

namespace zorvex {
namespace {

using test::ChildProcess;

// The exit status of a second start that could not do its job.
constexpr int kAlreadyRunning = 3;

// The application as a user runs it, on this test process's own loopback
// address, so that a running copy or a parallel test never meets it.
const std::string& address() {
    static const std::string here = test::runAddress(1);
    return here;
}

// "running on" is printed once the link listens; the wait is for the phone's connect.
bool linkUp() {
    return test::waitUntil([] { return test::PhoneLink(address()).connected(); });
}

class HeadlessRunner : public ::testing::Test {
protected:
    // Our own runtime folder: the doorbells of the windows started here live in it.
    void SetUp() override { ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1); }
    test::TempDir runtime;
};

TEST_F(HeadlessRunner, SecondStartEndsAtOnceAndLeavesTheFirstAlone) {
    test::TempDir home, logs;
    ChildProcess first(ZORVEX_BINARY, {"--headless", "--address", address(), "--home", home.path()},
                       logs.file("first.log"));
    ASSERT_TRUE(first.waitForOutput("running on"));
    ChildProcess second(ZORVEX_BINARY,
                        {"--headless", "--address", address(), "--home", home.path()},
                        logs.file("second.log"));
    // It says why it ends, naming the home, and a script sees it failed.
    EXPECT_EQ(second.waitForExit(), kAlreadyRunning);
    EXPECT_NE(second.output().find("another copy (process "), std::string::npos) << second.output();
    EXPECT_NE(second.output().find("already runs on the home folder " + home.path()),
              std::string::npos)
        << second.output();
    ASSERT_TRUE(linkUp());
    EXPECT_TRUE(test::PhoneLink(address()).ask(1, 0));
    first.signal(SIGTERM);
    EXPECT_EQ(first.waitForExit(), 0);
}

// Second starts of the window, as a desktop makes them (offscreen here).
class SecondStart : public HeadlessRunner {
protected:
    void SetUp() override {
        HeadlessRunner::SetUp();
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    void TearDown() override { ::unsetenv("QT_QPA_PLATFORM"); }

    // The window's copy on home, once its doorbell answers (or, when expected
    // to have none, once it has said so); nullptr in a build without windows.
    std::unique_ptr<ChildProcess> startWindow(const std::string& home, const std::string& log,
                                              bool doorbell = true) {
        auto window = std::make_unique<ChildProcess>(
            ZORVEX_BINARY, std::vector<std::string>{"--address", address(), "--home", home}, log);
        if (window->waitForExit(std::chrono::milliseconds(300)) &&
            window->output().find("no windows") != std::string::npos)
            return nullptr;
        // The window program takes zorvex's place: the same process holds the
        // lock (an earlier copy's record may still be there a moment).
        std::optional<SingleInstanceLock::Holder> holder;
        EXPECT_TRUE(test::waitUntil(
            [&] {
                holder = SingleInstanceLock::readHolder(home, std::chrono::seconds(1));
                return holder && holder->pid == window->pid();
            },
            std::chrono::seconds(30)))
            << window->output();
        EXPECT_TRUE(holder && holder->windowed) << window->output();
        if (!doorbell) {
            EXPECT_TRUE(window->waitForOutput("cannot bring this window forward"));
            return window;
        }
        // Answered once the window's loop runs.
        EXPECT_TRUE(holder && !holder->doorbell.empty());
        if (holder) {
            auto rang = InstanceDoorbell::ring(holder->doorbell, std::chrono::seconds(30));
            EXPECT_EQ(rang.rang, InstanceDoorbell::Rang::Answered) << rang.problem;
        }
        return window;
    }

    // A second start of the window: its exit status and what it said.
    std::pair<std::optional<int>, std::string> startAgain(const std::string& home,
                                                          const std::string& log,
                                                          bool headless = false) {
        std::vector<std::string> arguments{"--address", address(), "--home", home};
        if (headless) arguments.insert(arguments.begin(), "--headless");
        ChildProcess again(ZORVEX_BINARY, arguments, log);
        auto code = again.waitForExit();
        return {code, again.output()};
    }
};

TEST_F(SecondStart, TheWindowComesForwardEvenWhileCallersFloodItsDoorbell) {
    test::TempDir home, logs;
    auto window = startWindow(home.path(), logs.file("window.log"));
    if (!window) GTEST_SKIP() << "this build has no windows";
    auto holder = SingleInstanceLock::readHolder(home.path(), std::chrono::seconds(1));
    ASSERT_TRUE(holder);
    // Callers that never say a word, more than it holds: each used to keep
    // the window waiting half a second, 20 s in all, beyond a second start's wait.
    std::vector<int> silent;
    for (int i = 0; i < 40; ++i) {
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un place{};
        place.sun_family = AF_UNIX;
        holder->doorbell.copy(place.sun_path, sizeof(place.sun_path) - 1);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&place), sizeof(place)), 0);
        silent.push_back(fd);
    }
    auto [code, said] = startAgain(home.path(), logs.file("again.log"));
    EXPECT_EQ(code, 0) << said;
    EXPECT_NE(said.find("its window comes forward"), std::string::npos) << said;
    for (int fd : silent) ::close(fd);

    window->signal(SIGTERM);
    EXPECT_EQ(window->waitForExit(), 0);
    EXPECT_FALSE(std::filesystem::exists(holder->doorbell)) << "the socket goes with the window";
}

TEST_F(SecondStart, AFolderAtTheDoorbellsPlaceSendsItElsewhereOrItSaysSo) {
    test::TempDir home, logs;
    // Something not ours where the doorbell would listen: it is left alone.
    const auto places = InstanceDoorbell::placesFor(home.path());
    ASSERT_EQ(places.size(), 2u);
    ASSERT_TRUE(std::filesystem::create_directory(places[0]));
    {
        auto window = startWindow(home.path(), logs.file("window.log"));
        if (!window) GTEST_SKIP() << "this build has no windows";
        EXPECT_EQ(SingleInstanceLock::readHolder(home.path(), std::chrono::seconds(1))->doorbell,
                  places[1]);
        auto [code, said] = startAgain(home.path(), logs.file("again.log"));
        EXPECT_EQ(code, 0) << said;
        window->signal(SIGTERM);
        EXPECT_EQ(window->waitForExit(), 0);
    }
    EXPECT_TRUE(std::filesystem::is_directory(places[0]));
    // Nowhere to listen: the window says so, and so does a second start.
    ASSERT_TRUE(std::filesystem::create_directory(places[1]));
    auto window = startWindow(home.path(), logs.file("deaf.log"), false);
    ASSERT_TRUE(window);
    auto [code, said] = startAgain(home.path(), logs.file("deaf-again.log"));
    EXPECT_EQ(code, kAlreadyRunning) << said;
    EXPECT_NE(said.find("no window can be brought forward"), std::string::npos) << said;
    window->signal(SIGTERM);
    EXPECT_EQ(window->waitForExit(), 0);
    EXPECT_TRUE(std::filesystem::is_directory(places[0]));
    EXPECT_TRUE(std::filesystem::is_directory(places[1]));
}

TEST_F(HeadlessRunner, SharesServesNoticesChangesAndRestoresAfterRestart) {
    test::TempDir home, videos, logs;
    std::string video = videos.file("clip.mp4");
    std::filesystem::copy_file(test::mediaFixtures().shortClip, video);
    std::string key;
    {
        ChildProcess zorvex(
            ZORVEX_BINARY,
            {"--headless", "--address", address(), "--home", home.path(), "--share", video},
            logs.file("run1.log"));
        ASSERT_TRUE(zorvex.waitForOutput("running on " + address())) << zorvex.output();
        ASSERT_TRUE(linkUp());
        // Shared as a drop on the library would: examined, registered, thumbnailed.
        ASSERT_TRUE(zorvex.waitForOutput("clip.mp4 with thumbnail")) << zorvex.output();
        const std::string maps = test::readFile("/proc/" + std::to_string(zorvex.pid()) + "/maps");
        EXPECT_EQ(maps.find("libQt"), std::string::npos) << "headless maps no Qt library";

        ChildProcess phone(ZORVEX_PHONE_BINARY, {"list", "--host", address(), "--type", "1"},
                           logs.file("list.log"));
        ASSERT_EQ(phone.waitForExit(), 0) << phone.output();
        std::string listed = phone.output();
        EXPECT_NE(listed.find("entries 1"), std::string::npos) << listed;
        EXPECT_NE(listed.find("1 1 "), std::string::npos) << listed;
        EXPECT_NE(listed.find(" clip.mp4"), std::string::npos) << listed;
        key = listed.substr(listed.find("1 1 ") + 4, 32);

        ChildProcess fetch(ZORVEX_PHONE_BINARY,
                           {"fetch", key, "--host", address(), "-o", logs.file("got.mp4")},
                           logs.file("fetch.log"));
        ASSERT_EQ(fetch.waitForExit(), 0) << fetch.output();
        EXPECT_EQ(test::readFile(logs.file("got.mp4")), test::readFile(video));

        // The file vanishes: phones learn it, and so does the runner's listener.
        std::filesystem::rename(video, video + ".moved");
        test::PhoneLink link(address());
        auto answer = link.ask(1, 0);
        ASSERT_TRUE(answer && answer->response.hasBody);
        EXPECT_EQ(answer->response.body[4], 0);
        EXPECT_TRUE(zorvex.waitForOutput("is gone"));
        std::filesystem::rename(video + ".moved", video);

        zorvex.signal(SIGTERM);
        EXPECT_EQ(zorvex.waitForExit(), 0) << zorvex.output();
        EXPECT_NE(zorvex.output().find("服务器关闭suc!"), std::string::npos);
    }
    ASSERT_TRUE(std::filesystem::exists(home.file("file_root/" + key)));
    // A thumbnail lost while the application was closed is made again at start.
    ASSERT_TRUE(std::filesystem::remove(home.file("file_root/image/" + key + ".jpg")));

    ChildProcess again(ZORVEX_BINARY, {"--headless", "--address", address(), "--home", home.path()},
                       logs.file("run2.log"));
    ASSERT_TRUE(again.waitForOutput("running on"));
    ASSERT_TRUE(linkUp());
    EXPECT_TRUE(again.waitForOutput("clip.mp4 with thumbnail")) << again.output();
    EXPECT_TRUE(std::filesystem::exists(home.file("file_root/image/" + key + ".jpg")));
    test::PhoneLink link(address());
    auto answer = link.ask(1, 0);
    ASSERT_TRUE(answer && answer->response.hasBody);
    auto entries = wire::decodeListBody(answer->response.body);
    ASSERT_TRUE(entries && entries->size() == 1);
    EXPECT_EQ((*entries)[0].key, key);
    again.signal(SIGINT);
    EXPECT_EQ(again.waitForExit(), 0) << again.output();
}

// Headless decides as the window does: a folder shares its videos as a drop
// of it would, and a video moved away turns lost on its own.
TEST_F(HeadlessRunner, AFolderSharesItsVideosAndAMovedOneTurnsLost) {
    test::TempDir home, videos, logs;
    for (const char* name : {"clip 10.mp4", "clip 9.mp4", ".hidden.mp4"})
        std::filesystem::copy_file(test::mediaFixtures().shortClip, videos.file(name));
    std::ofstream(videos.file("notes.txt")) << "not a video";
    ChildProcess zorvex(
        ZORVEX_BINARY,
        {"--headless", "--address", address(), "--home", home.path(), "--share", videos.path()},
        logs.file("run.log"));
    for (const char* name : {"clip 9.mp4", "clip 10.mp4"})
        ASSERT_TRUE(zorvex.waitForOutput(videos.file(name) + " with thumbnail")) << zorvex.output();
    const std::string said = zorvex.output();
    EXPECT_LT(said.find("clip 9.mp4"), said.find("clip 10.mp4")) << "in name order";
    EXPECT_EQ(said.find(".hidden.mp4"), std::string::npos) << said;
    EXPECT_EQ(said.find("notes.txt"), std::string::npos) << said;
    EXPECT_EQ(said.find(toastText(TOAST_NOT_VIDEO)), std::string::npos) << said;

    std::filesystem::rename(videos.file("clip 9.mp4"), logs.file("clip 9.mp4"));
    EXPECT_TRUE(zorvex.waitForOutput("missing " + videos.file("clip 9.mp4"))) << zorvex.output();
    zorvex.signal(SIGTERM);
    EXPECT_EQ(zorvex.waitForExit(), 0) << zorvex.output();
}

TEST_F(HeadlessRunner, GoneFilesAreDroppedAtStartUnshareStopsOneAndNoNameIsBroken) {
    test::TempDir home, videos, logs;
    const auto& media = test::mediaFixtures();
    std::string clip = videos.file("clip.avi"), gone = videos.file("gone.avi"),
                odd = videos.file(std::string("bad\xff\xfe") + "bytes.avi"),
                noise = videos.file("noise.mp4");
    for (const std::string& copy : {clip, gone, odd})
        std::filesystem::copy_file(media.shortClip, copy);
    std::filesystem::copy_file(media.broken, noise);
    {
        ChildProcess zorvex(ZORVEX_BINARY,
                            {"--headless", "--address", address(), "--home", home.path(), "--share",
                             clip, gone, odd, noise},
                            logs.file("run1.log"));
        ASSERT_TRUE(zorvex.waitForOutput("removed " + noise + ": it could not be examined"))
            << zorvex.output();
        for (const std::string& path : {clip, gone, odd}) {
            ASSERT_TRUE(zorvex.waitForOutput(path + " with thumbnail")) << zorvex.output();
        }
        ASSERT_TRUE(linkUp());
        auto answer = test::PhoneLink(address()).ask(1, 0);
        ASSERT_TRUE(answer && answer->response.hasBody);
        auto entries = wire::decodeListBody(answer->response.body);
        ASSERT_TRUE(entries && entries->size() == 3u);
        EXPECT_EQ((*entries)[2].name, "bad??bytes.avi");  // GBK, never garbage
        ChildProcess fetch(
            ZORVEX_PHONE_BINARY,
            {"fetch", (*entries)[2].key, "--host", address(), "-o", logs.file("got")},
            logs.file("fetch.log"));
        ASSERT_EQ(fetch.waitForExit(), 0) << fetch.output();
        EXPECT_EQ(test::readFile(logs.file("got")), test::readFile(odd));
        zorvex.signal(SIGTERM);
        EXPECT_EQ(zorvex.waitForExit(), 0) << zorvex.output();
    }
    std::filesystem::remove(gone);
    // As earlier builds stored a conversion made into a folder set with a trailing '/'.
    std::string converted = videos.file("converted.mp4");
    std::filesystem::copy_file(media.shortClip, converted);
    home.write("file_root/" + std::string(32, 'c'),
               encodeLinkFile({2, true, false, "converted.mp4", std::string(32, 'c'),
                               videos.path() + "//converted.mp4"}));
    ChildProcess again(ZORVEX_BINARY,
                       {"--headless", "--address", address(), "--home", home.path(), "--unshare",
                        clip, videos.path() + "/./converted.mp4"},
                       logs.file("run2.log"));
    ASSERT_TRUE(again.waitForOutput("running on")) << again.output();
    std::string said = again.output();
    EXPECT_NE(said.find("dropped " + gone + ": the file is gone"), std::string::npos) << said;
    EXPECT_NE(said.find("unshared " + clip), std::string::npos) << said;
    EXPECT_NE(said.find("unshared " + videos.path() + "//converted.mp4"), std::string::npos)
        << said;
    EXPECT_FALSE(std::filesystem::exists(home.file("file_root/" + std::string(32, 'c'))));
    ASSERT_TRUE(linkUp());
    auto answer = test::PhoneLink(address()).ask(1, 0);
    ASSERT_TRUE(answer && answer->response.hasBody);
    EXPECT_EQ(answer->response.body.substr(0, 4), std::string("\x01\0\0\0", 4));
    again.signal(SIGTERM);
    EXPECT_EQ(again.waitForExit(), 0);
}

// Conversions queued by an earlier run go on by themselves, and SIGKILL at
// any moment loses none and runs none twice. ZORVEX_KILLS (the most kills,
// 20 by default) and ZORVEX_KILL_SEED repeat a run.
TEST_F(HeadlessRunner, QueuedConversionsSurviveKillsAtRandomMomentsAndRunOnceEach) {
    test::TempDir home, videos, logs;
    const HomeLayout layout(home.path());
    const char* kills = std::getenv("ZORVEX_KILLS");
    const char* seedText = std::getenv("ZORVEX_KILL_SEED");
    const unsigned seed = seedText ? std::stoul(seedText) : std::random_device{}();
    SCOPED_TRACE("ZORVEX_KILL_SEED=" + std::to_string(seed));
    std::vector<QueuedConversion> queued;
    std::set<std::string> expected;
    for (int n = 1; n <= 12; ++n) {
        std::string name = "clip" + std::to_string(n) + ".mp4";
        std::filesystem::copy_file(test::mediaFixtures().video360, videos.file(name));
        std::string size = std::to_string(std::filesystem::file_size(videos.file(name)));
        queued.push_back({{name, size, "", "2000", "320", "160", videos.file(name), {}}, 1, {}});
        expected.insert(name);
    }
    makeDirectories(layout.appDataFolder());
    ASSERT_TRUE(SaveQueuedConversions(layout.queuedConversions(), queued));
    auto run = [&](int n) {
        return std::make_unique<ChildProcess>(
            ZORVEX_BINARY,
            std::vector<std::string>{"--headless", "--address", address(), "--home", home.path()},
            logs.file("run" + std::to_string(n) + ".log"));
    };
    auto outputs = [&] {
        std::error_code error;
        auto count = 0;
        for (const auto& entry :
             std::filesystem::directory_iterator(layout.convertedFolder(), error))
            count += entry.path().filename().string()[0] != '.';
        return count;
    };
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> moment(0, 1000), soonAfter(0, 20);
    // Kills go on while conversions are left: one of an idle queue proves nothing.
    int n = 0;
    for (const int most = kills ? std::atoi(kills) : 20;
         n < most && pathExists(layout.queuedConversions()); ++n) {
        auto zorvex = run(n);
        // Every other kill falls just after an output got its name, while
        // the queue's files are written. The sleep is the moment, not a wait.
        int before = outputs();
        // The start may find the last output named already, and end the queue.
        if (n % 2 == 1)
            test::waitUntil(
                [&] { return outputs() > before || !pathExists(layout.queuedConversions()); },
                std::chrono::seconds(30));
        std::this_thread::sleep_for(
            std::chrono::milliseconds(n % 2 == 1 ? soonAfter(random) : moment(random)));
        zorvex->signal(SIGKILL);
        zorvex->waitForExit();
    }
    std::printf("%d kills; %zu of %zu converted by then\n", n,
                LoadConvertList(layout.convertList()).records.size(), queued.size());
    auto last = run(-1);
    ASSERT_TRUE(last->waitForOutput("running on")) << last->output();
    EXPECT_TRUE(test::waitUntil(
        [&] {
            return !pathExists(layout.queuedConversions()) &&
                   !pathExists(layout.runningConversions());
        },
        std::chrono::minutes(3)))
        << last->output() << test::readFile(layout.queuedConversions());
    last->signal(SIGTERM);
    EXPECT_EQ(last->waitForExit(), 0);
    std::multiset<std::string> listed, made;
    for (const auto& record : LoadConvertList(layout.convertList()).records)
        listed.insert(fileNamePart(record.item.VideoPath));
    for (const auto& entry : std::filesystem::directory_iterator(layout.convertedFolder()))
        made.insert(entry.path().filename().string());
    EXPECT_EQ(listed, std::multiset<std::string>(expected.begin(), expected.end()));
    EXPECT_EQ(made, std::multiset<std::string>(expected.begin(), expected.end()))
        << "no partial file, no second output";
}

// A FIFO opened for reading waits for a writer for ever: one among the link
// files, or shared as a video, must neither hang the start nor the stop.
TEST_F(HeadlessRunner, AFifoAmongTheStoredFilesHangsNeitherTheStartNorTheStop) {
    test::TempDir home, videos, logs;
    std::string clip = videos.file("clip.mp4"), pipe = videos.file("pipe.mp4");
    std::filesystem::copy_file(test::mediaFixtures().shortClip, clip);
    std::filesystem::create_directories(home.file("file_root"));
    ASSERT_EQ(::mkfifo(home.file("file_root/0123456789abcdef0123456789abcdef").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    ChildProcess zorvex(
        ZORVEX_BINARY,
        {"--headless", "--address", address(), "--home", home.path(), "--share", pipe, clip},
        logs.file("run.log"));
    ASSERT_TRUE(zorvex.waitForOutput("running on")) << zorvex.output();
    ASSERT_TRUE(zorvex.waitForOutput(clip + " with thumbnail")) << zorvex.output();
    zorvex.signal(SIGTERM);
    EXPECT_EQ(zorvex.waitForExit(), 0) << zorvex.output();
}

// A full disk under the home's file_root: a tmpfs filled to the brim in a
// mount namespace of the test's own, gone with the process.
TEST_F(HeadlessRunner, AShareThatCannotBeStoredIsNotClaimed) {
    if (::geteuid() != 0 || std::system("unshare -m true 2>/dev/null") != 0)
        GTEST_SKIP() << "needs root and mount namespaces";
    test::TempDir home, videos, logs;
    std::string clip = videos.file("clip.mp4");
    std::filesystem::copy_file(test::mediaFixtures().shortClip, clip);
    std::filesystem::create_directories(home.file("file_root"));
    const char* fullDisk =
        "mount -t tmpfs -o size=64k zorvex-full \"$0/file_root\" && mkdir \"$0/file_root/image\" "
        "&& { cat /dev/zero > \"$0/file_root/filler\" 2>/dev/null; exec \"$@\"; }";
    ChildProcess zorvex(
        "/usr/bin/unshare",
        {"-m", "--propagation", "private", "sh", "-c", fullDisk, home.path(), ZORVEX_BINARY,
         "--headless", "--address", address(), "--home", home.path(), "--share", clip},
        logs.file("run.log"));
    EXPECT_EQ(zorvex.waitForExit(), 1) << zorvex.output();
    std::string said = zorvex.output();
    EXPECT_NE(said.find("not shared " + clip), std::string::npos) << said;
    EXPECT_NE(said.find("nothing could be shared"), std::string::npos) << said;
    EXPECT_EQ(said.find("shared " + md5Hex(clip)), std::string::npos) << said;
}

// A disk of /etc/fstab that is not mounted leaves its folder on the disk
// below, with whatever lies there: its videos are kept. A mounted disk
// without the file proves it gone. Both made in a mount namespace of the
// test's own: a tmpfs, and another fstab bound over /etc/fstab.
TEST_F(HeadlessRunner, AVideoOfADiskNotMountedIsKeptAndOneGoneFromAMountedDiskDropped) {
    if (::geteuid() != 0 || std::system("unshare -m true 2>/dev/null") != 0)
        GTEST_SKIP() << "needs root and mount namespaces";
    test::TempDir home, videos, logs;
    std::string declared = videos.file("declared/clip.mp4"), mounted = videos.file("mnt/clip.mp4");
    videos.write("declared/left on the disk below", "x");
    std::filesystem::create_directories(videos.file("mnt"));
    std::string fstab =
        logs.write("fstab", "/dev/sdz1 " + videos.file("declared") + " ext4 defaults 0 2\n");
    {
        Service service(home.path());
        std::string key;
        for (const std::string& path : {declared, mounted})
            ASSERT_EQ(service.addFile(path, LIST_SOURCE, &key), ADD_OK);
    }
    const char* disks =
        "mount -t tmpfs zorvex-disk \"$0/mnt\" && mount --bind \"$1\" /etc/fstab "
        "&& shift && exec \"$@\"";
    ChildProcess zorvex(
        "/usr/bin/unshare",
        {"-m", "--propagation", "private", "sh", "-c", disks, videos.path(), fstab, ZORVEX_BINARY,
         "--headless", "--address", address(), "--home", home.path()},
        logs.file("run.log"));
    ASSERT_TRUE(zorvex.waitForOutput("running on")) << zorvex.output();
    std::string said = zorvex.output();
    EXPECT_NE(said.find("kept " + declared), std::string::npos) << said;
    EXPECT_NE(said.find("dropped " + mounted), std::string::npos) << said;
    zorvex.signal(SIGTERM);
    EXPECT_EQ(zorvex.waitForExit(), 0) << zorvex.output();
}

// Held ports: the runner says once what did not start, keeps trying, and
// serves as soon as the other program lets go.
TEST_F(HeadlessRunner, SaysWhichPartCouldNotStartAndServesOnceThePortsAreFree) {
    test::TempDir home, logs;
    auto http = std::make_unique<test::PortBlocker>(address(), wire::kHttpPort);
    auto link = std::make_unique<test::PortBlocker>(address(), wire::kLinkPort);
    ASSERT_TRUE(http->ok() && link->ok());
    ChildProcess held(ZORVEX_BINARY, {"--headless", "--address", address(), "--home", home.path()},
                      logs.file("held.log"));
    ASSERT_TRUE(held.waitForOutput("trying again every")) << held.output();
    const std::string said = held.output();
    EXPECT_EQ(said.find("running on"), std::string::npos) << said;
    EXPECT_NE(said.find("not serving " + address() +
                        ": link (UDP 7171, TCP 11718): port "
                        "11718 on " +
                        address() + " is taken by another program; http (TCP 11717): port 11717"),
              std::string::npos)
        << said;

    // The link's port frees first: the link serves, and the line says what is missing.
    link.reset();
    ASSERT_TRUE(held.waitForOutput("is taken by another program; the link runs; trying again"))
        << held.output();
    EXPECT_TRUE(test::PhoneLink(address()).ask(1, 0));
    http.reset();
    ASSERT_TRUE(held.waitForOutput("\nserving " + address())) << held.output();
    // Each state is said once, not at every retry.
    const std::string all = held.output();
    std::size_t lines = 0;
    for (auto at = all.find("trying again every"); at != std::string::npos;
         at = all.find("trying again every", at + 1))
        ++lines;
    EXPECT_EQ(lines, 2u) << all;
    held.signal(SIGTERM);
    EXPECT_EQ(held.waitForExit(), 0);

    std::string log;
    for (auto& item : std::filesystem::directory_iterator(home.file("PTTLog")))
        log += test::readFile(item.path().string());
    EXPECT_NE(log.find("(ZorvexVRClientDlg):开启服务失败：link (UDP 7171, TCP 11718): port 11718"),
              std::string::npos)
        << log;
}

TEST_F(HeadlessRunner, BadArgumentsExitWithTwoAndTheUsage) {
    test::TempDir logs;
    ChildProcess bad(ZORVEX_BINARY, {"--address", "nowhere"}, logs.file("bad.log"));
    EXPECT_EQ(bad.waitForExit(), 2);
    EXPECT_NE(bad.output().find("usage:"), std::string::npos);
    ChildProcess phone(ZORVEX_PHONE_BINARY, {"list", "--type", "3"}, logs.file("phone.log"));
    EXPECT_EQ(phone.waitForExit(), 2);
}

TEST_F(HeadlessRunner, WithoutADisplayTheWindowSaysSoAndShowsTheHeadlessForm) {
    test::TempDir home, logs;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) ::unsetenv(name);
    ChildProcess window(ZORVEX_BINARY, {"--address", address(), "--home", home.path()},
                        logs.file("window.log"));
    const auto code = window.waitForExit();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    EXPECT_EQ(code, 1);
    EXPECT_NE(window.output().find("zorvex --headless"), std::string::npos) << window.output();
    EXPECT_FALSE(std::filesystem::exists(home.file("config.ini"))) << "nothing was started";
}

TEST_F(HeadlessRunner, PhoneToolTellsWhenNothingAnswers) {
    test::TempDir logs;
    ChildProcess phone(ZORVEX_PHONE_BINARY,
                       {"list", "--host", test::runAddress(3), "--timeout", "1"},
                       logs.file("phone.log"));
    EXPECT_EQ(phone.waitForExit(), 1);
}

}  // namespace
}  // namespace zorvex
