#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace zorvex {

// Tells when the machine's interfaces or their IPv4 addresses change
// (rtnetlink on Linux: links, addresses and routes). The callback runs on the
// watch's own thread, once a burst of changes has settled, and also every
// `heartbeat` without news: a missed message (a full socket buffer) or a
// change the system does not announce is then found at the next beat.
class NetworkWatch {
public:
    using Callback = std::function<void()>;

    NetworkWatch(Callback onChange, std::chrono::milliseconds heartbeat);
    ~NetworkWatch();  // returns once the callback no longer runs
    NetworkWatch(const NetworkWatch&) = delete;
    NetworkWatch& operator=(const NetworkWatch&) = delete;

    // False when the system's news could not be subscribed to: the
    // heartbeat alone then finds changes.
    bool live() const { return netlinkFd_ >= 0; }
    // Runs the callback on the watch's thread at once, as if news had come
    // and settled. Any thread.
    void poke();

private:
    void run();

    // constant after construction
    const Callback onChange_;
    const std::chrono::milliseconds heartbeat_;
    const int netlinkFd_;
    const int stopFd_;
    const int pokeFd_;
    std::thread thread_;
};

}  // namespace zorvex
