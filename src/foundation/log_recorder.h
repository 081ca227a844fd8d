#pragma once

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace zorvex {

// Daily diagnostic files home/PTTLog/YYYY-MM-DD.log (local date), one line per
// message: "%Y-%m-%d %H:%M:%S" + "|:" + message. Each line opens, appends to
// and closes the file, so it is on disk as soon as it is written.

inline constexpr const char* kLogRecorderTag = "ZorvexDataManager\\LogRecorder";
// Start-up removes logs created longer ago than this (30 days).
inline constexpr std::time_t kLogKeepSeconds = 2'592'000;

// "(" + tag + "):" + text
std::string LogMessage(std::string_view text, std::string_view tag);

// Appends one line stamped with the given time to the daily file of that time's
// local date, creating the folder when missing. False when nothing was written.
bool AppendLogLine(const std::string& folder, std::string_view message,
                   std::chrono::system_clock::time_point when);

// Deletes the *.log files in folder whose creation time (the modification
// time where the file system keeps no creation time) is earlier than
// threshold, in seconds since 1970. False when the folder does not exist.
bool RemoveOldLogFiles(const std::string& folder, std::time_t threshold);

// The writer thread "NetLogMgrThread": any thread posts finished messages,
// the thread appends them in order. All members are thread-safe.
class LogRecorder {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    // folder: the PTTLog folder. clock: the time of each write; the system
    // clock when empty. The clock is called on the writing thread.
    explicit LogRecorder(std::string folder, Clock clock = {});
    ~LogRecorder();  // stop()
    LogRecorder(const LogRecorder&) = delete;
    LogRecorder& operator=(const LogRecorder&) = delete;

    // Starts the thread and writes the start line ("success" or "fail");
    // false when it runs already or cannot be created.
    bool start();
    // Stops taking messages, lets the thread write every message still
    // queued and then its exit line, and joins it. Idempotent.
    void stop();
    // Queues a complete message; false (and the message dropped) when the
    // thread does not run or is stopping.
    bool post(std::string message);
    // Appends on the calling thread.
    bool writeNow(std::string_view message) const;
    // True between start() and the beginning of stop().
    bool running() const;

    const std::string& folder() const { return folder_; }

private:
    void run();

    // Constant after construction.
    const std::string folder_;
    const Clock clock_;

    std::mutex lifecycle_;      // serialises start() and stop()
    mutable std::mutex mutex_;  // guards the members below
    std::condition_variable wake_;
    std::deque<std::string> queue_;
    bool accepting_ = false;
    bool stopping_ = false;
    std::thread thread_;  // started and joined under lifecycle_
};

// The process-wide recorder over GetModuleDir() + "/PTTLog", as every module
// logs through PostLog. Start-up runs RemoveOldLogs and then StartLogThread;
// shutdown runs StopLogThread before it stops the LAN service.
bool StartLogThread();
void StopLogThread();
// Posts "(" + tag + "):" + text to the log thread; any thread. False (the line
// dropped) when the thread does not run.
bool PostLog(std::string_view text, std::string_view tag);
// Appends text on the calling thread, with or without the log thread; false
// before the home folder is set.
bool WriteLogNow(std::string_view text);
// RemoveOldLogFiles over GetModuleDir() + "/PTTLog/"; start-up passes
// time(nullptr) - kLogKeepSeconds.
bool RemoveOldLogs(std::time_t threshold);

}  // namespace zorvex
