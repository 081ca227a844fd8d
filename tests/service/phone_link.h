#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "service/link_frame.h"

namespace zorvex::test {

// This test process's own loopback addresses: 127.X.Y.n, with X.Y picked
// from the process id among those where nothing holds the LAN ports. Never
// 127.0.0.x, where a user's copy runs, so parallel runs and a running copy
// do not meet (each broadcasts to its own 127.X.Y.255, too).
std::string runAddress(int n = 1);

// A phone's end of the link on loopback, with bounded waits. source: the
// local address to connect from ("" lets the system choose, 127.0.0.1);
// tests connect attackers from 127.0.0.2. receiveBuffer: SO_RCVBUF in bytes
// (0 leaves the system's), small for a phone that is slow to take data. Also
// a plain TCP client for other ports.
class PhoneLink {
public:
    explicit PhoneLink(const std::string& host = "127.0.0.1", int port = wire::kLinkPort,
                       const std::string& source = "", int receiveBuffer = 0);
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

// Binds UDP port 7171, as a phone listens: on every local address, or only
// on the broadcast address given, to hear one service alone.
class DiscoveryListener {
public:
    explicit DiscoveryListener(const std::string& address = "0.0.0.0");
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
