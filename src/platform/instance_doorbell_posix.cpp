#include "platform/instance_doorbell.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

namespace zorvex {
namespace {

constexpr std::string_view kShow = "show\n";

bool socketAddress(const std::string& folder, sockaddr_un& address) {
    std::string path = folder + "/" + InstanceDoorbell::kFileName;
    if (folder.empty() || path.size() >= sizeof(address.sun_path)) return false;
    std::memset(&address, 0, sizeof(address));
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

InstanceDoorbell InstanceDoorbell::listen(const std::string& folder) {
    InstanceDoorbell bell;
    sockaddr_un address;
    if (!socketAddress(folder, address)) return bell;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return bell;
    ::unlink(address.sun_path);
    // The uid check below covers the moment before the mode is set.
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::chmod(address.sun_path, 0600) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        return bell;
    }
    bell.fd_ = fd;
    bell.path_ = address.sun_path;
    return bell;
}

bool InstanceDoorbell::ring(const std::string& folder) {
    sockaddr_un address;
    if (!socketAddress(folder, address)) return false;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool sent =
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::send(fd, kShow.data(), kShow.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(kShow.size());
    ::close(fd);
    return sent;
}

bool InstanceDoorbell::answer() {
    if (fd_ < 0) return false;
    int caller = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (caller < 0) return false;
    ucred peer{};
    socklen_t size = sizeof(peer);
    bool ours =
        ::getsockopt(caller, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::getuid();
    char text[16] = {};
    ssize_t got = 0;
    // The caller writes at once; one that does not is not waited for long.
    pollfd in{caller, POLLIN, 0};
    if (ours && ::poll(&in, 1, 500) == 1) got = ::recv(caller, text, sizeof(text), MSG_DONTWAIT);
    ::close(caller);
    return ours && got > 0 && std::string_view(text, static_cast<size_t>(got)) == kShow;
}

InstanceDoorbell::~InstanceDoorbell() {
    close();
}

InstanceDoorbell::InstanceDoorbell(InstanceDoorbell&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

InstanceDoorbell& InstanceDoorbell::operator=(InstanceDoorbell&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

void InstanceDoorbell::close() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    // Still ours: the lock kept anyone else from listening here meanwhile.
    ::unlink(path_.c_str());
}

}  // namespace zorvex
