#include "update/update_download.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <vector>

#include "canned_http_server.h"
#include "platform/file_util.h"
#include "raw_test_server.h"
#include "update_fixture.h"

namespace zorvex {
namespace {

// Collects what the worker reports.
class RecordingListener : public UpdateDownloadListener {
public:
    struct Seen {
        std::vector<int> progress;
        int reports = 0;
        int result = -1;
        std::string path;
    };
    void onProgress(int percent) override {
        std::lock_guard lock(mutex_);
        seen_.progress.push_back(percent);
    }
    void onFinished(int result, const std::string& path) override {
        std::lock_guard lock(mutex_);
        ++seen_.reports;
        seen_.result = result;
        seen_.path = path;
    }
    Seen seen() const {
        std::lock_guard lock(mutex_);
        return seen_;
    }

private:
    mutable std::mutex mutex_;
    Seen seen_;
};

class UpdateDownloadTest : public test::UpdateTest {
protected:
    // Runs one download of url as version to its report.
    void download(const std::string& url, const std::string& version = "1.0.19") {
        int reportsBefore = listener_.seen().reports;
        download_ = std::make_unique<UpdateDownload>(listener_, context());
        download_->SetDownloadTarget(url, version);
        ASSERT_TRUE(download_->start());
        ASSERT_TRUE(download_->waitFor(std::chrono::seconds(30)));
        EXPECT_EQ(listener_.seen().reports, reportsBefore + 1);
        EXPECT_EQ(listener_.seen().result, download_->Result());
    }
    std::string target(const std::string& name = "Zorvex助手1.0.19.exe") const {
        return home_ + "/appData/download/" + name;
    }
    // Whether an unfinished transfer is left in the download folder.
    bool anyPartFile() const {
        std::error_code error;
        for (auto& e : std::filesystem::directory_iterator(home_ + "/appData/download", error)) {
            if (isTemporaryLeftover(e.path().filename().string())) return true;
        }
        return false;
    }

    RecordingListener listener_;
    std::unique_ptr<UpdateDownload> download_;
};

TEST(UpdateFileName, TakesTheUrlsExtensionAndRefusesUnusableVersions) {
    EXPECT_EQ(UpdateFileName("http://h/dl/Setup.msi?t=1.zip#x", "1.0.19"), "Zorvex助手1.0.19.msi");
    EXPECT_EQ(UpdateFileName("http://h/dl/setup", "1.0.19"), "Zorvex助手1.0.19.exe");
    EXPECT_EQ(UpdateFileName("http://h.example/", "2"), "Zorvex助手2.exe");
    EXPECT_EQ(UpdateFileName("http://h/a.b/setup", "2"), "Zorvex助手2.exe");
    for (std::string version : {"1/../../x", "1\\2", "1:2", "a*", "1\n2"}) {
        EXPECT_EQ(UpdateFileName("http://h/a.exe", version), "") << version;
    }
}

TEST_F(UpdateDownloadTest, ReplacesTheInstallerAndReportsWholePercents) {
    std::string installer;
    for (int i = 0; installer.size() < 300'000; ++i) installer += std::to_string(i) + ",";
    test::CannedHttpServer server;
    server.respond("/dl/setup.exe", {200, installer, "application/octet-stream"});
    test::TempDir::writeTo(target(), "an older download");

    download(server.url("/dl/setup.exe"));
    EXPECT_EQ(download_->Result(), kDownloadSucceeded);
    EXPECT_TRUE(download_->Finished());
    EXPECT_EQ(listener_.seen().path, target());
    EXPECT_TRUE(test::readFile(target()) == installer);
    EXPECT_FALSE(anyPartFile());

    std::vector<int> progress = listener_.seen().progress;
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), 100);
    for (std::size_t i = 1; i < progress.size(); ++i) EXPECT_LT(progress[i - 1], progress[i]);

    EXPECT_NE(logText().find("(ZorvexUIFiles\\DownLoadDlg):下载文件长度:" +
                             std::to_string(installer.size()) + ", 下载路径 " + target() + "\n"),
              std::string::npos);
}

TEST_F(UpdateDownloadTest, WithoutALengthTheProgressIsIndeterminate) {
    test::RawTestServer server;
    server.reply("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nMZ installer bytes");
    std::filesystem::remove_all(home_ + "/appData/download");  // made on demand
    download(server.url("/setup.exe"), "1.0.20");
    EXPECT_EQ(download_->Result(), kDownloadSucceeded);
    EXPECT_TRUE(download_->Finished());
    EXPECT_EQ(test::readFile(target("Zorvex助手1.0.20.exe")), "MZ installer bytes");
    EXPECT_EQ(listener_.seen().progress, (std::vector<int>{kProgressUnknown, 100}));
    // The request carries nothing but the GET itself.
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].rfind("GET /setup.exe HTTP/1.1\r\n", 0), 0u);
}

TEST_F(UpdateDownloadTest, AShortTransferFailsAndLeavesNoFile) {
    test::RawTestServer server;
    server.reply("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(400, 'x'));
    download(server.url("/setup.exe"));
    EXPECT_EQ(download_->Result(), kDownloadFailed);
    EXPECT_FALSE(download_->Finished());
    EXPECT_FALSE(pathExists(target()));
    EXPECT_FALSE(anyPartFile());
    std::vector<int> progress = listener_.seen().progress;
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 40);
}

TEST_F(UpdateDownloadTest, RefusedAnswersAndUnusableTargetsFail) {
    test::CannedHttpServer server;
    server.respond("/empty.exe", {200, ""});
    server.respond("/moved.exe", {302, ""});
    test::RefusingPort refusing;
    for (std::string url :
         {server.url("/missing.exe"), server.url("/empty.exe"), server.url("/moved.exe"),
          std::string(""), std::string("ftp://127.0.0.1/a.exe"),
          "http://127.0.0.1:" + std::to_string(refusing.port()) + "/a.exe"}) {
        UpdateDownload download(listener_, context());
        download.SetDownloadTarget(url, "1.0.19");
        ASSERT_TRUE(download.start());
        ASSERT_TRUE(download.waitFor(std::chrono::seconds(30)));
        EXPECT_EQ(download.Result(), kDownloadFailed) << url;
        EXPECT_FALSE(pathExists(target())) << url;
        EXPECT_FALSE(anyPartFile());
    }
    EXPECT_TRUE(listener_.seen().progress.empty());

    // A version that is no file name never reaches the network.
    server.respond("/setup.exe", {200, "bytes"});
    download(server.url("/setup.exe"), "../../escape");
    EXPECT_EQ(download_->Result(), kDownloadFailed);
    EXPECT_EQ(listener_.seen().path, "");
    EXPECT_EQ(server.requests().size(), 3u);

    // A download folder that cannot be made: a file stands in its way.
    std::filesystem::remove_all(home_ + "/appData/download");
    test::TempDir::writeTo(home_ + "/appData/download", "not a folder");
    download(server.url("/setup.exe"));
    EXPECT_EQ(download_->Result(), kDownloadFailed);
}

TEST_F(UpdateDownloadTest, ACancelEndsAStalledTransfer) {
    test::RawTestServer server;
    server.beSilent();
    download_ = std::make_unique<UpdateDownload>(listener_, context());
    download_->SetDownloadTarget(server.url("/setup.exe"), "1.0.19");
    ASSERT_TRUE(download_->start());
    ASSERT_TRUE(test::waitUntil([&] { return server.connections() == 1; }));
    EXPECT_FALSE(download_->start());
    download_->cancel();
    ASSERT_TRUE(download_->waitFor(std::chrono::seconds(30)));
    EXPECT_EQ(listener_.seen().result, kDownloadFailed);
    EXPECT_FALSE(anyPartFile());
}

TEST_F(UpdateDownloadTest, OpeningTheInstallerIsLeftToTheCaller) {
    std::string opened;
    EXPECT_TRUE(OpenInstaller(target(), [&](const std::string& path) {
        opened = path;
        return true;
    }));
    EXPECT_EQ(opened, target());
    EXPECT_FALSE(OpenInstaller(target(), {}));
    EXPECT_NE(logText().find("(ZorvexUIFiles\\DownLoadDlg):下载完成\n"), std::string::npos);
}

}  // namespace
}  // namespace zorvex
