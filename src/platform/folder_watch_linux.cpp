#include "platform/folder_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

namespace zorvex {

FolderWatch::FolderWatch() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

FolderWatch::~FolderWatch() {
    if (fd_ >= 0) ::close(fd_);
}

void FolderWatch::watch(const std::string& folder) {
    if (fd_ < 0 || folder.empty() || watched_.count(folder)) return;
    constexpr std::uint32_t kEvents =
        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
    if (::inotify_add_watch(fd_, folder.c_str(), kEvents) >= 0) watched_.insert(folder);
}

bool FolderWatch::changed() {
    if (fd_ < 0) return true;
    bool changed = false;
    alignas(inotify_event) char events[4096];
    while (::read(fd_, events, sizeof events) > 0) changed = true;
    return changed;
}

}  // namespace zorvex
