#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "update/update_context.h"

namespace zorvex {

inline constexpr const char* kDownLoadDlgTag = "ZorvexUIFiles\\DownLoadDlg";

// onProgress's value when the server announced no length.
inline constexpr int kProgressUnknown = -1;

// Results, as the main window reads them after the download dialog ends and
// as the dialog is told them.
enum DownloadResult : int { kDownloadSucceeded = 0, kDownloadFailed = 1 };

struct DownloadOptions {
    std::chrono::milliseconds connectTimeout{2000};
    int connectRetries = 1;  // further tries when no connection could be made
    // A transfer that receives nothing for this long has failed.
    std::chrono::milliseconds idleTimeout{30'000};
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
    // complete installer is at path. kDownloadFailed: nothing new is there.
    virtual void onFinished(int result, const std::string& path) = 0;
};

// "Zorvex助手" + version + the extension of the URL's file name (".exe" when it
// has none); "" when the version holds a character that a portable file name
// may not hold (\ / : * ? " < > | or a control character), so the server's
// text can never lead the file into another folder.
std::string UpdateFileName(const std::string& url, const std::string& version);

// Downloads the offered installer into the context's download folder on a
// worker thread of its own. The transfer is written to a hidden temporary
// file beside the target (TemporaryNameFor), flushed, and renamed over the
// target when complete, so the target is never a torn installer. It never starts the installer: the
// dialog does that with OpenInstaller. Owner's thread: SetDownloadTarget, start, cancel, waitFor,
// destruction.
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
    // Ends a running transfer soon; it then reports kDownloadFailed. Any thread.
    void cancel();
    // True when the worker has reported within the bound.
    bool waitFor(std::chrono::milliseconds bound);

    // True once the whole file has arrived. Any thread.
    bool Finished() const { return finished_.load(); }
    // kDownloadSucceeded or kDownloadFailed; kDownloadFailed until the worker
    // has succeeded, so a dialog closed early never reads success. Any thread.
    DownloadResult Result() const { return result_.load(); }
    // Where the installer goes; set by start, "" for an unusable version.
    const std::string& targetPath() const { return targetPath_; }

    // The transfer on the calling thread (the worker's, or any while no
    // worker runs): GET url, status 200 required, the
    // body into path (its folder created when missing). True when the
    // whole body (all of "Content-Length" when announced) is in path,
    // false otherwise, leaving no partial file behind. Logs
    // "下载文件长度:%d, 下载路径 %s".
    bool DownloadFile(const std::string& url, const std::string& path);

private:
    struct Transfer;
    enum class Attempt { Done, NoConnection, Failed };
    Attempt transferOnce(const std::string& url, Transfer& state);
    void report(Transfer& state, int percent);
    static std::size_t writeBody(char* data, std::size_t size, std::size_t count, void* user);
    void run();

    UpdateDownloadListener& listener_;
    const UpdateContext context_;
    const DownloadOptions options_;
    std::string url_;
    std::string version_;
    std::string targetPath_;  // written by start before the worker exists

    std::atomic<bool> finished_{false};
    std::atomic<DownloadResult> result_{kDownloadFailed};
    std::atomic<bool> cancelled_{false};
    std::mutex doneMutex_;
    std::condition_variable doneSignal_;
    bool done_ = false;  // guarded by doneMutex_
    std::thread worker_;
};

// What the dialog does with a downloaded installer: logs "下载完成" and hands
// the file to open (the windows pass one that opens it with the desktop's
// default application). Returns what open returns.
bool OpenInstaller(const std::string& path, const std::function<bool(const std::string&)>& open);

}  // namespace zorvex
