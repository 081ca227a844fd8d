#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

struct MHD_Daemon;

namespace zorvex {

// The threads that answer HTTP for every daemon given to them, however many
// networks are served: at most the count asked for, and no more than there
// are daemons. Each daemon keeps its own listener, limits and timeouts and
// runs in the library's external epoll mode, always on the same thread (the
// one with the fewest daemons when it came), when its epoll descriptor is
// ready or its timeout is due.
//
// Threads: add and remove may be called from any thread (they serialise
// themselves), never from one of these.
class HttpWorkers {
public:
    explicit HttpWorkers(unsigned threads);
    ~HttpWorkers();  // every daemon is removed first
    HttpWorkers(const HttpWorkers&) = delete;
    HttpWorkers& operator=(const HttpWorkers&) = delete;

    // Runs the daemon, started with MHD_USE_EPOLL, no thread of its own and
    // MHD_OPTION_SIGPIPE_HANDLED_BY_APP (these threads block SIGPIPE), until
    // removed; false when it cannot be watched.
    bool add(MHD_Daemon* daemon);
    // Returns once no thread runs the daemon, nor will again: it may be
    // stopped then.
    void remove(MHD_Daemon* daemon);

private:
    using Clock = std::chrono::steady_clock;
    // One thread and the daemons it runs.
    struct Loop {
        Loop();
        ~Loop();          // ends the thread
        const int epoll;  // the daemons' epoll descriptors, and wake
        const int wake;   // eventfd, readable once the thread is to end
        std::size_t daemons = 0;
        std::jthread thread;
    };
    struct Entry {
        MHD_Daemon* daemon = nullptr;
        int fd = -1;  // the daemon's epoll descriptor
        Loop* loop = nullptr;
        bool busy = false;     // its thread runs it now
        bool removed = false;  // not to be run again
        Clock::time_point due = Clock::time_point::max();
    };

    void run(Loop& loop);
    // Runs the daemon unless it is being removed.
    void serve(std::uint64_t id);
    // Runs the loop's daemons whose timeout has come.
    void serveDue(const Loop& loop);
    // How long the loop may wait for events, in milliseconds; -1 for ever.
    int waitLocked(const Loop& loop, Clock::time_point now) const;

    const unsigned threads_;  // at most

    std::mutex lifecycle_;                      // serialises add and remove
    std::vector<std::unique_ptr<Loop>> loops_;  // guarded by lifecycle_

    std::mutex mutex_;
    std::condition_variable idle_;  // a daemon's run has ended
    // guarded by mutex_
    std::unordered_map<std::uint64_t, Entry> entries_;  // by an id never used again
    std::uint64_t lastId_ = 0;
};

}  // namespace zorvex
