#include "raw_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace zorvex::test {

namespace {

// Binds a TCP socket to 127.0.0.1 at a free port; returns the port.
int bindLoopback(int fd) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        throw std::runtime_error("cannot bind a loopback port");
    }
    return ntohs(address.sin_port);
}

void sendAll(int fd, const std::string& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        ssize_t sent = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (sent <= 0) return;
        at += static_cast<std::size_t>(sent);
    }
}

}  // namespace

RawTestServer::RawTestServer() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (listenFd_ < 0 || stopFd_ < 0) throw std::runtime_error("no socket");
    port_ = bindLoopback(listenFd_);
    if (::listen(listenFd_, 8) != 0) throw std::runtime_error("cannot listen");
    thread_ = std::thread([this] { run(); });
}

RawTestServer::~RawTestServer() {
    std::uint64_t one = 1;
    (void)!::write(stopFd_, &one, sizeof one);
    thread_.join();
    ::close(listenFd_);
    ::close(stopFd_);
}

void RawTestServer::reply(std::string bytes) {
    std::lock_guard lock(mutex_);
    reply_ = std::move(bytes);
    silent_ = false;
    stream_.reset();
}

void RawTestServer::beSilent() {
    std::lock_guard lock(mutex_);
    silent_ = true;
    stream_.reset();
}

void RawTestServer::stream(Stream stream) {
    std::lock_guard lock(mutex_);
    silent_ = false;
    stream_ = std::move(stream);
}

bool RawTestServer::sendPaced(int fd, const std::string& bytes, std::chrono::milliseconds pause) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        // Waits for room, so a client that stops reading cannot hold the
        // server past its destruction.
        pollfd fds[2] = {{fd, POLLOUT, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) <= 0 || (fds[1].revents & POLLIN)) return false;
        if (fds[0].revents & (POLLERR | POLLHUP)) return false;
        ssize_t sent =
            ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (sent <= 0) return false;
        at += static_cast<std::size_t>(sent);
    }
    if (pause.count() > 0) {
        pollfd stop = {stopFd_, POLLIN, 0};
        if (::poll(&stop, 1, static_cast<int>(pause.count())) != 0) return false;
    }
    return true;
}

void RawTestServer::sendStream(int fd, const Stream& stream) {
    if (!sendPaced(fd, stream.head, std::chrono::milliseconds(0))) return;
    std::uint64_t left = stream.length;
    std::string pending = stream.start.substr(0, left);
    std::string filler(stream.chunk, 'z');
    while (left > 0) {
        std::string chunk = pending.substr(0, stream.chunk);
        pending.erase(0, chunk.size());
        if (chunk.size() < stream.chunk)
            chunk += filler.substr(
                0, std::min<std::uint64_t>(stream.chunk - chunk.size(), left - chunk.size()));
        if (!sendPaced(fd, chunk, stream.interval)) return;
        left -= chunk.size();
        streamed_ += chunk.size();
    }
}

std::vector<std::string> RawTestServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool RawTestServer::waitReadable(int fd) const {
    pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) <= 0) return false;
    return (fds[1].revents & POLLIN) == 0;
}

std::string RawTestServer::readRequest(int fd) const {
    std::string bytes;
    std::size_t wanted = std::string::npos;  // known once the head is in
    char buffer[4096];
    while (bytes.size() < wanted) {
        if (!waitReadable(fd)) break;
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        std::size_t headEnd = bytes.find("\r\n\r\n");
        if (wanted == std::string::npos && headEnd != std::string::npos) {
            std::size_t length = 0;
            std::size_t field = bytes.find("\r\nContent-Length: ");
            if (field != std::string::npos && field < headEnd) {
                length = std::strtoul(bytes.c_str() + field + 18, nullptr, 10);
            }
            wanted = headEnd + 4 + length;
        }
    }
    return bytes;
}

void RawTestServer::run() {
    for (;;) {
        if (!waitReadable(listenFd_)) return;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        ++connections_;
        std::string request = readRequest(fd);
        std::string reply;
        bool silent;
        std::optional<Stream> stream;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
            reply = reply_;
            silent = silent_;
            stream = stream_;
        }
        if (stream) {
            sendStream(fd, *stream);
        } else if (silent) {
            // Hold the connection until the client gives up or the test ends.
            char sink[256];
            while (waitReadable(fd) && ::recv(fd, sink, sizeof sink, 0) > 0) {
            }
        } else {
            sendAll(fd, reply);
        }
        ::close(fd);
    }
}

RefusingPort::RefusingPort() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) throw std::runtime_error("no socket");
    port_ = bindLoopback(fd_);
}

RefusingPort::~RefusingPort() {
    ::close(fd_);
}

}  // namespace zorvex::test
