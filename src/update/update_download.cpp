#include "update/update_download.h"

#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <utility>

#include "foundation/constants.h"
#include "foundation/log_recorder.h"
#include "platform/file_util.h"
#include "update/curl_easy.h"

namespace zorvex {

namespace {

// An extension longer than this, or with other than letters and digits, is
// no file type but part of a name or a query.
constexpr std::size_t kMaxExtensionLength = 10;

bool isPortableFileNameCharacter(unsigned char c) {
    return c >= 0x20 &&
           std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) == std::string_view::npos;
}

// ".ext" of the last path segment of url, "" when there is none.
std::string urlExtension(const std::string& url) {
    std::string_view rest(url);
    if (auto scheme = rest.find("://"); scheme != std::string_view::npos) {
        rest.remove_prefix(scheme + 3);
        auto path = rest.find('/');
        rest.remove_prefix(path == std::string_view::npos ? rest.size() : path);
    }
    rest = rest.substr(0, rest.find_first_of("?#"));
    auto slash = rest.rfind('/');
    std::string_view name = slash == std::string_view::npos ? rest : rest.substr(slash + 1);
    auto dot = name.rfind('.');
    if (dot == std::string_view::npos) return {};
    std::string_view extension = name.substr(dot + 1);
    if (extension.empty() || extension.size() > kMaxExtensionLength) return {};
    for (char c : extension) {
        if (!std::isalnum(static_cast<unsigned char>(c))) return {};
    }
    return "." + std::string(extension);
}

}  // namespace

std::string UpdateFileName(const std::string& url, const std::string& version) {
    for (char c : version) {
        if (!isPortableFileNameCharacter(static_cast<unsigned char>(c))) return {};
    }
    std::string extension = urlExtension(url);
    if (extension.empty()) extension = ".exe";
    return std::string(kProductName) + version + extension;
}

// What one transfer has seen so far; lives on the worker's stack.
struct UpdateDownload::Transfer {
    UpdateDownload* self = nullptr;
    CURL* curl = nullptr;
    std::string path;      // the target, for the log line
    std::string partPath;  // what is written; "" until the body starts
    std::FILE* file = nullptr;
    bool bodyStarted = false;
    bool refused = false;  // a status other than 200, or no file
    curl_off_t length = -1;
    curl_off_t received = 0;
    int lastPercent = kProgressUnknown - 1;  // nothing reported yet
};

namespace {

int abortWhenCancelled(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<std::atomic<bool>*>(user)->load() ? 1 : 0;
}

}  // namespace

UpdateDownload::UpdateDownload(UpdateDownloadListener& listener, UpdateContext context,
                               DownloadOptions options)
    : listener_(listener), context_(std::move(context)), options_(options) {}

UpdateDownload::~UpdateDownload() {
    cancel();
    if (worker_.joinable()) worker_.join();
}

void UpdateDownload::SetDownloadTarget(const std::string& url, const std::string& version) {
    url_ = url;
    version_ = version;
}

bool UpdateDownload::start() {
    if (worker_.joinable()) return false;
    std::string name = UpdateFileName(url_, version_);
    // Before start-up has set the folder there is nowhere safe to write.
    std::string folder = context_.downloadFolder ? context_.downloadFolder() : std::string();
    targetPath_ = name.empty() || folder.empty() ? std::string() : folder + name;
    worker_ = std::thread([this] { run(); });
    return true;
}

void UpdateDownload::cancel() {
    cancelled_ = true;
}

bool UpdateDownload::waitFor(std::chrono::milliseconds bound) {
    std::unique_lock lock(doneMutex_);
    return doneSignal_.wait_for(lock, bound, [this] { return done_; });
}

void UpdateDownload::run() {
    DownloadResult result = DownloadFile(url_, targetPath_) ? kDownloadSucceeded : kDownloadFailed;
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
    if (path.empty() || !IsHttpUrl(url)) return false;
    // Nothing else makes the download folder.
    makeDirectories(parentFolder(path));

    Attempt attempt = Attempt::Failed;
    Transfer state;
    for (int tries = 0; tries <= options_.connectRetries && !cancelled_; ++tries) {
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
                    (state.length < 0 || state.received >= state.length);
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
    CurlEasy session;
    CURL* curl = session.get();
    if (!curl) return Attempt::Failed;
    state.self = this;
    state.curl = curl;

    SetCommonOptions(curl, options_.connectTimeout, options_.idleTimeout);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &writeBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &state);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &abortWhenCancelled);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &cancelled_);

    CURLcode result = curl_easy_perform(curl);
    if (result == CURLE_OK) {
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        return status == 200 && !state.refused ? Attempt::Done : Attempt::Failed;
    }
    curl_off_t connectTime = 0;
    curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connectTime);
    bool noConnection =
        result == CURLE_COULDNT_CONNECT || (result == CURLE_OPERATION_TIMEDOUT && connectTime == 0);
    return noConnection && !cancelled_ ? Attempt::NoConnection : Attempt::Failed;
}

void UpdateDownload::report(Transfer& state, int percent) {
    if (percent == state.lastPercent) return;
    state.lastPercent = percent;
    listener_.onProgress(percent);
}

std::size_t UpdateDownload::writeBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& state = *static_cast<Transfer*>(user);
    std::size_t length = size * count;
    if (!state.bodyStarted) {
        // The headers are in: only now is it known what the body is.
        state.bodyStarted = true;
        long status = 0;
        curl_easy_getinfo(state.curl, CURLINFO_RESPONSE_CODE, &status);
        if (status != 200) {
            state.refused = true;
            return 0;
        }
        // A hidden name of its own beside the target, as every file written whole.
        int fd = createTemporaryFile(state.path, &state.partPath);
        state.file = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
        if (!state.file) {
            if (fd >= 0) ::close(fd);
            state.refused = true;
            return 0;
        }
        curl_off_t announced = -1;
        curl_easy_getinfo(state.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
        state.length = announced;
        PostLog("下载文件长度:" + std::to_string(announced > 0 ? announced : 0) + ", 下载路径 " +
                    state.path,
                kDownLoadDlgTag);
        state.self->report(state, announced > 0 ? 0 : kProgressUnknown);
    }
    if (std::fwrite(data, 1, length, state.file) != length) return 0;
    state.received += static_cast<curl_off_t>(length);
    if (state.length > 0) {
        curl_off_t percent = std::min<curl_off_t>(100, state.received * 100 / state.length);
        state.self->report(state, static_cast<int>(percent));
    }
    return length;
}

bool OpenInstaller(const std::string& path, const std::function<bool(const std::string&)>& open) {
    PostLog("下载完成", kDownLoadDlgTag);
    return open && open(path);
}

}  // namespace zorvex
