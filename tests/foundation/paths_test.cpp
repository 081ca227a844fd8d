#include "foundation/paths.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <vector>

#include "foundation/settings.h"
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

TEST_F(WorkingDirectoriesTest, AnUnusableConvertPathGivesTheDefaultFolderEverywhere) {
    // Empty (as a 0-byte config.ini gives), relative, a file, or a folder that is gone.
    dir_.write("a file", "x");
    for (const std::string& setting :
         {std::string(), std::string("videos"), dir_.file("a file"), dir_.file("gone")}) {
        test::TempDir fresh;
        std::string home = fresh.file("home");
        fresh.write("home/config.ini",
                    "[NormalSetting]\nBase-AutoRun=0\n[VideoSetting]\n"
                    "ConvertPath=" +
                        setting + "\n");
        ASSERT_TRUE(InitWorkingDirectories(home));
        EXPECT_EQ(GetConvertedDir(), home + "/appData/converted/") << setting;
        EXPECT_EQ(GetConvertPath(), home + "/appData/converted/") << setting;
        EXPECT_TRUE(isDirectory(home + "/appData/converted")) << setting;
        EXPECT_FALSE(pathExists(dir_.file("gone"))) << "a chosen folder is never created";
    }
    test::TempDir empty;
    empty.write("home/config.ini", "");
    ASSERT_TRUE(InitWorkingDirectories(empty.file("home")));
    EXPECT_EQ(GetConvertPath(), empty.file("home") + "/appData/converted/");
}

TEST_F(WorkingDirectoriesTest, AChosenFolderIsKeptAsWrittenWhileItExists) {
    std::string chosen = dir_.file("elsewhere/videos");
    makeDirectories(chosen);
    dir_.write("home/config.ini",
               "[NormalSetting]\nBase-AutoRun=0\n[VideoSetting]\nConvertPath=" + chosen + "\n");
    dir_.write("home/file_root/existing", "x");
    dir_.write("elsewhere/videos/.cut.mp4.part-Ab12Cd", "a conversion a crash cut short");
    dir_.write("elsewhere/videos/.mine", "the user's");
    ASSERT_TRUE(InitWorkingDirectories(home_));
    EXPECT_EQ(GetConvertedDir(), chosen);
    EXPECT_EQ(GetConvertPath(), chosen);
    EXPECT_FALSE(pathExists(homeFile("appData/converted")));
    EXPECT_TRUE(isDirectory(homeFile("appData/download")));
    EXPECT_TRUE(isDirectory(homeFile("file_root/image")));
    EXPECT_TRUE(isRegularFile(homeFile("file_root/existing")));
    EXPECT_FALSE(pathExists(chosen + "/.cut.mp4.part-Ab12Cd"));
    EXPECT_TRUE(isRegularFile(chosen + "/.mine"));

    // Gone while we run (a drive taken away): conversions go to the default.
    std::filesystem::remove_all(chosen);
    EXPECT_EQ(GetConvertPath(), DefaultConvertedDir());
}

TEST_F(WorkingDirectoriesTest, LeftoversGoFromEveryFolderConversionsWentTo) {
    std::string before = dir_.file("before"), absent = dir_.file("disk/videos");
    makeDirectories(before);
    ASSERT_TRUE(InitWorkingDirectories(home_));
    RememberConversionFolder(before + "/");
    RememberConversionFolder(absent);
    RememberConversionFolder(GetConvertedDir());
    RememberConversionFolder(before);
    EXPECT_EQ(test::readFile(homeFile("appData/ConvertFolders.txt")),
              before + "\n" + absent + "\n" + home_ + "/appData/converted\n");

    // A crash in the folder chosen before; the setting changed since.
    dir_.write("before/.cut.mp4.part-Ab12Cd", "a conversion a crash cut short");
    dir_.write("before/clip.mp4", "a finished one");
    dir_.write("home/config.ini", "[NormalSetting]\nBase-AutoRun=0\n[VideoSetting]\nConvertPath=" +
                                      dir_.path() + "\n");
    ASSERT_TRUE(InitWorkingDirectories(home_));
    EXPECT_FALSE(pathExists(before + "/.cut.mp4.part-Ab12Cd"));
    EXPECT_TRUE(isRegularFile(before + "/clip.mp4"));

    // The disk comes back later: its leftover goes at the next start.
    dir_.write("disk/videos/.cut.mp4.part-Ab12Cd", "cut short");
    ASSERT_TRUE(InitWorkingDirectories(home_));
    EXPECT_FALSE(pathExists(absent + "/.cut.mp4.part-Ab12Cd"));
}

TEST_F(WorkingDirectoriesTest, StartUpRemovesWhatInterruptedWritesLeft) {
    std::string key = "0123456789abcdef0123456789abcdef";
    for (std::string leftover :
         {std::string(".config.ini.tmp-Ab12Cd"), std::string("config.ini.tmp7"),
          std::string("VideoRelation.xml.tmp123456"), "file_root/." + key + ".tmp-x1Y2z3",
          "file_root/" + key + ".tmp000042",
          std::string("appData/download/.Zorvex助手1.0.19.exe.tmp-AbCdEf"),
          std::string("appData/converted/.long120.mp4.part-x1Y2z3"),
          std::string("appData/.ConvertQueue.xml.tmp-Zz09aB")}) {
        dir_.write("home/" + leftover, "half written");
    }
    dir_.write("home/file_root/" + key, "a link file");
    // The home may be any folder: the user's files that merely look like ours stay.
    for (const char* users : {"notes.tmp", "thesis.tmp1", ".draft.tmp-abc123"})
        dir_.write(std::string("home/") + users, "not ours to judge");
    ASSERT_TRUE(InitWorkingDirectories(home_));
    std::vector<std::string> left;
    for (auto& e : std::filesystem::recursive_directory_iterator(home_)) {
        if (e.is_regular_file()) left.push_back(e.path().lexically_relative(home_).string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".draft.tmp-abc123", "config.ini", "file_root/" + key,
                                              "notes.tmp", "thesis.tmp1"}));
}

TEST_F(WorkingDirectoriesTest, AFileWhereAFolderBelongsStopsTheStartWithItsPathAndReason) {
    dir_.write("home/file_root", "a file, not a folder");
    StorageStatus status = InitWorkingDirectories(home_);
    EXPECT_FALSE(status);
    EXPECT_EQ(status.message,
              "cannot create the folder " + homeFile("file_root") + ": Not a directory");

    test::TempDir other;
    other.write("home", "a file");
    status = InitWorkingDirectories(other.file("home"));
    EXPECT_FALSE(status);
    EXPECT_EQ(status.message,
              "cannot create the folder " + other.file("home") + ": Not a directory");
    other.write("home2/file_root/image", "a file");
    status = InitWorkingDirectories(other.file("home2"));
    EXPECT_EQ(status.message, "cannot create the folder " + other.file("home2/file_root/image") +
                                  ": Not a directory");
}

TEST_F(WorkingDirectoriesTest, AReadOnlyHomeStopsTheStart) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    ASSERT_TRUE(InitWorkingDirectories(home_));
    std::filesystem::permissions(
        home_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    StorageStatus status = InitWorkingDirectories(home_);
    std::filesystem::permissions(home_, std::filesystem::perms::owner_all);
    EXPECT_FALSE(status);
    EXPECT_EQ(status.message, "cannot write to the folder " + home_ + ": Permission denied");
}

}  // namespace
}  // namespace zorvex
