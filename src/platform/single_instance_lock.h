#pragma once

#include <string>

namespace zorvex {

// One running copy per user: an exclusive flock on "ZorvexVRClient.lock".
// The lock belongs to the open file, so it ends when the holder closes it or
// dies, and no stale lock survives a crash. Move-only; not thread-safe.
class SingleInstanceLock {
public:
    enum class Result {
        Acquired,        // this process is the one instance
        AlreadyRunning,  // another process holds the lock
        Unavailable,     // the lock file could not be opened; run unguarded
    };

    static constexpr const char* kFileName = "ZorvexVRClient.lock";

    // $XDG_RUNTIME_DIR when it names a folder, else homeDir.
    static std::string defaultFolder(const std::string& homeDir);

    // Opens folder/kFileName (creating it) and tries the lock without waiting.
    static SingleInstanceLock acquire(const std::string& folder);

    SingleInstanceLock() = default;
    ~SingleInstanceLock();
    SingleInstanceLock(SingleInstanceLock&& other) noexcept;
    SingleInstanceLock& operator=(SingleInstanceLock&& other) noexcept;
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    Result result() const { return result_; }
    bool held() const { return fd_ >= 0; }
    // Lets another instance start; the file itself stays (unlinking it would race).
    void release();

private:
    int fd_ = -1;
    Result result_ = Result::Unavailable;
};

}  // namespace zorvex
