#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "update/update_context.h"

namespace zorvex {

class CurlEasy;

// The download dialog's tag, which the download's length and completion
// lines carry as they always did; the download's other lines carry its own.
inline constexpr const char* kDownLoadDlgTag = "ZorvexUIFiles\\DownLoadDlg";
inline constexpr const char* kUpdateDownloadTag = "ZorvexAssist\\Http\\UpdateDownload";

// onProgress's value when the server announced no length.
inline constexpr int kProgressUnknown = -1;

// Results, as the main window reads them after the download dialog ends and
// as the dialog is told them.
enum DownloadResult : int {
    kDownloadSucceeded = 0,
    kDownloadFailed = 1,
    kDownloadCancelled = 2,  // the user ended it; nothing is left behind
};

struct DownloadOptions {
    std::chrono::milliseconds connectTimeout{2000};
    int connectRetries = 1;  // further tries when no connection could be made
    // A transfer slower than minimumSpeed bytes a second over this long,
    // silence included, has failed: a server that trickles must not hold
    // the dialog. libcurl measures it in whole seconds (at least one).
    std::chrono::milliseconds idleTimeout{30'000};
    long minimumSpeed = 1024;
    // The largest installer taken, whether "Content-Length" announces it or not.
    std::int64_t maxBytes = std::int64_t{512} << 20;
    // What the download leaves free on the download folder's disk: an
    // announced length that would eat into it is refused before anything is
    // written, and a transfer stops when the disk comes down to it.
    std::int64_t keepFree = std::int64_t{64} << 20;
};

// Told by the download's worker thread; implementations hand the news on to
// the window's thread.
class UpdateDownloadListener {
public:
    virtual ~UpdateDownloadListener() = default;
    // Whole percent 0..100 each time it changes, starting with 0; once
    // kProgressUnknown instead when there is no "Content-Length" (then 100
    // when the transfer has ended well).
    virtual void onProgress(int percent) = 0;
    // Exactly once per started download, last. kDownloadSucceeded: the
    // complete installer is at path. kDownloadFailed or kDownloadCancelled:
    // nothing new is there.
    virtual void onFinished(int result, const std::string& path) = 0;
};

// "Zorvex助手" + version + ".exe", whatever the URL's file is called: a
// Windows installer, which a Linux desktop runs only through a Windows
// loader, never as a program or launcher of its own. "" when the version,
// which the server chose, is no plain version text: 1 to 32 letters,
// digits and ". _ - +", starting with a letter or digit, without "..".
std::string UpdateFileName(const std::string& version);

// True for the first bytes of a Windows executable ("MZ"), as every installer
// starts; anything else could be a script or a launcher in disguise.
bool LooksLikeInstaller(std::string_view head);

// Downloads the offered installer into the context's download folder on a
// worker thread of its own. The transfer is written to a hidden temporary
// file beside the target (TemporaryNameFor), flushed, and renamed over the
// target when complete, so the target is never a torn installer; a failure
// or a cancel removes it. The file is never made executable and never
// started here: its owner opens it with OpenInstaller. Owner's thread:
// SetDownloadTarget, start, waitFor, destruction; cancel from any.
class UpdateDownload {
public:
    // The listener is not owned and must outlive the download.
    UpdateDownload(UpdateDownloadListener& listener, UpdateContext context,
                   DownloadOptions options = {});
    ~UpdateDownload();  // cancels and joins
    UpdateDownload(const UpdateDownload&) = delete;
    UpdateDownload& operator=(const UpdateDownload&) = delete;

    // Before start.
    void SetDownloadTarget(const std::string& url, const std::string& version);
    // Starts the worker; false when it was started before.
    bool start();
    // Ends a running transfer at once; it then reports kDownloadCancelled
    // (kDownloadSucceeded if it had already completed). Any thread.
    void cancel();
    // True when the worker has reported within the bound.
    bool waitFor(std::chrono::milliseconds bound);

    // True once the whole file has arrived. Any thread.
    bool Finished() const { return finished_.load(); }
    // The worker's result; kDownloadFailed until it has reported, so a
    // dialog closed early never reads success. Any thread.
    DownloadResult Result() const { return result_.load(); }
    // Where the installer goes; set by start, "" for an unusable version.
    const std::string& targetPath() const { return targetPath_; }

    // The transfer on the calling thread (the worker's, or any while no
    // worker runs): GET url, status 200 required, the body into path (its
    // folder created when missing) within the bounds of the options. True
    // when the whole body (all of "Content-Length" when announced) is in
    // path and starts as an installer does, false otherwise, leaving no
    // partial file behind. Logs "下载文件长度:%d, 下载路径 %s", and why a
    // transfer was refused.
    bool DownloadFile(const std::string& url, const std::string& path);

private:
    struct Transfer;
    enum class Attempt { Done, NoConnection, Failed };
    // DownloadFile's transfers once libcurl is open and the URL is one we speak.
    bool download(const std::string& url, const std::string& path);
    Attempt transferOnce(const std::string& url, Transfer& state);
    void report(Transfer& state, int percent);
    // False, with the reason logged, when the disk would keep less than
    // keepFree after more bytes.
    bool roomFor(Transfer& state, std::int64_t more) const;
    // At the body's first bytes: status, bounds and the temporary file.
    bool beginBody(Transfer& state);
    static std::size_t writeBody(char* data, std::size_t size, std::size_t count, void* user);
    void run();

    UpdateDownloadListener& listener_;
    const UpdateContext context_;
    const DownloadOptions options_;
    std::string url_;
    std::string version_;
    std::string targetPath_;  // written by start before the worker exists

    const std::unique_ptr<CurlEasy> session_;  // its cancel is the download's
    std::atomic<bool> finished_{false};
    std::atomic<DownloadResult> result_{kDownloadFailed};
    std::mutex doneMutex_;
    std::condition_variable doneSignal_;
    bool done_ = false;    // guarded by doneMutex_
    std::jthread worker_;  // last, so that it is joined before what it uses goes
};

// What the owner does with a downloaded installer: logs "下载完成" and hands
// the file to open (the windows pass one that opens it with the desktop's
// default application), but only a regular, non-executable file named
// ".exe" that starts as an installer does. True when open took it; false
// when it was refused or no program would take it, and then the installer
// is still at path for the user to run.
bool OpenInstaller(const std::string& path, const std::function<bool(const std::string&)>& open);

}  // namespace zorvex
