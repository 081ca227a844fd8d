#pragma once

#include <string>

namespace zorvex {

// How a second start of the window asks the running one to come forward: a
// local socket, "ZorvexVRClient.sock", beside the single-instance lock. Only
// the same user's copy can ask: the socket is the user's alone (mode 0600,
// in $XDG_RUNTIME_DIR where there is one) and each caller's uid is checked.
// Move-only; not thread-safe.
class InstanceDoorbell {
public:
    static constexpr const char* kFileName = "ZorvexVRClient.sock";

    // For the holder of the lock only: nobody else listens there, so a socket
    // left by a crash is removed. Not listening() when the socket cannot be made.
    static InstanceDoorbell listen(const std::string& folder);
    // For a second start: asks whoever listens in folder to come forward.
    // False when nobody listens (a headless copy, or none).
    static bool ring(const std::string& folder);

    InstanceDoorbell() = default;
    ~InstanceDoorbell();  // stops listening and removes the socket
    InstanceDoorbell(InstanceDoorbell&& other) noexcept;
    InstanceDoorbell& operator=(InstanceDoorbell&& other) noexcept;
    InstanceDoorbell(const InstanceDoorbell&) = delete;
    InstanceDoorbell& operator=(const InstanceDoorbell&) = delete;

    bool listening() const { return fd_ >= 0; }
    // Readable when a caller waits; for the event loop's notifier.
    int fd() const { return fd_; }
    // Takes one waiting caller without blocking for long; true when it was
    // this user's copy asking the window to come forward.
    bool answer();

private:
    void close();

    int fd_ = -1;
    std::string path_;
};

}  // namespace zorvex
