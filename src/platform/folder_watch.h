#pragma once

#include <set>
#include <string>

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
    // is tried again on the next call for it.
    void watch(const std::string& folder);
    // True if a watched folder saw a file created, deleted or moved, or was
    // itself moved or deleted, since the last call.
    bool changed();

private:
    int fd_ = -1;
    std::set<std::string> watched_;
};

}  // namespace zorvex
