#include "update/update_download.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>

#include "foundation/constants.h"
#include "foundation/log_recorder.h"
#include "platform/file_util.h"
#include "update/curl_easy.h"

namespace zorvex {

namespace {

constexpr std::size_t kMaxVersionLength = 32;
// How often a transfer asks the disk how much room is left.
constexpr curl_off_t kSpaceCheckBytes = curl_off_t{4} << 20;

// ASCII only, whatever the locale says of other bytes.
bool isAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isVersionCharacter(char c) {
    return isAsciiAlnum(c) || std::string_view("._-+").find(c) != std::string_view::npos;
}

}  // namespace

std::string UpdateFileName(const std::string& version) {
    if (version.empty() || version.size() > kMaxVersionLength) return {};
    if (!isAsciiAlnum(version.front())) return {};
    if (version.find("..") != std::string::npos) return {};
    if (!std::all_of(version.begin(), version.end(), isVersionCharacter)) return {};
    return std::string(kProductName) + version + ".exe";
}

bool LooksLikeInstaller(std::string_view head) {
    return head.substr(0, 2) == "MZ";
}

// What one transfer has seen so far; lives on the worker's stack.
struct UpdateDownload::Transfer {
    UpdateDownload* self = nullptr;
    std::string path;      // the target, for the log line
    std::string partPath;  // what is written; "" until the body starts
    std::FILE* file = nullptr;
    bool bodyStarted = false;
    bool refused = false;  // a status other than 200, no file, or out of bounds
    curl_off_t length = -1;
    curl_off_t received = 0;
    curl_off_t nextSpaceCheck = 0;           // at this many bytes received
    std::string head;                        // the body's first two bytes
    int lastPercent = kProgressUnknown - 1;  // nothing reported yet
};

UpdateDownload::UpdateDownload(UpdateDownloadListener& listener, UpdateContext context,
                               DownloadOptions options)
    : listener_(listener),
      context_(std::move(context)),
      options_(options),
      session_(std::make_unique<CurlEasy>()) {}

UpdateDownload::~UpdateDownload() {
    cancel();
}

void UpdateDownload::SetDownloadTarget(const std::string& url, const std::string& version) {
    url_ = url;
    version_ = version;
}

bool UpdateDownload::start() {
    if (worker_.joinable()) return false;
    std::string name = UpdateFileName(version_);
    // Before start-up has set the folder there is nowhere safe to write.
    std::string folder = context_.downloadFolder ? context_.downloadFolder() : std::string();
    targetPath_ = name.empty() || folder.empty() ? std::string() : folder + name;
    worker_ = std::jthread([this] { run(); });
    return true;
}

void UpdateDownload::cancel() {
    session_->cancel();
}

bool UpdateDownload::waitFor(std::chrono::milliseconds bound) {
    std::unique_lock lock(doneMutex_);
    return doneSignal_.wait_for(lock, bound, [this] { return done_; });
}

void UpdateDownload::run() {
    DownloadResult result = kDownloadSucceeded;
    if (!DownloadFile(url_, targetPath_))
        result = session_->cancelled() ? kDownloadCancelled : kDownloadFailed;
    // Written before the report, so whoever is told reads the final value.
    result_ = result;
    listener_.onFinished(result, targetPath_);
    {
        std::lock_guard lock(doneMutex_);
        done_ = true;
    }
    doneSignal_.notify_all();
}

bool UpdateDownload::DownloadFile(const std::string& url, const std::string& path) {
    if (path.empty()) return false;
    // libcurl is opened for the download alone.
    const bool done = session_->get() && IsHttpUrl(url) && download(url, path);
    session_->release();
    return done;
}

bool UpdateDownload::download(const std::string& url, const std::string& path) {
    // Nothing else makes the download folder.
    makeDirectories(parentFolder(path));

    Attempt attempt = Attempt::Failed;
    Transfer state;
    for (int tries = 0; tries <= options_.connectRetries && !session_->cancelled(); ++tries) {
        state = Transfer{};
        state.path = path;
        attempt = transferOnce(url, state);
        if (attempt != Attempt::NoConnection) break;
    }
    if (state.file) {
        // On disk before the rename, so a power cut cannot leave a torn
        // installer under the final name.
        bool flushed = std::fflush(state.file) == 0 && ::fsync(::fileno(state.file)) == 0;
        if (std::fclose(state.file) != 0 || !flushed) attempt = Attempt::Failed;
        state.file = nullptr;
    }

    // An empty body is no installer, whatever the server says.
    bool complete = attempt == Attempt::Done && state.bodyStarted && state.received > 0 &&
                    (state.length < 0 || state.received >= state.length) &&
                    LooksLikeInstaller(state.head);
    if (attempt == Attempt::Done && state.bodyStarted && !state.refused &&
        !LooksLikeInstaller(state.head)) {
        PostLog("下载文件不是安装程序: " + state.path, kUpdateDownloadTag);
    }
    std::error_code error;
    if (complete) std::filesystem::rename(state.partPath, path, error);
    if (!complete || error) {
        if (!state.partPath.empty()) std::filesystem::remove(state.partPath, error);
        return false;
    }
    finished_ = true;
    if (state.lastPercent != 100) listener_.onProgress(100);
    return true;
}

UpdateDownload::Attempt UpdateDownload::transferOnce(const std::string& url, Transfer& state) {
    if (!session_->get()) return Attempt::Failed;
    session_->reset();
    state.self = this;

    session_->setCommonOptions(options_.connectTimeout, options_.idleTimeout);
    session_->set(CURLOPT_LOW_SPEED_LIMIT, std::max(1L, options_.minimumSpeed));
    session_->set(CURLOPT_URL, url.c_str());
    session_->set(CURLOPT_HTTPGET, 1L);
    session_->set(CURLOPT_WRITEFUNCTION, &writeBody);
    session_->set(CURLOPT_WRITEDATA, &state);

    CurlEasy::Outcome outcome = session_->performAndReset();
    auto result = static_cast<CURLcode>(outcome.result);
    if (result == CURLE_OK)
        return outcome.status == 200 && !state.refused ? Attempt::Done : Attempt::Failed;
    bool noConnection = result == CURLE_COULDNT_CONNECT ||
                        (result == CURLE_OPERATION_TIMEDOUT && outcome.connectTime == 0);
    return noConnection && !session_->cancelled() ? Attempt::NoConnection : Attempt::Failed;
}

void UpdateDownload::report(Transfer& state, int percent) {
    if (percent == state.lastPercent) return;
    state.lastPercent = percent;
    listener_.onProgress(percent);
}

bool UpdateDownload::roomFor(Transfer& state, std::int64_t more) const {
    std::optional<std::uint64_t> free = availableDiskSpace(parentFolder(state.path));
    // A file system that cannot say is left to the writes' own errors.
    if (!free) return true;
    auto wanted = static_cast<std::uint64_t>(std::max<std::int64_t>(0, more)) +
                  static_cast<std::uint64_t>(std::max<std::int64_t>(0, options_.keepFree));
    if (*free >= wanted) return true;
    PostLog(
        "下载中止：磁盘空间不足，剩余 " + std::to_string(*free) + " 字节, 下载路径 " + state.path,
        kUpdateDownloadTag);
    return false;
}

bool UpdateDownload::beginBody(Transfer& state) {
    long status = 0;
    session_->info(CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) return false;
    curl_off_t announced = -1;
    session_->info(CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    PostLog("下载文件长度:" + std::to_string(announced > 0 ? announced : 0) + ", 下载路径 " +
                state.path,
            kDownLoadDlgTag);
    // Both bounds are known before a byte is written.
    if (announced > options_.maxBytes) {
        PostLog("下载中止：文件超过 " + std::to_string(options_.maxBytes) + " 字节",
                kUpdateDownloadTag);
        return false;
    }
    if (!roomFor(state, announced)) return false;
    // A hidden name of its own beside the target, as every file written whole.
    int fd = createTemporaryFile(state.path, &state.partPath);
    state.file = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (!state.file) {
        if (fd >= 0) ::close(fd);
        return false;
    }
    state.length = announced;
    state.nextSpaceCheck = kSpaceCheckBytes;
    report(state, announced > 0 ? 0 : kProgressUnknown);
    return true;
}

std::size_t UpdateDownload::writeBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& state = *static_cast<Transfer*>(user);
    UpdateDownload& self = *state.self;
    std::size_t length = size * count;
    if (!state.bodyStarted) {
        // The headers are in: only now is it known what the body is.
        state.bodyStarted = true;
        if (!self.beginBody(state)) {
            state.refused = true;
            return 0;
        }
    }
    if (state.refused) return 0;
    auto more = static_cast<curl_off_t>(length);
    if (state.received + more > self.options_.maxBytes) {
        PostLog("下载中止：文件超过 " + std::to_string(self.options_.maxBytes) + " 字节",
                kUpdateDownloadTag);
        state.refused = true;
        return 0;
    }
    if (state.head.size() < 2) {
        state.head.append(data, std::min<std::size_t>(length, 2 - state.head.size()));
        // Whatever else it is, it is no installer: stop before the rest comes.
        if (state.head.size() == 2 && !LooksLikeInstaller(state.head)) {
            PostLog("下载文件不是安装程序: " + state.path, kUpdateDownloadTag);
            state.refused = true;
            return 0;
        }
    }
    if (state.received + more >= state.nextSpaceCheck) {
        state.nextSpaceCheck += kSpaceCheckBytes;
        if (!self.roomFor(state, more)) {
            state.refused = true;
            return 0;
        }
    }
    if (std::fwrite(data, 1, length, state.file) != length) return 0;
    state.received += more;
    if (state.length > 0) {
        curl_off_t percent = std::min<curl_off_t>(100, state.received * 100 / state.length);
        self.report(state, static_cast<int>(percent));
    }
    return length;
}

bool OpenInstaller(const std::string& path, const std::function<bool(const std::string&)>& open) {
    PostLog("下载完成", kDownLoadDlgTag);
    // The last look before the desktop gets it: its handler goes by the name
    // and the content, and must see nothing it would run as a program of its own.
    struct stat info {};
    bool safe = std::string_view(path).ends_with(".exe") && ::lstat(path.c_str(), &info) == 0 &&
                S_ISREG(info.st_mode) && (info.st_mode & 0111) == 0 &&
                LooksLikeInstaller(readFileHead(path, 2).value_or(std::string()));
    if (!safe) {
        PostLog("安装程序未打开: " + path, kUpdateDownloadTag);
        return false;
    }
    return open && open(path);
}

}  // namespace zorvex
