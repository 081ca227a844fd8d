#include "ui/session/core_session.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "update/canned_http_server.h"
#include "update/raw_test_server.h"
#include "window_fixture.h"

namespace zorvex::ui {
namespace {

// The session's own part: the download's news said as signals, the
// installer handed to the desktop, the windows' log lines.
class CoreSessionTest : public test::WindowTest {};

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
