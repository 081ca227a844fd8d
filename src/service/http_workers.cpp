#include "service/http_workers.h"

#include <microhttpd.h>
#include <pthread.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <system_error>

namespace zorvex {

namespace {

constexpr std::uint64_t kWakeId = 0;
constexpr int kBatch = 16;
// The longest wait the library's timeout is taken for, in milliseconds.
constexpr MHD_UNSIGNED_LONG_LONG kLongestWait = 3'600'000;

}  // namespace

HttpWorkers::Loop::Loop()
    : epoll(::epoll_create1(EPOLL_CLOEXEC)), wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (epoll < 0 || wake < 0) return;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = kWakeId;
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, wake, &event);
}

HttpWorkers::Loop::~Loop() {
    if (thread.joinable()) {
        std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wake, &one, sizeof one);
        thread.join();
    }
    if (epoll >= 0) ::close(epoll);
    if (wake >= 0) ::close(wake);
}

HttpWorkers::HttpWorkers(unsigned threads) : threads_(std::max(threads, 1u)) {}

HttpWorkers::~HttpWorkers() = default;

bool HttpWorkers::add(MHD_Daemon* daemon) {
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_EPOLL_FD);
    if (!info) return false;
    std::lock_guard lifecycle(lifecycle_);
    Loop* loop = nullptr;
    if (loops_.size() < threads_) {
        auto fresh = std::make_unique<Loop>();
        if (fresh->epoll >= 0 && fresh->wake >= 0) {
            try {
                fresh->thread = std::jthread([this, at = fresh.get()] { run(*at); });
                loop = loops_.emplace_back(std::move(fresh)).get();
            } catch (const std::system_error&) {
                // The threads there are serve as well, only slower.
            }
        }
    }
    if (!loop) {
        auto least = std::min_element(loops_.begin(), loops_.end(),
                                      [](auto& a, auto& b) { return a->daemons < b->daemons; });
        if (least == loops_.end()) return false;
        loop = least->get();
    }
    std::uint64_t id;
    {
        std::lock_guard lock(mutex_);
        id = ++lastId_;
        entries_.emplace(id, Entry{daemon, info->epoll_fd, loop});
    }
    // Level-triggered: what a run leaves ready (a listener with more
    // connections waiting than one run accepts) is reported again.
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = id;
    if (::epoll_ctl(loop->epoll, EPOLL_CTL_ADD, info->epoll_fd, &event) != 0) {
        std::lock_guard lock(mutex_);
        entries_.erase(id);
        if (loop->daemons == 0) loops_.pop_back();  // the one made for it
        return false;
    }
    ++loop->daemons;
    return true;
}

void HttpWorkers::remove(MHD_Daemon* daemon) {
    std::lock_guard lifecycle(lifecycle_);
    Loop* loop;
    {
        std::unique_lock lock(mutex_);
        auto found = std::find_if(entries_.begin(), entries_.end(),
                                  [&](const auto& item) { return item.second.daemon == daemon; });
        if (found == entries_.end()) return;
        Entry& entry = found->second;
        entry.removed = true;
        loop = entry.loop;
        ::epoll_ctl(loop->epoll, EPOLL_CTL_DEL, entry.fd, nullptr);
        idle_.wait(lock, [&] { return !entry.busy; });
        entries_.erase(found);
    }
    // A thread left without daemons ends.
    if (--loop->daemons == 0) {
        std::erase_if(loops_, [&](const auto& item) { return item.get() == loop; });
    }
}

void HttpWorkers::run(Loop& loop) {
    // A peer gone while a file is sent (by sendfile, which cannot be told not
    // to raise it) must not end the process; the daemons are told so.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    epoll_event events[kBatch];
    for (;;) {
        int timeout;
        {
            std::lock_guard lock(mutex_);
            timeout = waitLocked(loop, Clock::now());
        }
        int n = ::epoll_wait(loop.epoll, events, kBatch, timeout);
        for (int i = 0; i < n; ++i) {
            if (events[i].data.u64 == kWakeId) return;
        }
        for (int i = 0; i < n; ++i) serve(events[i].data.u64);
        serveDue(loop);
    }
}

void HttpWorkers::serve(std::uint64_t id) {
    MHD_Daemon* daemon;
    {
        std::lock_guard lock(mutex_);
        auto found = entries_.find(id);
        if (found == entries_.end() || found->second.removed) return;
        found->second.busy = true;
        daemon = found->second.daemon;
    }
    MHD_run(daemon);
    MHD_UNSIGNED_LONG_LONG wait = 0;
    const bool timed = MHD_get_timeout(daemon, &wait) == MHD_YES;
    std::lock_guard lock(mutex_);
    Entry& entry = entries_.at(id);  // stays while busy
    entry.busy = false;
    entry.due = timed ? Clock::now() + std::chrono::milliseconds(std::min(wait, kLongestWait))
                      : Clock::time_point::max();
    if (entry.removed) idle_.notify_all();
}

void HttpWorkers::serveDue(const Loop& loop) {
    std::vector<std::uint64_t> due;
    {
        std::lock_guard lock(mutex_);
        const Clock::time_point now = Clock::now();
        for (const auto& [id, entry] : entries_) {
            if (entry.loop == &loop && entry.due <= now) due.push_back(id);
        }
    }
    for (std::uint64_t id : due) serve(id);
}

int HttpWorkers::waitLocked(const Loop& loop, Clock::time_point now) const {
    Clock::time_point due = Clock::time_point::max();
    for (const auto& [id, entry] : entries_) {
        if (entry.loop == &loop && !entry.removed) due = std::min(due, entry.due);
    }
    if (due == Clock::time_point::max()) return -1;
    if (due <= now) return 0;
    // Rounded up, so that the thread does not wake just before it is due.
    auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
    return static_cast<int>(std::min<decltype(wait)>(wait, INT_MAX));
}

}  // namespace zorvex
