#include "platform/single_instance_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <thread>
#include <utility>

namespace zorvex {

namespace {

// Far more than a record holds; a longer file is not one of ours.
constexpr std::size_t kRecordLimit = 4096;

// One line of text ending in '\n', taken off the front of text.
std::optional<std::string_view> takeLine(std::string_view& text) {
    auto end = text.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    return line;
}

std::string readRecord(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return {};
    std::string text(kRecordLimit, '\0');
    ssize_t got;
    do {
        got = ::pread(fd, text.data(), text.size(), 0);
    } while (got < 0 && errno == EINTR);
    ::close(fd);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return text;
}

}  // namespace

std::optional<std::string> SingleInstanceLock::formatHolder(const Holder& holder) {
    if (holder.pid <= 0 || holder.doorbell.find('\n') != std::string::npos) return std::nullopt;
    if (!holder.windowed && !holder.doorbell.empty()) return std::nullopt;
    std::string text = "pid " + std::to_string(holder.pid) + "\n";
    if (!holder.windowed) return text + "headless\n";
    if (holder.doorbell.empty()) return text + "window\n";
    return text + "window " + holder.doorbell + "\n";
}

std::optional<SingleInstanceLock::Holder> SingleInstanceLock::parseHolder(std::string_view text) {
    auto first = takeLine(text);
    auto second = takeLine(text);
    if (!first || !second || !text.empty() || !first->starts_with("pid ")) return std::nullopt;
    Holder holder;
    std::string_view digits = first->substr(4);
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), holder.pid);
    if (error != std::errc() || end != digits.data() + digits.size() || holder.pid <= 0)
        return std::nullopt;
    if (*second == "headless") return holder;
    holder.windowed = true;
    if (*second == "window") return holder;
    if (!second->starts_with("window /")) return std::nullopt;
    holder.doorbell = std::string(second->substr(7));
    return holder;
}

SingleInstanceLock SingleInstanceLock::acquire(const std::string& homeDir) {
    SingleInstanceLock lock;
    if (homeDir.empty()) return lock;
    std::string path = homeDir + "/" + kFileName;
    // Close-on-exec: an FFmpeg child that outlives us must not keep the lock.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
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
    // A crash leaves its record; it says nothing about this run.
    (void)::ftruncate(fd, 0);
    lock.fd_ = fd;
    lock.result_ = Result::Acquired;
    return lock;
}

SingleInstanceLock SingleInstanceLock::acquireOutlastingTheGone(const std::string& homeDir,
                                                                std::chrono::milliseconds wait) {
    const auto end = std::chrono::steady_clock::now() + wait;
    for (;;) {
        SingleInstanceLock lock = acquire(homeDir);
        if (lock.result() != Result::AlreadyRunning || std::chrono::steady_clock::now() >= end)
            return lock;
        // A record still being written names nobody yet: its writer may be alive.
        auto holder = parseHolder(readRecord(homeDir + "/" + kFileName));
        if (holder && (::kill(static_cast<pid_t>(holder->pid), 0) == 0 || errno == EPERM))
            return lock;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::optional<SingleInstanceLock::Holder> SingleInstanceLock::readHolder(
    const std::string& homeDir, std::chrono::milliseconds wait) {
    const std::string path = homeDir + "/" + kFileName;
    const auto end = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (auto holder = parseHolder(readRecord(path))) return holder;
        if (std::chrono::steady_clock::now() >= end) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool SingleInstanceLock::publish(const Holder& holder) {
    auto text = formatHolder(holder);
    if (fd_ < 0 || !text) return false;
    // One write: a reader sees the record whole or not at all complete.
    if (::ftruncate(fd_, 0) != 0) return false;
    ssize_t put;
    do {
        put = ::pwrite(fd_, text->data(), text->size(), 0);
    } while (put < 0 && errno == EINTR);
    return put == static_cast<ssize_t>(text->size());
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
    if (fd_ < 0) return;
    (void)::ftruncate(fd_, 0);
    ::close(fd_);  // closing the only descriptor drops the flock
    fd_ = -1;
}

}  // namespace zorvex
