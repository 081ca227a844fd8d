#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace zorvex {

// One running copy per home folder: an exclusive flock on
// "ZorvexVRClient.lock" inside the home folder, so copies on two homes both
// run and the same home reached by two spellings (a symbolic link) is still
// one. The lock belongs to the open file, so it ends when the holder closes
// it or dies, and no stale lock survives a crash.
//
// The holder also writes into the file what a second start needs: its
// process id, whether it has a window, and where its doorbell listens (see
// InstanceDoorbell). The record is emptied when the lock is taken and when it
// is released, so a second start never reads an earlier run's.
// Move-only; not thread-safe.
class SingleInstanceLock {
public:
    enum class Result {
        Acquired,        // this process is the one instance
        AlreadyRunning,  // another process holds the lock
        Unavailable,     // the lock file could not be opened; run unguarded
    };

    static constexpr const char* kFileName = "ZorvexVRClient.lock";

    // What the holder tells a second start.
    struct Holder {
        long pid = 0;
        bool windowed = false;
        std::string doorbell;  // the doorbell's socket path; "" when none listens
        bool operator==(const Holder&) const = default;
    };
    // The record as the file holds it: "pid N\n" then "headless\n", "window\n"
    // or "window PATH\n". A path holding a line break cannot be written.
    static std::optional<std::string> formatHolder(const Holder& holder);
    // nullopt for a record not (yet) complete or not one of ours.
    static std::optional<Holder> parseHolder(std::string_view text);

    // Opens homeDir/kFileName (creating it) and tries the lock without waiting.
    static SingleInstanceLock acquire(const std::string& homeDir);

    // As acquire, but while the lock's record names no live process it tries
    // again for up to wait: a copy killed a moment ago can leave a child
    // between vfork and exec holding the lock, and a restart right after a
    // crash must not be refused in the dead copy's name.
    static SingleInstanceLock acquireOutlastingTheGone(const std::string& homeDir,
                                                       std::chrono::milliseconds wait);

    // For a second start: the holder's record, waiting up to wait for it
    // (the holder writes it a moment after taking the lock). nullopt when
    // none came.
    static std::optional<Holder> readHolder(const std::string& homeDir,
                                            std::chrono::milliseconds wait);

    SingleInstanceLock() = default;
    ~SingleInstanceLock();
    SingleInstanceLock(SingleInstanceLock&& other) noexcept;
    SingleInstanceLock& operator=(SingleInstanceLock&& other) noexcept;
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    Result result() const { return result_; }
    bool held() const { return fd_ >= 0; }
    // For the holder: replaces the record. False when not held or not written.
    bool publish(const Holder& holder);
    // Empties the record and lets another instance start; the file itself
    // stays (unlinking it would race).
    void release();

private:
    int fd_ = -1;
    Result result_ = Result::Unavailable;
};

}  // namespace zorvex
