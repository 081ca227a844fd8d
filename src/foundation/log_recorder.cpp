#include "foundation/log_recorder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <system_error>
#include <utility>

#include "foundation/home_folder.h"
#include "platform/file_util.h"

namespace zorvex {

namespace {

std::string formatLocal(std::time_t time, const char* format) {
    std::tm local{};
    ::localtime_r(&time, &local);
    char text[64];
    std::size_t length = std::strftime(text, sizeof text, format, &local);
    return std::string(text, length);
}

bool appendToFile(const std::string& path, std::string_view line) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = true;
    while (!line.empty()) {
        ssize_t n = ::write(fd, line.data(), line.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        line.remove_prefix(static_cast<std::size_t>(n));
    }
    return ::close(fd) == 0 && ok;
}

// The creation time where the file system records one, else the modification time.
bool fileBirthTime(int dirFd, const char* name, std::time_t* time) {
    struct statx info {};
    if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_BTIME | STATX_MTIME, &info) !=
        0) {
        return false;
    }
    if (!S_ISREG(info.stx_mode)) return false;
    *time = (info.stx_mask & STATX_BTIME) ? info.stx_btime.tv_sec : info.stx_mtime.tv_sec;
    return true;
}

std::mutex g_recorderMutex;  // guards g_recorder
std::shared_ptr<LogRecorder> g_recorder;

std::string logFolder() {
    return GetHomeLayout().logFolder();
}

}  // namespace

std::string LogMessage(std::string_view text, std::string_view tag) {
    std::string message;
    message.reserve(text.size() + tag.size() + 3);
    message += '(';
    message += tag;
    message += "):";
    message += text;
    return message;
}

bool AppendLogLine(const std::string& folder, std::string_view message,
                   std::chrono::system_clock::time_point when) {
    if (!isDirectory(folder) && !makeDirectories(folder)) return false;
    std::time_t time = std::chrono::system_clock::to_time_t(when);
    std::string line = formatLocal(time, "%Y-%m-%d %H:%M:%S");
    line += "|:";
    line += message;
    line += '\n';
    return appendToFile(folder + "/" + formatLocal(time, "%Y-%m-%d") + ".log", line);
}

bool RemoveOldLogFiles(const std::string& folder, std::time_t threshold) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return false;
    int dirFd = ::dirfd(dir);
    // readdir races only on a shared stream; this one is ours alone.
    while (dirent* entry = ::readdir(dir)) {  // NOLINT(concurrency-mt-unsafe)
        std::string_view name = entry->d_name;
        if (!name.ends_with(".log")) continue;
        std::time_t created = 0;
        if (fileBirthTime(dirFd, entry->d_name, &created) && created < threshold) {
            ::unlinkat(dirFd, entry->d_name, 0);  // failures are ignored
        }
    }
    ::closedir(dir);
    return true;
}

LogRecorder::LogRecorder(std::string folder, Clock clock)
    : folder_(std::move(folder)),
      clock_(clock ? std::move(clock) : Clock([] { return std::chrono::system_clock::now(); })) {}

LogRecorder::~LogRecorder() {
    stop();
}

bool LogRecorder::start() {
    std::lock_guard lifecycle(lifecycle_);
    if (thread_.joinable()) return false;
    {
        std::lock_guard lock(mutex_);
        accepting_ = true;
        stopping_ = false;
    }
    bool started = true;
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        std::lock_guard lock(mutex_);
        accepting_ = false;
        started = false;
    }
    writeNow(LogMessage(started ? "初始化线程：NetLogMgrThread .（success）"
                                : "初始化线程：NetLogMgrThread .（fail）",
                        kLogRecorderTag));
    return started;
}

void LogRecorder::stop() {
    std::lock_guard lifecycle(lifecycle_);
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        accepting_ = false;
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

bool LogRecorder::post(std::string message) {
    {
        std::lock_guard lock(mutex_);
        if (!accepting_) return false;
        queue_.push_back(std::move(message));
    }
    wake_.notify_one();
    return true;
}

bool LogRecorder::writeNow(std::string_view message) const {
    return AppendLogLine(folder_, message, clock_());
}

bool LogRecorder::running() const {
    std::lock_guard lock(mutex_);
    return accepting_;
}

void LogRecorder::run() {
    for (;;) {
        std::deque<std::string> batch;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            // Lines queued before the stop are still written, then the exit line.
            if (queue_.empty()) break;
            batch.swap(queue_);
        }
        for (const auto& message : batch) writeNow(message);
    }
    writeNow(LogMessage("NetLogMgrThread exit！dwThreadRtnCode:0", kLogRecorderTag));
}

bool StartLogThread() {
    std::lock_guard lock(g_recorderMutex);
    if (g_recorder) return false;
    auto recorder = std::make_shared<LogRecorder>(logFolder());
    if (!recorder->start()) return false;
    g_recorder = std::move(recorder);
    return true;
}

void StopLogThread() {
    std::shared_ptr<LogRecorder> recorder;
    {
        std::lock_guard lock(g_recorderMutex);
        recorder = std::move(g_recorder);
    }
    if (recorder) recorder->stop();
}

bool PostLog(std::string_view text, std::string_view tag) {
    std::shared_ptr<LogRecorder> recorder;
    {
        std::lock_guard lock(g_recorderMutex);
        recorder = g_recorder;
    }
    return recorder && recorder->post(LogMessage(text, tag));
}

bool WriteLogNow(std::string_view text) {
    // Before start-up has set the home folder there is no log folder, and
    // "/PTTLog" is no place to make one.
    if (GetModuleDir().empty()) return false;
    return AppendLogLine(logFolder(), text, std::chrono::system_clock::now());
}

bool RemoveOldLogs(std::time_t threshold) {
    return RemoveOldLogFiles(logFolder() + "/", threshold);
}

}  // namespace zorvex
