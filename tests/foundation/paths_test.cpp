#include "foundation/paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "home_fixture.h"
#include "platform/file_util.h"

namespace zorvex {
namespace {

HomeEnvironment fakeEnvironment(std::map<std::string, std::string> variables, bool writable) {
    HomeEnvironment env;
    env.variable = [variables](const char* name) -> std::optional<std::string> {
        auto it = variables.find(name);
        if (it == variables.end()) return std::nullopt;
        return it->second;
    };
    env.isWritableFolder = [writable](const std::string&) { return writable; };
    return env;
}

TEST(HomeFolder, OverrideThenExecutableFolderThenUserDataFolder) {
    auto writable = fakeEnvironment({{"HOME", "/home/u"}}, true);
    auto installed = fakeEnvironment({{"HOME", "/home/u/"}, {"XDG_DATA_HOME", "/data/"}}, false);
    auto relativeXdg = fakeEnvironment({{"HOME", "/home/u"}, {"XDG_DATA_HOME", "data"}}, false);

    EXPECT_EQ(DecideHomeFolder("/srv/zorvex/", "/opt/z/zorvex", installed), "/srv/zorvex");
    EXPECT_EQ(DecideHomeFolder("rel/dir", "/opt/z/zorvex", installed),
              (std::filesystem::current_path() / "rel/dir").string());
    EXPECT_EQ(DecideHomeFolder(std::nullopt, "/opt/z/zorvex", writable), "/opt/z");
    EXPECT_EQ(DecideHomeFolder(std::string(), "/opt/z/zorvex", writable), "/opt/z");
    EXPECT_EQ(DecideHomeFolder(std::nullopt, "/usr/bin/zorvex", installed), "/data/zorvex");
    EXPECT_EQ(DecideHomeFolder(std::nullopt, "/usr/bin/zorvex", relativeXdg),
              "/home/u/.local/share/zorvex");

    // Root can write to /usr/bin, yet an installed copy never keeps its data there.
    auto installedAsRoot = fakeEnvironment({{"HOME", "/root"}, {"XDG_DATA_HOME", "/x"}}, true);
    installedAsRoot.isFolder = [](const std::string& f) { return f == "/usr/share/zorvex"; };
    EXPECT_EQ(DecideHomeFolder(std::nullopt, "/usr/bin/zorvex", installedAsRoot), "/x/zorvex");
    EXPECT_EQ(DecideHomeFolder(std::nullopt, "/opt/z/bin/zorvex", installedAsRoot), "/opt/z/bin");
}

using WorkingDirectoriesTest = test::HomeTest;

TEST_F(WorkingDirectoriesTest, FirstStartCreatesTheHomeAndEveryWorkingFolder) {
    ASSERT_FALSE(pathExists(home_));
    ASSERT_TRUE(InitWorkingDirectories(home_));
    EXPECT_EQ(GetModuleDir(), home_);
    EXPECT_EQ(GetConvertedDir(), home_ + "/appData/converted/");
    EXPECT_EQ(GetDownloadDir(), home_ + "/appData/download/");
    for (const char* folder :
         {"appData/converted", "appData/download", "file_root", "file_root/image"}) {
        EXPECT_TRUE(isDirectory(homeFile(folder))) << folder;
    }
    EXPECT_EQ(ThumbnailPath("0123"), home_ + "/file_root/image/0123.jpg");
}

TEST_F(WorkingDirectoriesTest, EmptyConvertPathUsesAndCreatesTheDefaultFolder) {
    dir_.write("home/config.ini",
               "[NormalSetting]\nBase-AutoRun=0\n[VideoSetting]\nConvertPath=\n");
    ASSERT_TRUE(InitWorkingDirectories(home_));
    EXPECT_EQ(GetConvertedDir(), home_ + "/appData/converted/");
    EXPECT_TRUE(isDirectory(homeFile("appData/converted")));
}

TEST_F(WorkingDirectoriesTest, AChosenFolderIsKeptAsWrittenAndNotCreated) {
    std::string chosen = dir_.file("elsewhere/videos");
    dir_.write("home/config.ini",
               "[NormalSetting]\nBase-AutoRun=0\n[VideoSetting]\nConvertPath=" + chosen + "\n");
    dir_.write("home/file_root/existing", "x");
    ASSERT_TRUE(InitWorkingDirectories(home_));
    EXPECT_EQ(GetConvertedDir(), chosen);
    EXPECT_FALSE(pathExists(chosen));
    EXPECT_FALSE(pathExists(homeFile("appData/converted")));
    EXPECT_TRUE(isDirectory(homeFile("appData/download")));
    EXPECT_TRUE(isDirectory(homeFile("file_root/image")));
    EXPECT_TRUE(isRegularFile(homeFile("file_root/existing")));
}

}  // namespace
}  // namespace zorvex
