#include "front/front.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "../service/phone_link.h"
#include "app/application.h"
#include "foundation/ini_file.h"
#include "foundation/log_recorder.h"
#include "foundation/paths.h"
#include "foundation/settings.h"
#include "service/service.h"
#include "support/test_support.h"

namespace zorvex {
namespace {

namespace fs = std::filesystem;

// A fresh home after the start-up steps, the log thread running; the
// front's executor is run by the test.
class FrontTest : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = dir_.file("home");
        ASSERT_TRUE(InitWorkingDirectories(home_));
        ASSERT_TRUE(StartLogThread());
    }
    void TearDown() override { StopLogThread(); }

    std::string saved(const char* section, const char* key) const {
        return IniFile::load(GetConfigPath()).readString(section, key, "", 260);
    }
    bool pump(const std::function<bool()>& condition) {
        return test::waitUntil([&] {
            executor_.runPending();
            return condition();
        });
    }

    test::TempDir dir_;
    std::string home_;
    TaskQueue executor_;
};

TEST_F(FrontTest, TheAddressShownAndSavedIsTheServicesOrItsNetworksOne) {
    EXPECT_EQ(Front(FrontParts{}, executor_).currentAddress(), "");
    {
        Service service(home_);
        const std::string own = test::runAddress(5);
        ASSERT_TRUE(service.setAddress(own).ok());
        FrontParts parts;
        parts.service = &service;
        Front front(parts, executor_);
        EXPECT_EQ(front.currentAddress(), own);
        ASSERT_TRUE(front.saveSettings());
        EXPECT_EQ(saved(kNormalSection, "DefaultIP"), own) << "kept as the address in use";
        service.stop();
    }
    Application application;
    Application::Options options;
    options.home = home_;
    options.addresses = {test::runAddress(6)};
    options.executor = &executor_;
    ASSERT_TRUE(application.start(options));
    Front front(application.frontParts(), executor_);
    EXPECT_EQ(front.currentAddress(), test::runAddress(6));
    EXPECT_EQ(front.currentAddress(), application.core().networks->view().shown);
}

TEST_F(FrontTest, SettingsEditsReachConfigIniAndAFolderNoFileFitsIsRefused) {
    Front front(FrontParts{}, executor_);
    front.setComSleepUnSleep(0);
    front.setVideoConvertRatio(2);
    ASSERT_TRUE(front.saveSettings());
    EXPECT_EQ(saved(kNormalSection, "ComSleep-UnSleep"), "0");
    EXPECT_EQ(saved(kVideoSection, "VideoConvert-Ratio"), "2");

    const std::string before = front.convertFolder();
    EXPECT_EQ(front.setConvertFolder("/proc/self"), FolderChoice::NotWritable);
    EXPECT_EQ(front.convertFolder(), before);
    const std::string chosen = dir_.file("out");
    fs::create_directories(chosen);
    EXPECT_EQ(front.setConvertFolder(chosen), FolderChoice::Saved);
    EXPECT_EQ(saved(kVideoSection, "ConvertPath"), chosen);
}

// The caller goes on while a command blocks; answers come on the executor,
// in the order asked within a kind, and not at all once the front has given
// them up. A kind waits for no other.
TEST_F(FrontTest, BlockingCommandsRunOnItsWorkerAndAnswerOnTheExecutor) {
    Front front(FrontParts{}, executor_);
    std::atomic<bool> release = false;
    std::thread::id ranOn;
    std::vector<int> heard;
    front.command<int>(
        Front::Lane::Network,
        [&] {
            ranOn = std::this_thread::get_id();
            test::waitUntil([&] { return release.load(); });
            return 1;
        },
        [&](int answer) { heard.push_back(answer); });
    front.command<int>(
        Front::Lane::Network, [] { return 2; }, [&](int answer) { heard.push_back(answer); });
    std::optional<bool> switched;
    front.switchAddress("127.0.0.9", [&](bool ok) { switched = ok; });
    std::optional<FirewallOpening> opening;
    front.openFirewall([&](FirewallOpening answer) { opening = answer; });
    ASSERT_TRUE(pump([&] { return opening.has_value(); })) << "not behind the network's";
    EXPECT_EQ(*opening, FirewallOpening::Failed) << "no networks to open";
    EXPECT_TRUE(heard.empty());
    release = true;
    ASSERT_TRUE(pump([&] { return switched.has_value(); }));
    EXPECT_EQ(heard, (std::vector<int>{1, 2}));
    EXPECT_NE(ranOn, std::this_thread::get_id());
    EXPECT_FALSE(*switched) << "no service to move";

    front.command<int>(
        Front::Lane::Updates, [] { return 3; }, [&](int answer) { heard.push_back(answer); });
    front.endCommands();
    executor_.runPending();
    EXPECT_EQ(heard.size(), 2u);
}

TEST_F(FrontTest, AFolderGivesItsVideosInNameOrderAndFilesPassAsTheyCame) {
    const std::string folder = dir_.file("videos"), empty = dir_.file("empty");
    fs::create_directories(folder + "/sub.mp4");  // a folder, however named
    fs::create_directories(empty);
    for (const char* name : {"clip 10.mp4", "Clip 9.MKV", "a.avi", ".hidden.mp4", "notes.txt"})
        std::ofstream(folder + "/" + name) << "x";
    DroppedPaths dropped = Front::expandDrop({"/elsewhere/one.txt", folder});
    EXPECT_EQ(dropped.files,
              (std::vector<std::string>{"/elsewhere/one.txt", folder + "/a.avi",
                                        folder + "/Clip 9.MKV", folder + "/clip 10.mp4"}));
    EXPECT_FALSE(dropped.emptyFolder);
    dropped = Front::expandDrop({empty + "/", folder + "/notes.txt"});
    EXPECT_EQ(dropped.files, std::vector<std::string>{folder + "/notes.txt"});
    EXPECT_TRUE(dropped.emptyFolder);
}

}  // namespace
}  // namespace zorvex
