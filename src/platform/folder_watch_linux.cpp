#include "platform/folder_watch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <utility>

namespace zorvex {

FolderWatch::FolderWatch() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

FolderWatch::~FolderWatch() {
    if (fd_ >= 0) ::close(fd_);
}

bool FolderWatch::watch(const std::string& folder) {
    if (fd_ < 0 || folder.empty()) return false;
    if (watched_.count(folder)) return true;
    constexpr std::uint32_t kEvents =
        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
    if (::inotify_add_watch(fd_, folder.c_str(), kEvents) < 0) return false;
    watched_.insert(folder);
    return true;
}

bool FolderWatch::changed() {
    if (fd_ < 0) return true;
    bool changed = false;
    alignas(inotify_event) char events[4096];
    while (::read(fd_, events, sizeof events) > 0) changed = true;
    return changed;
}

FolderAlarm::FolderAlarm(const std::string& folder, std::function<void()> onChange)
    : onChange_(std::move(onChange)), stopFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (stopFd_ >= 0 && watch_.watch(folder)) thread_ = std::thread([this] { run(); });
}

FolderAlarm::~FolderAlarm() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(stopFd_, &one, sizeof one);
    if (thread_.joinable()) thread_.join();
    if (stopFd_ >= 0) ::close(stopFd_);
}

void FolderAlarm::run() {
    std::array<pollfd, 2> fds{};
    fds[0] = {stopFd_, POLLIN, 0};
    fds[1] = {watch_.descriptor(), POLLIN, 0};
    for (;;) {
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents & POLLIN) return;
        // Drained before the call: a change made while it runs calls again.
        if (watch_.changed()) onChange_();
    }
}

}  // namespace zorvex
