#include "platform/instance_doorbell.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/timerfd.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

#include "platform/environment.h"
#include "platform/error_text.h"
#include "platform/file_util.h"
#include "platform/md5.h"

namespace zorvex {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kShow = "show\n";
constexpr std::string_view kOk = "ok\n";
// New callers taken in one answer(): a flood cannot keep the GUI thread in
// the accept loop; the rest are taken on the event loop's next turn.
constexpr int kAcceptsPerTurn = 64;
// Room for second starts arriving together while the window is busy.
constexpr int kBacklog = 64;
// Out of descriptors: the listener rests this long before it accepts again.
constexpr std::chrono::milliseconds kRest{250};

bool socketAddress(const std::string& path, sockaddr_un& address) {
    if (path.empty() || path.size() >= sizeof(address.sun_path)) return false;
    std::memset(&address, 0, sizeof(address));
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

std::string secondsText(std::chrono::milliseconds span) {
    char text[32];
    std::snprintf(text, sizeof(text), "%g s", static_cast<double>(span.count()) / 1000.0);
    return text;
}

// True when some program accepts calls at path: a socket in use, not a
// crash's leftover.
bool someoneListens(const sockaddr_un& address) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    // EAGAIN: a full backlog, which only a living listener has.
    bool listens = rc == 0 || errno == EAGAIN || errno == EINPROGRESS;
    ::close(fd);
    return listens;
}

// Binds a listening socket at path when the place is ours to take; else -1
// and why.
int takePlace(const std::string& path, std::string& why) {
    sockaddr_un address;
    if (!socketAddress(path, address)) {
        why = path + " is too long for a socket";
        return -1;
    }
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            why = path + " is a folder, not our socket";
            return -1;
        }
        if (!S_ISSOCK(info.st_mode)) {
            why = path + " is a file, not our socket";
            return -1;
        }
        if (info.st_uid != ::getuid()) {
            why = path + " is another user's socket";
            return -1;
        }
        if (someoneListens(address)) {
            why = path + " is in use by another program";
            return -1;
        }
        // A crash's leftover: ours to replace.
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            why = "cannot remove the old socket " + path + ": " + errorText(errno);
            return -1;
        }
    } else if (errno != ENOENT) {
        why = "cannot look at " + path + ": " + errorText(errno);
        return -1;
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        why = "cannot make a socket: " + errorText(errno);
        return -1;
    }
    // The uid check of every caller covers the moment before the mode is set.
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        why = "cannot listen at " + path + ": " + errorText(errno);
        ::close(fd);
        return -1;
    }
    if (::chmod(path.c_str(), 0600) != 0 || ::listen(fd, kBacklog) != 0) {
        why = "cannot listen at " + path + ": " + errorText(errno);
        ::unlink(path.c_str());
        ::close(fd);
        return -1;
    }
    return fd;
}

bool watch(int epoll, int fd, std::uint32_t events, int operation = EPOLL_CTL_ADD) {
    epoll_event event{};
    event.events = events;
    event.data.fd = fd;
    return ::epoll_ctl(epoll, operation, fd, &event) == 0;
}

}  // namespace

std::vector<std::string> InstanceDoorbell::placesFor(const std::string& homeDir) {
    std::vector<std::string> candidates;
    if (homeDir.empty()) return candidates;
    auto runtime = environmentVariable("XDG_RUNTIME_DIR");
    if (runtime && runtime->starts_with('/') && isDirectory(*runtime)) {
        std::string folder = *runtime;
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        std::error_code error;
        auto canonical = std::filesystem::weakly_canonical(homeDir, error);
        std::string home = error || canonical.empty() ? homeDir : canonical.string();
        candidates.push_back(folder + "/ZorvexVRClient-" + md5Hex(home).substr(0, 12) + ".sock");
    }
    candidates.push_back(homeDir + "/" + kFileName);
    std::vector<std::string> places;
    sockaddr_un address;
    for (auto& place : candidates) {
        if (place.find('\n') == std::string::npos && socketAddress(place, address))
            places.push_back(std::move(place));
    }
    return places;
}

InstanceDoorbell InstanceDoorbell::listen(const std::vector<std::string>& places,
                                          std::chrono::milliseconds callerDeadline) {
    InstanceDoorbell bell;
    bell.callerDeadline_ = callerDeadline;
    for (const auto& place : places) {
        std::string why;
        int fd = takePlace(place, why);
        if (fd < 0) {
            bell.problem_ += (bell.problem_.empty() ? "" : "; ") + why;
            continue;
        }
        bell.listener_ = fd;
        bell.path_ = place;
        bell.epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
        bell.timer_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (bell.epoll_ < 0 || bell.timer_ < 0 || !watch(bell.epoll_, fd, EPOLLIN) ||
            !watch(bell.epoll_, bell.timer_, EPOLLIN)) {
            std::string failure = "cannot watch " + place + ": " + errorText(errno);
            bell.close();
            bell.problem_ = failure;
            return bell;
        }
        bell.problem_.clear();
        return bell;
    }
    if (places.empty()) bell.problem_ = "there is no place for its socket";
    return bell;
}

InstanceDoorbell::RingResult InstanceDoorbell::ring(const std::string& path,
                                                    std::chrono::milliseconds wait) {
    const auto end = Clock::now() + wait;
    RingResult result;
    sockaddr_un address;
    if (!socketAddress(path, address)) {
        result.problem = "\"" + path + "\" is no place for a socket";
        return result;
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        result.problem = "cannot make a socket: " + errorText(errno);
        return result;
    }
    // A connect waits for room in a full backlog at most this long.
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(wait.count() / 1000);
    limit.tv_usec = static_cast<suseconds_t>(wait.count() % 1000 * 1000);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        int error = errno;
        ::close(fd);
        if (error == EAGAIN || error == EINPROGRESS) {
            result.rang = Rang::NoAnswer;
            result.problem = "it took no call within " + secondsText(wait);
        } else {
            result.problem = "nobody listens at " + path + " (" + errorText(error) + ")";
        }
        return result;
    }
    ucred peer{};
    socklen_t size = sizeof(peer);
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != ::getuid()) {
        ::close(fd);
        result.problem = path + " is another user's socket";
        return result;
    }
    result.rang = Rang::NoAnswer;
    if (::send(fd, kShow.data(), kShow.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(kShow.size())) {
        result.problem = "the call broke off: " + errorText(errno);
        ::close(fd);
        return result;
    }
    std::string heard;
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
        pollfd in{fd, POLLIN, 0};
        int ready = left.count() > 0 ? ::poll(&in, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            result.problem = "no answer within " + secondsText(wait);
            break;
        }
        char buffer[8];
        ssize_t got = ::recv(fd, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got <= 0) {
            result.problem = "it hung up without answering";
            break;
        }
        heard.append(buffer, static_cast<std::size_t>(got));
        if (heard == kOk) {
            result.rang = Rang::Answered;
            break;
        }
        if (!kOk.starts_with(heard)) {
            result.problem = "it answered something else";
            break;
        }
    }
    ::close(fd);
    return result;
}

InstanceDoorbell::Heard InstanceDoorbell::hear(Caller& caller) {
    char buffer[16];
    for (;;) {
        ssize_t got = ::recv(caller.fd, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (got > 0) {
            caller.heard.append(buffer, static_cast<std::size_t>(got));
            // Anything but the start of "show\n" (or more) ends the call.
            if (!kShow.starts_with(caller.heard)) return Heard::Done;
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        const bool over = got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        if (caller.heard == kShow) {
            // Fits in any socket's buffer; a caller gone already misses nothing.
            (void)::send(caller.fd, kOk.data(), kOk.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            return Heard::Show;
        }
        return over ? Heard::Done : Heard::Waiting;
    }
}

void InstanceDoorbell::acceptCallers(bool& show) {
    for (int turn = 0; turn < kAcceptsPerTurn; ++turn) {
        int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // The caller stays in the backlog, the listener readable:
                // rest rather than spin.
                restUntil_ = Clock::now() + kRest;
                watch(epoll_, listener_, 0, EPOLL_CTL_MOD);
            }
            return;
        }
        ucred peer{};
        socklen_t size = sizeof(peer);
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
            peer.uid != ::getuid()) {
            ::close(fd);
            continue;
        }
        // A second start writes at once: most are heard here, never held.
        Caller caller{fd, Clock::now() + callerDeadline_, {}};
        Heard heard = hear(caller);
        if (heard != Heard::Waiting) {
            show = show || heard == Heard::Show;
            ::close(fd);
            continue;
        }
        if (callers_.size() >= kMaxCallers) hangUp(0);
        if (!watch(epoll_, fd, EPOLLIN)) {
            ::close(fd);
            continue;
        }
        callers_.push_back(std::move(caller));
    }
}

bool InstanceDoorbell::answer() {
    if (!listening()) return false;
    std::uint64_t expirations;
    while (::read(timer_, &expirations, sizeof(expirations)) < 0 && errno == EINTR) {
    }
    bool show = false;
    for (std::size_t i = 0; i < callers_.size();) {
        Heard heard = hear(callers_[i]);
        if (heard == Heard::Waiting) {
            ++i;
            continue;
        }
        show = show || heard == Heard::Show;
        hangUp(i);
    }
    const auto now = Clock::now();
    if (restUntil_ && now >= *restUntil_) {
        restUntil_.reset();
        watch(epoll_, listener_, EPOLLIN, EPOLL_CTL_MOD);
    }
    if (!restUntil_) acceptCallers(show);
    while (!callers_.empty() && callers_.front().deadline <= Clock::now()) hangUp(0);
    armTimer();
    return show;
}

void InstanceDoorbell::hangUp(std::size_t index) {
    int fd = callers_[index].fd;
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    ::close(fd);
    callers_.erase(callers_.begin() + static_cast<std::ptrdiff_t>(index));
}

void InstanceDoorbell::armTimer() {
    std::optional<Clock::time_point> when = restUntil_;
    if (!callers_.empty() && (!when || callers_.front().deadline < *when))
        when = callers_.front().deadline;
    itimerspec spec{};  // all zero: disarmed
    if (when) {
        auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(*when - Clock::now());
        // Zero would disarm it; a deadline passed already fires at once.
        if (left.count() < 1) left = std::chrono::nanoseconds(1);
        spec.it_value.tv_sec = static_cast<time_t>(left.count() / 1'000'000'000);
        spec.it_value.tv_nsec = static_cast<long>(left.count() % 1'000'000'000);
    }
    ::timerfd_settime(timer_, 0, &spec, nullptr);
}

InstanceDoorbell::~InstanceDoorbell() {
    close();
}

InstanceDoorbell::InstanceDoorbell(InstanceDoorbell&& other) noexcept
    : callers_(std::move(other.callers_)),
      listener_(std::exchange(other.listener_, -1)),
      epoll_(std::exchange(other.epoll_, -1)),
      timer_(std::exchange(other.timer_, -1)),
      restUntil_(std::exchange(other.restUntil_, std::nullopt)),
      callerDeadline_(other.callerDeadline_),
      path_(std::exchange(other.path_, {})),
      problem_(std::exchange(other.problem_, {})) {
    other.callers_.clear();
}

InstanceDoorbell& InstanceDoorbell::operator=(InstanceDoorbell&& other) noexcept {
    if (this != &other) {
        close();
        callers_ = std::move(other.callers_);
        other.callers_.clear();
        listener_ = std::exchange(other.listener_, -1);
        epoll_ = std::exchange(other.epoll_, -1);
        timer_ = std::exchange(other.timer_, -1);
        restUntil_ = std::exchange(other.restUntil_, std::nullopt);
        callerDeadline_ = other.callerDeadline_;
        path_ = std::exchange(other.path_, {});
        problem_ = std::exchange(other.problem_, {});
    }
    return *this;
}

void InstanceDoorbell::close() {
    for (auto& caller : callers_) ::close(caller.fd);
    callers_.clear();
    for (int* fd : {&timer_, &epoll_}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
    restUntil_.reset();
    if (listener_ < 0) return;
    ::close(listener_);
    listener_ = -1;
    // Still ours: the home's lock kept any other copy of it from listening here.
    ::unlink(path_.c_str());
    path_.clear();
}

}  // namespace zorvex
