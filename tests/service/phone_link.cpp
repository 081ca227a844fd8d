#include "phone_link.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace zorvex::test {

namespace {

sockaddr_in addressOf(const std::string& host, int port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, host.c_str(), &to.sin_addr);
    return to;
}

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

std::string runAddress(int n) {
    static const std::string block = [] {
        // Spread over 127.1.1 to 127.250.250 by the process id; the first
        // block where the LAN ports are free on its first two hosts wins.
        unsigned seed = static_cast<unsigned>(::getpid()) * 2654435761u;
        for (unsigned attempt = 0; attempt < 500; ++attempt) {
            unsigned v = (seed + attempt * 7919u) % 62500u;
            std::string prefix =
                "127." + std::to_string(1 + v / 250) + "." + std::to_string(1 + v % 250) + ".";
            bool free = true;
            for (const char* host : {"1", "2"}) {
                for (int port : {wire::kLinkPort, wire::kHttpPort}) {
                    free = free && portIsFree(prefix + host, port);
                }
            }
            if (free) return prefix;
        }
        return std::string("127.255.254.");
    }();
    return block + std::to_string(n);
}

PhoneLink::PhoneLink(const std::string& host, int port, const std::string& source,
                     int receiveBuffer) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0) {
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    if (!source.empty()) {
        // The port is chosen at connect, so thousands of clients from one
        // source do not run out of ports to bind.
        int on = 1;
        ::setsockopt(fd_, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
        sockaddr_in from = addressOf(source, 0);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
    }
    sockaddr_in to = addressOf(host, port);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

PhoneLink::~PhoneLink() {
    if (fd_ >= 0) ::close(fd_);
}

bool PhoneLink::send(const std::string& bytes) {
    return fd_ >= 0 && ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
                           static_cast<ssize_t>(bytes.size());
}

std::string PhoneLink::receive(std::size_t n, std::chrono::milliseconds bound) {
    auto deadline = std::chrono::steady_clock::now() + bound;
    while (pending_.size() < n) {
        pollfd in{fd_, POLLIN, 0};
        if (::poll(&in, 1, remainingMs(deadline)) <= 0) break;
        char chunk[8192];
        ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
        if (got <= 0) break;
        pending_.append(chunk, static_cast<std::size_t>(got));
    }
    std::string out = pending_.substr(0, n);
    pending_.erase(0, out.size());
    return out;
}

std::optional<wire::Decoded> PhoneLink::receiveFrame(std::chrono::milliseconds bound) {
    auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        wire::Decoded decoded = wire::decodeListResponse(pending_);
        if (decoded.status != wire::Decoded::Status::Incomplete) {
            pending_.erase(0, decoded.used);
            return decoded;
        }
        pollfd in{fd_, POLLIN, 0};
        if (::poll(&in, 1, remainingMs(deadline)) <= 0) return std::nullopt;
        char chunk[8192];
        ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
        if (got <= 0) return std::nullopt;
        pending_.append(chunk, static_cast<std::size_t>(got));
    }
}

std::optional<wire::Decoded> PhoneLink::ask(int type, std::uint32_t stamp) {
    if (!send(wire::encodeRequest(type == 1 ? wire::CMD_LIST_SOURCE : wire::CMD_LIST_CONVERTED,
                                  stamp))) {
        return std::nullopt;
    }
    return receiveFrame();
}

bool PhoneLink::closedByPeer(std::chrono::milliseconds bound) {
    pollfd in{fd_, POLLIN, 0};
    if (::poll(&in, 1, static_cast<int>(bound.count())) <= 0) return false;
    char byte;
    ssize_t got = ::recv(fd_, &byte, 1, 0);
    return got == 0 || (got < 0 && errno == ECONNRESET);
}

DiscoveryListener::DiscoveryListener(const std::string& address) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in any = addressOf(address, wire::kDiscoveryPort);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

DiscoveryListener::~DiscoveryListener() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<std::string> DiscoveryListener::next(std::chrono::milliseconds bound) {
    pollfd in{fd_, POLLIN, 0};
    if (::poll(&in, 1, static_cast<int>(bound.count())) <= 0) return std::nullopt;
    char packet[512];
    ssize_t got = ::recv(fd_, packet, sizeof packet, 0);
    if (got < 0) return std::nullopt;
    return std::string(packet, static_cast<std::size_t>(got));
}

PortBlocker::PortBlocker(const std::string& address, int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Lets the probe bind over connections lingering in TIME_WAIT; a live
    // listener still refuses it.
    int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in at = addressOf(address, port);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(fd_, 1) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

PortBlocker::~PortBlocker() {
    if (fd_ >= 0) ::close(fd_);
}

bool portIsFree(const std::string& address, int port) {
    PortBlocker probe(address, port);
    return probe.ok();
}

}  // namespace zorvex::test
