#include "ui/session/core_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "../../service/phone_link.h"
#include "core_kit.h"
#include "foundation/ini_file.h"
#include "service/service.h"
#include "ui/toolkit/qt_executor.h"
#include "update/canned_http_server.h"
#include "update/raw_test_server.h"
#include "window_fixture.h"

namespace zorvex::ui {
namespace {

class CoreSessionTest : public test::WindowTest {
protected:
    std::string saved(const char* section, const char* key) const {
        return IniFile::load(GetConfigPath()).readString(section, key, "", 260);
    }
};

TEST_F(CoreSessionTest, TheAddressShownAndSavedIsTheServicesOrItsNetworksOne) {
    EXPECT_EQ(CoreSession(CoreParts{}).currentAddress(), "");
    {
        Service service(home_);
        const std::string own = test::runAddress(5);
        ASSERT_TRUE(service.setAddress(own).ok());
        CoreParts parts;
        parts.service = &service;
        CoreSession session(parts);
        EXPECT_EQ(session.currentAddress(), own);
        ASSERT_TRUE(session.saveSettings());
        EXPECT_EQ(saved(kNormalSection, "DefaultIP"), own) << "kept as the address in use";
        service.stop();
    }
    QObject context;
    QtExecutor executor(&context);
    test::CoreKit kit(home_, executor, test::runAddress(6));
    CoreSession session(kit.parts());
    EXPECT_EQ(session.currentAddress(), test::runAddress(6));
    EXPECT_EQ(session.currentAddress(), kit.application().core().networks->view().shown);
}

TEST_F(CoreSessionTest, SettingsEditsReachConfigIniAndAFolderNoFileFitsIsRefused) {
    CoreSession session(CoreParts{});
    session.setComSleepUnSleep(0);
    session.setVideoConvertRatio(2);
    ASSERT_TRUE(session.saveSettings());
    EXPECT_EQ(saved(kNormalSection, "ComSleep-UnSleep"), "0");
    EXPECT_EQ(saved(kVideoSection, "VideoConvert-Ratio"), "2");
    EXPECT_EQ(session.comSleepUnSleep(), 0);
    EXPECT_EQ(session.videoConvertRatio(), 2);

    const std::string before = session.convertFolder();
    EXPECT_EQ(session.setConvertFolder("/proc/self"), CoreSession::FolderChoice::NotWritable);
    EXPECT_EQ(session.convertFolder(), before);
    const std::string chosen = dir_.file("out");
    std::filesystem::create_directories(chosen);
    EXPECT_EQ(session.setConvertFolder(chosen), CoreSession::FolderChoice::Saved);
    EXPECT_EQ(saved(kVideoSection, "ConvertPath"), chosen);
    EXPECT_NE(logText().find("(ZorvexUIFiles\\RightVideoDlg):save folder refused, "),
              std::string::npos);
}

TEST_F(CoreSessionTest, TheSessionMakesTheDownloadAndWritesTheWindowsLogLines) {
    CoreParts parts;
    parts.update = updateContext();
    test::ScriptedSession session(parts);
    std::vector<std::string> opened;
    session.openScript = [&](const std::string& path) {
        opened.push_back(path);
        return true;
    };
    std::vector<std::tuple<DownloadEnd, std::string, bool>> finished;
    QObject::connect(&session, &CoreSession::downloadFinished,
                     [&](DownloadEnd result, const std::string& path, bool took) {
                         finished.emplace_back(result, path, took);
                     });
    test::CannedHttpServer server;
    server.respond("/Setup.exe",
                   {200, "MZ" + std::string(50'000, 'x'), "application/octet-stream"});
    const std::string url = server.url("/Setup.exe");
    // A download ended before it reported tells nothing of itself.
    ASSERT_TRUE(session.startDownload(url, "1.0.19"));
    session.endDownload();
    ASSERT_TRUE(session.startDownload(url, "1.0.19"));
    ASSERT_TRUE(pump([&] { return !finished.empty(); }));
    const std::string installer = home_ + "/appData/download/Zorvex助手1.0.19.exe";
    EXPECT_EQ(finished, (std::vector<std::tuple<DownloadEnd, std::string, bool>>{
                            {DownloadEnd::Succeeded, installer, true}}));
    EXPECT_EQ(opened, std::vector<std::string>{installer});
    EXPECT_EQ(session.downloadResult(), DownloadEnd::Succeeded);

    // A cancel is the dialog's line in the log; the windows' own lines keep their tags.
    test::RawTestServer slow;
    slow.stream({"HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n", "MZ", 1'000'000, 500,
                 std::chrono::milliseconds(100)});
    ASSERT_TRUE(session.startDownload(slow.url("/Setup.exe"), "1.0.20"));
    session.cancelDownload();
    ASSERT_TRUE(pump([&] { return finished.size() == 2; }));
    EXPECT_EQ(std::get<0>(finished[1]), DownloadEnd::Cancelled);
    session.log("检测更新", "ZorvexVRClientDlg");
    const std::string log = logText();
    EXPECT_NE(log.find("(ZorvexUIFiles\\DownLoadDlg):取消下载"), std::string::npos);
    EXPECT_NE(log.find("(ZorvexVRClientDlg):检测更新"), std::string::npos);
}

}  // namespace
}  // namespace zorvex::ui
