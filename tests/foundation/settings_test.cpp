#include "foundation/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <vector>

#include "foundation/ini_file.h"
#include "foundation/paths.h"
#include "foundation/stored_file.h"
#include "foundation/system_info.h"
#include "home_fixture.h"
#include "platform/autostart_entry.h"
#include "platform/executable_path.h"
#include "platform/file_util.h"

namespace zorvex {
namespace {

using SettingsTest = test::HomeTest;

TEST_F(SettingsTest, FirstStartWritesTheNewFileValuesAndLeavesAutostartAlone) {
    ASSERT_TRUE(InitWorkingDirectories(home_));
    EXPECT_EQ(GetConfigPath(), homeFile("config.ini"));
    EXPECT_EQ(test::readFile(homeFile("config.ini")),
              "[NormalSetting]\n"
              "Base-AutoRun=0\n"
              "Base-AutoUpdate=1\n"
              "ExitWndType=1\n"
              "ComSleep-UnSleep=1\n"
              "DefaultIP=127.0.0.1\n"
              "DeleteOrigin=0\n"
              "UpdateServer=update.zorvex.invalid\n"
              "\n"
              "[VideoSetting]\n"
              "VideoConvert-Ratio=1\n"
              "ConvertPath=" +
                  home_ +
                  "/appData/converted/\n"
                  "ConvertedNotify=1\n");
    SETTINGS_ST s = *g_pSettings();
    EXPECT_EQ(s.AutoRun, 0);
    EXPECT_EQ(s.VideoConvertRatio, 1);
    EXPECT_EQ(s.ConvertPath, home_ + "/appData/converted/");
    EXPECT_FALSE(pathExists(autostartEntry()));
}

TEST_F(SettingsTest, EmptySectionsGiveTheMissingKeyDefaultsAndApplyAutostart) {
    dir_.write("home/config.ini", "[NormalSetting]\n[VideoSetting]\n");
    // A stale entry from a moved installation is repaired by the start.
    dir_.write("autostart/ZorvexVRClient.desktop", "[Desktop Entry]\nExec=/old/zorvex\n");
    ASSERT_TRUE(InitWorkingDirectories(home_));
    SETTINGS_ST s = *g_pSettings();
    EXPECT_EQ(s.AutoRun, 1);
    EXPECT_EQ(s.AutoUpdate, 1);
    EXPECT_EQ(s.ExitWndType, 1);
    EXPECT_EQ(s.ComSleepUnSleep, 1);
    EXPECT_EQ(s.DefaultIP, "");
    EXPECT_EQ(s.DeleteOrigin, 0);
    EXPECT_EQ(s.VideoConvertRatio, 0);
    EXPECT_EQ(s.ConvertPath, "");
    EXPECT_EQ(s.ConvertedNotify, 1);
    EXPECT_EQ(s.UpdateServer, kDefaultUpdateServer);

    std::string entry = test::readFile(autostartEntry());
    EXPECT_NE(entry.find("\nExec=" + desktopExecValue(currentExecutablePath()) + "\n"),
              std::string::npos)
        << entry;
    EXPECT_EQ(entry.find("/old/zorvex"), std::string::npos);
    // Loading never rewrites an existing file.
    EXPECT_EQ(test::readFile(homeFile("config.ini")), "[NormalSetting]\n[VideoSetting]\n");
}

TEST_F(SettingsTest, LongTextsAreCutToTheirBuffers) {
    std::string longPath = "/";
    for (int i = 0; i < 120; ++i) longPath += "视频";  // 241 characters
    dir_.write("home/config.ini",
               "[NormalSetting]\nBase-AutoRun=0\nDefaultIP=" + std::string(30, '1') +
                   "\n[VideoSetting]\nConvertPath=" + longPath + "\n");
    LoadSettings();
    EXPECT_EQ(g_pSettings()->DefaultIP, std::string(19, '1'));
    EXPECT_EQ(g_pSettings()->ConvertPath, longPath.substr(0, 1 + 198 * 3));
}

TEST_F(SettingsTest, SaveKeepsOtherLinesAndWritesTheAddressInUse) {
    std::string original =
        "; written by hand\r\n"
        "[NormalSetting]\r\n"
        "Base-AutoRun=0\r\n"
        "DefaultIP=192.168.1.20\r\n"
        "Future-Key=keep me\r\n"
        "\r\n"
        "[Unknown]\r\n"
        "A=b\r\n";
    dir_.write("home/config.ini", original);
    LoadSettings();
    EXPECT_EQ(g_pSettings()->DefaultIP, "192.168.1.20");

    // The user switched the service to another adapter and changed a setting.
    g_pSettings()->ExitWndType = 3;
    g_pSettings()->ConvertPath = "/media/videos out ";
    ASSERT_TRUE(SaveSettings("10.0.0.7"));
    EXPECT_EQ(test::readFile(homeFile("config.ini")),
              "; written by hand\r\n"
              "[NormalSetting]\r\n"
              "Base-AutoRun=0\r\n"
              "DefaultIP=10.0.0.7\r\n"
              "Future-Key=keep me\r\n"
              "Base-AutoUpdate=1\r\n"
              "ExitWndType=3\r\n"
              "ComSleep-UnSleep=1\r\n"
              "DeleteOrigin=0\r\n"
              "UpdateServer=update.zorvex.invalid\r\n"
              "\r\n"
              "[Unknown]\r\n"
              "A=b\r\n"
              "\r\n"
              "[VideoSetting]\r\n"
              "VideoConvert-Ratio=0\r\n"
              "ConvertPath=\"/media/videos out \"\r\n"
              "ConvertedNotify=1\r\n");

    LoadSettings();
    EXPECT_EQ(g_pSettings()->DefaultIP, "10.0.0.7");
    EXPECT_EQ(g_pSettings()->ExitWndType, 3);
    EXPECT_EQ(g_pSettings()->ConvertPath, "/media/videos out ");
}

TEST_F(SettingsTest, SaveWithoutAnAddressKeepsTheSavedChoice) {
    dir_.write("home/config.ini", "[NormalSetting]\nBase-AutoRun=0\nDefaultIP=192.168.1.20\n");
    LoadSettings();
    ASSERT_TRUE(SaveSettings(""));
    LoadSettings();
    EXPECT_EQ(g_pSettings()->DefaultIP, "192.168.1.20");
}

TEST_F(SettingsTest, UpdateServerIsReadAndSaved) {
    dir_.write("home/config.ini", "[NormalSetting]\nBase-AutoRun=0\nUpdateServer=127.0.0.1:8080\n");
    LoadSettings();
    EXPECT_EQ(g_pSettings()->UpdateServer, "127.0.0.1:8080");
    g_pSettings()->UpdateServer = "updates.lan";
    ASSERT_TRUE(SaveSettings(""));
    EXPECT_EQ(IniFile::load(homeFile("config.ini")).value("NormalSetting", "UpdateServer"),
              "updates.lan");

    dir_.write("home/config.ini", "[NormalSetting]\nBase-AutoRun=0\nUpdateServer=\n");
    LoadSettings();
    EXPECT_EQ(g_pSettings()->UpdateServer, kDefaultUpdateServer);
}

TEST_F(SettingsTest, AFolderNameWithALineBreakIsNotSaved) {
    ASSERT_TRUE(InitWorkingDirectories(home_));
    g_pSettings()->ConvertPath = "/x\n[NormalSetting]\nBase-AutoRun=1";
    g_pSettings()->ComSleepUnSleep = 0;
    EXPECT_FALSE(SaveSettings(""));
    auto ini = IniFile::load(homeFile("config.ini"));
    EXPECT_EQ(ini.value("VideoSetting", "ConvertPath"), home_ + "/appData/converted/");
    EXPECT_EQ(ini.value("NormalSetting", "Base-AutoRun"), "0");
    EXPECT_EQ(ini.value("NormalSetting", "ComSleep-UnSleep"), "0");  // the rest is saved
}

// The names of the damaged copies kept in the home folder.
std::vector<std::string> damagedCopies(const std::string& home, const std::string& name) {
    std::vector<std::string> found;
    for (auto& e : std::filesystem::directory_iterator(home)) {
        std::string file = e.path().filename().string();
        if (file.rfind(name + ".damaged-", 0) == 0) found.push_back(file);
    }
    return found;
}

TEST_F(SettingsTest, ADamagedFileIsKeptAsideAndReplacedByANewOne) {
    std::string binary("[NormalSetting]\nExitWndType=3\n\0\x01\x02", 32);
    dir_.write("home/config.ini", binary);
    ASSERT_TRUE(InitWorkingDirectories(home_));
    auto kept = damagedCopies(home_, "config.ini");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(std::regex_match(kept[0], std::regex(R"(config\.ini\.damaged-\d{8}-\d{6})")));
    EXPECT_EQ(test::readFile(homeFile(kept[0])), binary);
    // The key that reads cleanly is kept; the rest take the first-start values.
    EXPECT_EQ(g_pSettings()->ExitWndType, 3);
    EXPECT_EQ(g_pSettings()->AutoRun, 0);
    IniFile written = IniFile::load(homeFile("config.ini"));
    EXPECT_EQ(written.value("NormalSetting", "Base-AutoRun"), "0");
    EXPECT_EQ(written.value("NormalSetting", "ExitWndType"), "3");
    std::string log;
    for (auto& e : std::filesystem::directory_iterator(homeFile("PTTLog")))
        log += test::readFile(e.path().string());
    EXPECT_NE(log.find("(ZorvexDataManager\\Settings):" + homeFile("config.ini") +
                       " cannot be read (not a text file; first-start values for Base-AutoRun, "
                       "Base-AutoUpdate, ComSleep-UnSleep, DefaultIP, VideoConvert-Ratio, "
                       "ConvertPath, ConvertedNotify, DeleteOrigin, UpdateServer); kept as " +
                       homeFile(kept[0])),
              std::string::npos)
        << log;

    // A whole section and then noise: every setting it held survives.
    std::filesystem::remove_all(home_);
    std::string noise;
    for (int i = 0; i < 300; ++i) noise += static_cast<char>((i * 131 + 7) % 256);
    dir_.write("home/config.ini", "[VideoSetting]\r\nConvertPath=" + dir_.file("videos") +
                                      "\r\nVideoConvert-Ratio=0\r\n" + noise);
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(g_pSettings()->ConvertPath, dir_.file("videos"));
    EXPECT_EQ(g_pSettings()->VideoConvertRatio, 0);
    EXPECT_EQ(g_pSettings()->AutoRun, 0);
    EXPECT_EQ(IniFile::load(homeFile("config.ini")).value("VideoSetting", "ConvertPath"),
              dir_.file("videos"));
}

// A torn or foreign file says nothing: read as it stands, its missing
// "Base-AutoRun" would turn autostart on. Hand-made files still load.
TEST_F(SettingsTest, TornOrForeignFilesAreDamagedAndNeverTurnAutostartOn) {
    const std::vector<std::string> damaged = {
        "",
        "[NormalSet",                                                // cut to 10 bytes
        "[NormalSetting]\nBase-AutoRun=0\nExitWnd",                  // cut inside a key
        "[NormalSetting]\x01\x02\x7f\nExitWndType=3\n",              // binary bytes
        "Base-AutoRun=0\nExitWndType=3\n",                           // no section of ours
        "[NormalSetting]\n; " + std::string(2'000'000, 'q') + "\n",  // far larger than settings
    };
    for (const std::string& content : damaged) {
        std::filesystem::remove_all(home_);
        dir_.write("home/config.ini", content);
        ASSERT_TRUE(LoadSettings()) << content.substr(0, 40);
        EXPECT_EQ(damagedCopies(home_, "config.ini").size(), 1u) << content.substr(0, 40);
        EXPECT_EQ(g_pSettings()->AutoRun, 0);
        EXPECT_FALSE(pathExists(autostartEntry())) << content.substr(0, 40);
    }
    std::filesystem::remove_all(home_);
    std::string mine = "; mine\r\n[NormalSetting]\r\nExitWndType = 3\r\n\r\n[VideoSetting]\r\nX=1";
    dir_.write("home/config.ini", mine);
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(g_pSettings()->ExitWndType, 3);
    EXPECT_EQ(test::readFile(homeFile("config.ini")), mine);
}

TEST_F(SettingsTest, AFileOverSixteenMebibytesIsDamagedAndNeverReadBySave) {
    ASSERT_TRUE(InitWorkingDirectories(home_));
    // Sparse: the size is there, the bytes are not.
    std::filesystem::resize_file(homeFile("config.ini"), kMaxStoredFileBytes + 1);
    EXPECT_FALSE(SaveSettings(""));
    EXPECT_EQ(std::filesystem::file_size(homeFile("config.ini")), kMaxStoredFileBytes + 1);
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(damagedCopies(home_, "config.ini").size(), 1u);
    EXPECT_LT(std::filesystem::file_size(homeFile("config.ini")), 1024u);

    // A second damaged file in the same second does not replace the first copy.
    std::filesystem::resize_file(homeFile("config.ini"), kMaxStoredFileBytes + 2);
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(damagedCopies(home_, "config.ini").size(), 2u);
}

}  // namespace
}  // namespace zorvex
