#pragma once

#include <functional>
#include <set>
#include <string>
#include <thread>

namespace zorvex {

// Tells whether files came or went in a set of folders since the last look
// (inotify). Without the facility it always answers yes, so callers fall
// back to looking every time. One thread uses an instance at a time.
class FolderWatch {
public:
    FolderWatch();
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // Adds a folder; a folder that cannot be watched yet (it does not exist)
    // is tried again on the next call for it. True once it is watched.
    bool watch(const std::string& folder);
    // True if a watched folder saw a file created, deleted or moved, or was
    // itself moved or deleted, since the last call.
    bool changed();
    // Readable while changed() has news; -1 without the facility.
    int descriptor() const { return fd_; }

private:
    int fd_ = -1;
    std::set<std::string> watched_;
};

// One folder's FolderWatch waited on by a thread of its own, which calls back
// soon after each change: those who keep what the folder holds are told, and
// need no call of their own to ask. Not live without the facility (or the
// folder): nothing is then ever called back, and callers look for themselves.
class FolderAlarm {
public:
    FolderAlarm(const std::string& folder, std::function<void()> onChange);
    ~FolderAlarm();  // returns once the callback no longer runs
    FolderAlarm(const FolderAlarm&) = delete;
    FolderAlarm& operator=(const FolderAlarm&) = delete;

    bool live() const { return thread_.joinable(); }

private:
    void run();

    FolderWatch watch_;  // the thread's alone once it runs
    const std::function<void()> onChange_;
    const int stopFd_;
    std::thread thread_;  // started by the constructor, joined by the destructor
};

}  // namespace zorvex
