#include "ui/windows/down_load_dlg.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ui/toolkit/my_progress_bar.h"
#include "update/canned_http_server.h"
#include "update/raw_test_server.h"
#include "window_fixture.h"

namespace zorvex::ui {
namespace {

class DownLoadDlgTest : public test::WindowTest {
protected:
    // The session that makes the download; the desktop takes every installer.
    test::ScriptedSession& session(DownloadOptions download = quick()) {
        CoreParts parts;
        download_ = download;
        parts.download = &download_;
        parts.update = updateContext();
        session_ = std::make_unique<test::ScriptedSession>(parts);
        session_->openScript = [this](const std::string& path) {
            opened_.push_back(path);
            return true;
        };
        return *session_;
    }
    static DownloadOptions quick() {
        DownloadOptions o;
        o.idleTimeout = std::chrono::milliseconds(1500);
        return o;
    }
    static void key(QWidget& widget, int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(&widget, &press);
    }
    std::string target() const { return home_ + "/appData/download/Zorvex助手1.0.19.exe"; }

    std::vector<std::string> opened_;
    std::unique_ptr<test::ScriptedSession> session_;
};

TEST_F(DownLoadDlgTest, EscapeAndCloseCancelTheDownloadAndLeaveNoPartialFile) {
    test::RawTestServer server;
    // A slow installer that would take minutes; the idle guard far beyond the wait.
    server.stream({"HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n", "MZ", 1'000'000, 500,
                   std::chrono::milliseconds(100)});
    DownloadOptions patient;
    patient.idleTimeout = std::chrono::minutes(5);
    patient.minimumSpeed = 1;
    test::ScriptedSession& slow = session(patient);
    const std::string folder = home_ + "/appData/download";
    auto partialFiles = [&] {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            count += entry.path().filename().string().front() == '.';
        return count;
    };

    for (bool byEscape : {true, false}) {
        CDownLoadDlg dialog(nullptr, slow);
        dialog.SetDownloadTarget(QString::fromStdString(server.url("/Setup.exe")), "1.0.19");
        dialog.open();
        ASSERT_TRUE(pump([&] { return dialog.progressBar()->pos() > 0 && partialFiles() == 1; }));
        EXPECT_EQ(dialog.size(), QSize(460, 310));
        key(dialog, Qt::Key_Return);
        key(dialog, Qt::Key_Enter);
        QCoreApplication::processEvents();
        EXPECT_TRUE(dialog.isVisible()) << "Enter has nothing to press";
        if (byEscape)
            key(dialog, Qt::Key_Escape);
        else
            dialog.close();  // as the window manager's close does
        ASSERT_TRUE(pump([&] { return !dialog.isVisible(); }));
        EXPECT_EQ(dialog.Result(), DownloadEnd::Cancelled);
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_FALSE(dialog.Downloading());
        EXPECT_EQ(partialFiles(), 0);
        EXPECT_FALSE(std::filesystem::exists(target()));
    }
    EXPECT_TRUE(opened_.empty());
}

TEST_F(DownLoadDlgTest, ACompleteInstallerIsOpenedAndTheDialogEnds) {
    test::CannedHttpServer server;
    const std::string body = "MZ" + std::string(50'000, 'x');
    server.respond("/Setup.exe", {200, body, "application/octet-stream"});
    CDownLoadDlg dialog(nullptr, session());
    dialog.SetDownloadTarget(QString::fromStdString(server.url("/Setup.exe")), "1.0.19");
    dialog.open();
    ASSERT_TRUE(pump([&] { return !dialog.isVisible(); }));
    EXPECT_EQ(dialog.Result(), DownloadEnd::Succeeded);
    EXPECT_TRUE(dialog.Finished());
    EXPECT_EQ(dialog.progressBar()->pos(), 100);
    EXPECT_EQ(dialog.statusText(), "升级文件下载完毕");
    ASSERT_EQ(opened_, std::vector<std::string>{target()});
    EXPECT_TRUE(dialog.InstallerOpened());
    EXPECT_EQ(dialog.InstallerPath().toStdString(), target());
    EXPECT_EQ(test::readFile(target()), body);
}

TEST_F(DownLoadDlgTest, ARefusedDownloadEndsAsFailedWithoutOpeningAnything) {
    test::CannedHttpServer server;  // 404 for every path
    CDownLoadDlg dialog(nullptr, session());
    dialog.SetDownloadTarget(QString::fromStdString(server.url("/Setup.exe")), "1.0.19");
    dialog.open();
    ASSERT_TRUE(pump([&] { return !dialog.isVisible(); }));
    EXPECT_EQ(dialog.Result(), DownloadEnd::Failed);
    EXPECT_FALSE(dialog.Finished());
    EXPECT_TRUE(opened_.empty());
    EXPECT_FALSE(std::filesystem::exists(target()));
}

TEST_F(DownLoadDlgTest, WithoutALengthTheDownloadCompletesAndTheBarCanSweep) {
    test::RawTestServer server;
    // No Content-Length: the body ends when the server closes.
    server.reply("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nMZ installer bytes");
    CDownLoadDlg dialog(nullptr, session());
    dialog.SetDownloadTarget(QString::fromStdString(server.url("/Setup.exe")), "1.0.19");
    dialog.open();
    ASSERT_TRUE(pump([&] { return !dialog.isVisible(); }));
    EXPECT_EQ(dialog.Result(), DownloadEnd::Succeeded);
    EXPECT_FALSE(dialog.progressBar()->indeterminate());
    EXPECT_EQ(opened_.size(), 1u);

    CMyProgressBar bar(nullptr);
    bar.resize(326, 10);
    bar.SetIndeterminate(true);
    EXPECT_TRUE(bar.sweepRect().isEmpty()) << "the segment enters from the left";
    ASSERT_TRUE(pump([&] { return bar.sweepRect().width() == 326 / 4; }));
    EXPECT_TRUE(bar.rect().contains(bar.sweepRect()));
}

}  // namespace
}  // namespace zorvex::ui
