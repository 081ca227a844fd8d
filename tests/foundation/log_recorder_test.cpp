#include "foundation/log_recorder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "foundation/paths.h"
#include "home_fixture.h"
#include "platform/file_util.h"

namespace zorvex {
namespace {

using std::chrono::system_clock;

system_clock::time_point localTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return system_clock::from_time_t(std::mktime(&tm));
}

const std::string kStartLine =
    "(ZorvexDataManager\\LogRecorder):初始化线程：NetLogMgrThread .（success）\n";
const std::string kExitLine =
    "(ZorvexDataManager\\LogRecorder):NetLogMgrThread exit！dwThreadRtnCode:0\n";

TEST(LogRecorder, LinesGoToTheDailyFileOfTheirLocalDate) {
    test::TempDir dir;
    std::atomic<system_clock::rep> now{
        localTime(2016, 6, 6, 23, 59, 59).time_since_epoch().count()};
    LogRecorder recorder(dir.file("PTTLog"), [&] {
        return system_clock::time_point(system_clock::duration(now.load()));
    });
    ASSERT_TRUE(recorder.start());
    ASSERT_TRUE(recorder.post(LogMessage("before|:midnight", "ZorvexVRClientDlg")));
    std::string first = dir.file("PTTLog/2016-06-06.log");
    ASSERT_TRUE(test::waitUntil(
        [&] { return test::readFile(first).find("midnight") != std::string::npos; }));

    now = localTime(2016, 6, 7, 0, 0, 0).time_since_epoch().count();
    ASSERT_TRUE(recorder.post(LogMessage("开启服务成功", "ZorvexVRClientDlg")));
    recorder.stop();

    EXPECT_EQ(test::readFile(first),
              "2016-06-06 23:59:59|:" + kStartLine +
                  "2016-06-06 23:59:59|:(ZorvexVRClientDlg):before|:midnight\n");
    EXPECT_EQ(test::readFile(dir.file("PTTLog/2016-06-07.log")),
              "2016-06-07 00:00:00|:(ZorvexVRClientDlg):开启服务成功\n"
              "2016-06-07 00:00:00|:" +
                  kExitLine);
}

// Holds the writer thread inside its clock until released, so a test can
// queue lines behind the one being written.
class GatedClock {
public:
    system_clock::time_point operator()() {
        std::unique_lock lock(mutex_);
        if (std::this_thread::get_id() != owner_) {
            ++waiting_;
            changed_.notify_all();
            changed_.wait(lock, [this] { return open_; });
        }
        return localTime(2020, 1, 2, 3, 4, 5);
    }
    bool writerWaiting() {
        std::lock_guard lock(mutex_);
        return waiting_ > 0;
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    const std::thread::id owner_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::condition_variable changed_;
    int waiting_ = 0;
    bool open_ = false;
};

TEST(LogRecorder, StopWritesEveryQueuedLineBeforeTheExitLine) {
    test::TempDir dir;
    GatedClock clock;
    LogRecorder recorder(dir.file("PTTLog"), [&] { return clock(); });
    ASSERT_TRUE(recorder.start());
    ASSERT_TRUE(recorder.post("line 1"));
    ASSERT_TRUE(test::waitUntil([&] { return clock.writerWaiting(); }));
    for (const char* line : {"line 2", "line 3", "line 4"}) ASSERT_TRUE(recorder.post(line));

    std::thread stopper([&] { recorder.stop(); });
    ASSERT_TRUE(test::waitUntil([&] { return !recorder.running(); }));
    EXPECT_FALSE(recorder.post("too late"));
    clock.open();
    stopper.join();

    const std::string stamp = "2020-01-02 03:04:05|:";
    EXPECT_EQ(test::readFile(dir.file("PTTLog/2020-01-02.log")),
              stamp + kStartLine + stamp + "line 1\n" + stamp + "line 2\n" + stamp + "line 3\n" +
                  stamp + "line 4\n" + stamp + kExitLine);
}

using LogThreadTest = test::HomeTest;

TEST_F(LogThreadTest, PostLogReachesTheHomeLogOnlyWhileTheThreadRuns) {
    EXPECT_FALSE(PostLog("lost", "Tag"));
    ASSERT_TRUE(StartLogThread());
    EXPECT_FALSE(StartLogThread());
    EXPECT_TRUE(PostLog("kept", "Tag"));
    StopLogThread();
    StopLogThread();
    EXPECT_FALSE(PostLog("after", "Tag"));

    std::string text;
    for (const auto& entry : std::filesystem::directory_iterator(homeFile("PTTLog"))) {
        text += test::readFile(entry.path().string());
    }
    EXPECT_NE(text.find("|:(Tag):kept\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("lost"), std::string::npos);
    EXPECT_EQ(text.find("after"), std::string::npos);
    EXPECT_LT(text.find("kept"), text.find("NetLogMgrThread exit"));
}

TEST_F(LogThreadTest, OldLogRemovalKeepsRecentFilesAndOtherNames) {
    EXPECT_FALSE(RemoveOldLogs(std::time(nullptr)));  // no folder yet

    // The fine clock: time() may lag the file system's time stamps by a tick.
    auto now = [] { return system_clock::to_time_t(system_clock::now()); };
    std::time_t before = now();
    for (const char* name : {"PTTLog/2016-06-06.log", "PTTLog/notes.txt", "PTTLog/a.log.bak"}) {
        dir_.write(std::string("home/") + name, "x");
    }
    ASSERT_TRUE(makeDirectories(homeFile("PTTLog/folder.log")));
    std::time_t after = now();

    // The threshold start-up passes when it runs at the given time.
    auto startUpAt = [](std::time_t when) { return when - kLogKeepSeconds; };
    // 29 days after the files were made: nothing goes.
    ASSERT_TRUE(RemoveOldLogs(startUpAt(before + 29 * 86400)));
    EXPECT_TRUE(pathExists(homeFile("PTTLog/2016-06-06.log")));
    // 30 days and one second after: the log goes, nothing else.
    ASSERT_TRUE(RemoveOldLogs(startUpAt(after + kLogKeepSeconds + 1)));
    EXPECT_FALSE(pathExists(homeFile("PTTLog/2016-06-06.log")));
    EXPECT_TRUE(pathExists(homeFile("PTTLog/notes.txt")));
    EXPECT_TRUE(pathExists(homeFile("PTTLog/a.log.bak")));
    EXPECT_TRUE(isDirectory(homeFile("PTTLog/folder.log")));
}

}  // namespace
}  // namespace zorvex
