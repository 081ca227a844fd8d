#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "service/link_frame.h"

namespace zorvex::test {

// A phone's end of the link on loopback, with bounded waits.
class PhoneLink {
public:
    explicit PhoneLink(const std::string& host = "127.0.0.1", int port = wire::kLinkPort);
    ~PhoneLink();
    PhoneLink(const PhoneLink&) = delete;
    PhoneLink& operator=(const PhoneLink&) = delete;

    bool connected() const { return fd_ >= 0; }
    bool send(const std::string& bytes);
    // Exactly n bytes, or what arrived before the peer closed or the bound passed.
    std::string receive(std::size_t n, std::chrono::milliseconds bound = std::chrono::seconds(10));
    // One whole list response or rejection.
    std::optional<wire::Decoded> receiveFrame(
        std::chrono::milliseconds bound = std::chrono::seconds(10));
    // A list request answered as a whole frame.
    std::optional<wire::Decoded> ask(int type, std::uint32_t stamp);
    // True once the peer has closed the connection.
    bool closedByPeer(std::chrono::milliseconds bound = std::chrono::seconds(10));

private:
    int fd_ = -1;
    std::string pending_;
};

// Binds UDP port 7171 on every local address, as a phone listens.
class DiscoveryListener {
public:
    DiscoveryListener();
    ~DiscoveryListener();
    bool ok() const { return fd_ >= 0; }
    std::optional<std::string> next(std::chrono::milliseconds bound = std::chrono::seconds(10));

private:
    int fd_ = -1;
};

// Holds a TCP port on an address so that the service cannot take it.
class PortBlocker {
public:
    PortBlocker(const std::string& address, int port);
    ~PortBlocker();
    bool ok() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// True if nothing listens on the TCP port of the address.
bool portIsFree(const std::string& address, int port);

}  // namespace zorvex::test
