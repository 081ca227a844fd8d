#include "update/update_download.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <vector>

#include "canned_http_server.h"
#include "platform/file_util.h"
#include "raw_test_server.h"
#include "update/curl_easy.h"
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
    void download(const std::string& url, const std::string& version = "1.0.19",
                  DownloadOptions options = {}) {
        int reportsBefore = listener_.seen().reports;
        download_ = std::make_unique<UpdateDownload>(listener_, context(), options);
        download_->SetDownloadTarget(url, version);
        ASSERT_TRUE(download_->start());
        ASSERT_TRUE(download_->waitFor(std::chrono::seconds(30)));
        EXPECT_EQ(listener_.seen().reports, reportsBefore + 1);
        EXPECT_EQ(listener_.seen().result, download_->Result());
    }
    std::string target(const std::string& name = "Zorvex助手1.0.19.exe") const {
        return home_ + "/appData/download/" + name;
    }
    // Neither the installer nor an unfinished transfer is in the download folder.
    bool nothingLeft() const { return !pathExists(target()) && !anyPartFile(); }
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

TEST(UpdateFileName, IsAlwaysTheExeAndRefusesVersionsThatAreNoPlainText) {
    EXPECT_EQ(UpdateFileName("1.0.19-beta_2+x"), "Zorvex助手1.0.19-beta_2+x.exe");
    EXPECT_EQ(UpdateFileName("1.0.desktop"), "Zorvex助手1.0.desktop.exe");
    for (std::string version : {std::string(), std::string(33, '9'), std::string("1/../x"),
                                std::string("1..2"), std::string(".hidden"), std::string("-rf"),
                                std::string("1\\2"), std::string("1\n2"), std::string("1 2")}) {
        EXPECT_EQ(UpdateFileName(version), "") << version;
    }
}

TEST_F(UpdateDownloadTest, ReplacesTheInstallerAndReportsWholePercents) {
    std::string installer = "MZ";
    for (int i = 0; installer.size() < 300'000; ++i) installer += std::to_string(i) + ",";
    test::CannedHttpServer server;
    server.respond("/dl/setup.exe", {200, installer, "application/octet-stream"});
    test::TempDir::writeTo(target(), "an older download");

    download(server.url("/dl/setup.exe"));
    EXPECT_EQ(download_->Result(), kDownloadSucceeded);
    EXPECT_TRUE(download_->Finished());
    EXPECT_FALSE(CurlLoaded()) << "libcurl is closed once the download has ended";
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
    server.reply("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nMZ" + std::string(398, 'x'));
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
    server.respond("/setup.exe", {200, "MZbytes"});
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

TEST_F(UpdateDownloadTest, ACancelEndsStalledAndRunningTransfersAndRemovesThePartialFile) {
    // Time-outs far beyond the wait: only the cancel can end these.
    DownloadOptions patient;
    patient.idleTimeout = std::chrono::minutes(5);
    patient.minimumSpeed = 1;
    test::RawTestServer server;
    server.beSilent();
    for (bool midBody : {false, true}) {
        download_ = std::make_unique<UpdateDownload>(listener_, context(), patient);
        download_->SetDownloadTarget(server.url("/setup.exe"), "1.0.19");
        ASSERT_TRUE(download_->start());
        ASSERT_TRUE(
            test::waitUntil([&] { return midBody ? anyPartFile() : server.connections() > 0; }));
        download_->cancel();
        ASSERT_TRUE(download_->waitFor(std::chrono::seconds(30)));
        EXPECT_EQ(listener_.seen().result, kDownloadCancelled);
        EXPECT_TRUE(nothingLeft());
        // Next, part of the body is on disk when the cancel comes.
        server.stream({"HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n", "MZ", 1'000'000, 1000,
                       std::chrono::milliseconds(200)});
    }
}

TEST_F(UpdateDownloadTest, TricklingOversizedAndCrowdedTransfersLeaveNothing) {
    const std::uint64_t gib = std::uint64_t{1} << 30;
    const std::string lengthHead = "HTTP/1.1 200 OK\r\nContent-Length: ";
    const std::string noLength = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
    DownloadOptions slow;
    slow.idleTimeout = std::chrono::seconds(1);
    slow.minimumSpeed = 100;
    DownloadOptions small;
    small.maxBytes = 1 << 20;
    DownloadOptions crowded;  // asks more free space than any disk has
    crowded.keepFree = std::int64_t{1} << 60;
    struct Case {
        test::RawTestServer::Stream stream;
        DownloadOptions options;
    };
    for (const Case& c : {
             // 2 bytes a second: never silent, and done in about 80 minutes.
             Case{{lengthHead + "10000\r\n\r\n", "MZ", 10'000, 1, std::chrono::milliseconds(500)},
                  slow},
             // A gibibyte announced, under the default bound of 512 MiB, or not announced.
             Case{{lengthHead + std::to_string(gib) + "\r\n\r\n", "MZ", gib}, {}},
             Case{{noLength, "MZ", gib}, small},
             Case{{lengthHead + "5000\r\n\r\n", "MZ", 5000}, crowded},
             Case{{noLength, "MZ", 5000}, crowded},
         }) {
        test::RawTestServer server;
        server.stream(c.stream);
        download(server.url("/setup.exe"), "1.0.19", c.options);
        EXPECT_EQ(download_->Result(), kDownloadFailed) << c.stream.head;
        EXPECT_TRUE(nothingLeft()) << c.stream.head;
        // Loopback buffers hold a few MiB at most, nowhere near the whole body.
        EXPECT_LE(server.streamed(), std::max<std::uint64_t>(5000, c.stream.length / 8));
    }
    std::string log = logText();
    EXPECT_NE(log.find("下载中止：文件超过 536870912 字节"), std::string::npos) << log;
    EXPECT_NE(log.find("下载中止：磁盘空间不足"), std::string::npos) << log;
}

TEST_F(UpdateDownloadTest, TheUrlNeverNamesTheFileAndOnlyAnInstallerIsKept) {
    test::CannedHttpServer server;
    const std::string installer = "MZ" + std::string(5000, 'i');
    for (std::string path : {"/dl/zorvex.desktop", "/dl/setup.sh?x=1"}) {
        server.respond(path.substr(0, path.find('?')),
                       {200, installer, "application/octet-stream"});
        download(server.url(path));
        EXPECT_EQ(listener_.seen().path, target()) << path;
        EXPECT_EQ(test::readFile(target()), installer);
        EXPECT_EQ(std::filesystem::status(target()).permissions() & std::filesystem::perms(0111),
                  std::filesystem::perms::none)
            << "never marked as a program";
    }
    std::filesystem::remove(target());
    // A script or a launcher under the installer's name is no installer.
    for (std::string body : {"#!/bin/sh\nrm -rf ~\n", "[Desktop Entry]\nExec=sh\n", "M"}) {
        server.respond("/setup.exe", {200, body, "application/octet-stream"});
        download(server.url("/setup.exe"));
        EXPECT_EQ(download_->Result(), kDownloadFailed) << body;
        EXPECT_TRUE(nothingLeft()) << body;
    }
}

TEST_F(UpdateDownloadTest, OnlyAPlainInstallerIsHandedToTheDesktop) {
    std::vector<std::string> opened;
    auto open = [&](const std::string& path) {
        opened.push_back(path);
        return true;
    };
    test::TempDir::writeTo(target(), "MZ installer");
    EXPECT_TRUE(OpenInstaller(target(), open));
    EXPECT_EQ(opened, std::vector<std::string>{target()});
    EXPECT_FALSE(OpenInstaller(target(), [](const std::string&) { return false; }));

    opened.clear();
    const std::string text = target("Zorvex助手1.0.20.exe");
    test::TempDir::writeTo(text, "#!/bin/sh\n");
    const std::string executable = target("Zorvex助手1.0.21.exe");
    test::TempDir::writeTo(executable, "MZ");
    std::filesystem::permissions(executable, std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    const std::string link = target("Zorvex助手1.0.22.exe");
    std::filesystem::create_symlink(target(), link);
    for (const std::string& path : {text, executable, link, target("Zorvex助手1.0.23.sh")}) {
        EXPECT_FALSE(OpenInstaller(path, open)) << path;
    }
    EXPECT_TRUE(opened.empty());
    EXPECT_NE(logText().find("(ZorvexUIFiles\\DownLoadDlg):下载完成\n"), std::string::npos);
}

}  // namespace
}  // namespace zorvex
