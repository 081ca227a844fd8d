#include "platform/single_instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/environment.h"
#include "platform/file_util.h"

namespace zorvex {

std::string SingleInstanceLock::defaultFolder(const std::string& homeDir) {
    auto runtime = environmentVariable("XDG_RUNTIME_DIR");
    if (runtime && runtime->starts_with('/') && isDirectory(*runtime)) return *runtime;
    return homeDir;
}

SingleInstanceLock SingleInstanceLock::acquire(const std::string& folder) {
    SingleInstanceLock lock;
    if (folder.empty()) return lock;
    std::string path = folder + "/" + kFileName;
    // Close-on-exec: an FFmpeg child that outlives us must not keep the lock.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return lock;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        lock.result_ = errno == EWOULDBLOCK ? Result::AlreadyRunning : Result::Unavailable;
        ::close(fd);
        return lock;
    }
    lock.fd_ = fd;
    lock.result_ = Result::Acquired;
    return lock;
}

SingleInstanceLock::~SingleInstanceLock() {
    release();
}

SingleInstanceLock::SingleInstanceLock(SingleInstanceLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), result_(other.result_) {}

SingleInstanceLock& SingleInstanceLock::operator=(SingleInstanceLock&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
        result_ = other.result_;
    }
    return *this;
}

void SingleInstanceLock::release() {
    if (fd_ >= 0) ::close(fd_);  // closing the only descriptor drops the flock
    fd_ = -1;
}

}  // namespace zorvex
