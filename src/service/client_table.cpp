#include "service/client_table.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <tuple>

#include "service/console.h"
#include "service/link_frame.h"

namespace zorvex {

namespace {

constexpr auto kBroadcastInterval = std::chrono::seconds(1);
constexpr int kCycleWaitMs = 1000;
// How long a listener is left alone when no descriptor is left for a newcomer.
constexpr std::chrono::milliseconds kAcceptPause{250};
// A drained queue keeps at most this much of its buffer.
constexpr std::size_t kKeptOutputCapacity = std::size_t{16} * 1024;
// Phones tend to connect together when the PC appears; a deeper queue than
// the classic 5 spares them the one-second SYN retry.
constexpr int kListenBacklog = kClientSlots;
// epoll tags beside the slot indexes.
constexpr std::uint32_t kWakeTag = 1001;
// A listener's tag is this bit and its descriptor.
constexpr std::uint32_t kListenTag = 1u << 30;
// A phone that left the network without closing is found out after about
// 60 + 3 x 10 seconds of silence.
constexpr int kKeepAliveIdleSeconds = 60;
constexpr int kKeepAliveIntervalSeconds = 10;
constexpr int kKeepAliveProbes = 3;

bool toSocketAddress(const std::string& address, std::uint16_t port, sockaddr_in& out) {
    unsigned parts[4];
    if (!wire::readDottedQuad(address, parts)) return false;
    for (unsigned part : parts) {
        if (part > 255) return false;
    }
    std::memset(&out, 0, sizeof out);
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    out.sin_addr.s_addr = htonl((parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3]);
    return true;
}

void closeSocket(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

ClientTable::ClientTable(ParserHandler* owner, int wakeFd, std::atomic<int>* connected, Clock clock,
                         std::size_t outputLimit)
    : owner_(owner),
      wakeFd_(wakeFd),
      clock_(clock ? std::move(clock) : Clock(&std::chrono::steady_clock::now)),
      outputLimit_(outputLimit),
      epollFd_(::epoll_create1(EPOLL_CLOEXEC)),
      connected_(connected ? connected : &ownCount_) {
    if (epollFd_ >= 0 && wakeFd_ >= 0) {
        epoll_event wake{};
        wake.events = EPOLLIN;
        wake.data.u32 = kWakeTag;
        ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &wake);
    }
}

ClientTable::~ClientTable() {
    closeAll();
}

PartStart ClientTable::openSockets(const std::string& address, const std::string& broadcastTo) {
    sockaddr_in broadcast{};
    sockaddr_in local{};
    // Without the network's own broadcast address (loopback, or an address
    // given by hand) the classic x.y.z.255.
    const std::string destination =
        broadcastTo.empty() ? wire::broadcastAddressFor(address) : broadcastTo;
    if (!toSocketAddress(destination, wire::kDiscoveryPort, broadcast) ||
        !toSocketAddress(address, wire::kLinkPort, local)) {
        PartStart bad;
        bad.cause = StartCause::BadAddress;
        return bad;
    }
    if (epollFd_ < 0) return partFailure(EMFILE);
    Link link;
    link.address = address;
    auto fail = [this, &link](int error) {
        // Quietly: a retry every few seconds must not repeat lines.
        closeSockets(link, false);
        return partFailure(error);
    };

    link.broadcastSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int on = 1;
    // Bound to the address itself, so that the packets leave from it and an
    // address this machine does not have is told at once.
    sockaddr_in source = local;
    source.sin_port = 0;
    if (link.broadcastSocket < 0 ||
        ::setsockopt(link.broadcastSocket, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        ::bind(link.broadcastSocket, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0) {
        return fail(errno);
    }
    static_assert(sizeof link.destination >= sizeof(sockaddr_in));
    std::memcpy(link.destination.data(), &broadcast, sizeof broadcast);

    link.listenSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (link.listenSocket < 0 ||
        ::setsockopt(link.listenSocket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(link.listenSocket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(link.listenSocket, kListenBacklog) != 0) {
        return fail(errno);
    }
    epoll_event listen{};
    listen.events = EPOLLIN;
    listen.data.u32 = kListenTag | static_cast<std::uint32_t>(link.listenSocket);
    if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, link.listenSocket, &listen) != 0) return fail(errno);

    link.packet = wire::buildDiscoveryPacket(address);
    consoleWrite(wire::hexDump("广播", link.packet));
    links_.push_back(std::move(link));
    // The new network hears of the PC at once.
    nextBroadcast_ = std::chrono::steady_clock::now();
    return {};
}

void ClientTable::closeLink(const std::string& address) {
    for (auto it = links_.begin(); it != links_.end(); ++it) {
        if (it->address != address) continue;
        closeSockets(*it);
        links_.erase(it);
        for (ClientSlot& slot : slots_) {
            if (slot.socket >= 0 && slot.local == address) closeSlot(slot);
        }
        return;
    }
}

std::vector<std::string> ClientTable::linkAddresses() const {
    std::vector<std::string> addresses;
    for (const Link& link : links_) addresses.push_back(link.address);
    return addresses;
}

void ClientTable::closeSockets(Link& link, bool say) {
    if (link.listenSocket >= 0) {
        if (epollFd_ >= 0) ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, link.listenSocket, nullptr);
        ::shutdown(link.listenSocket, SHUT_RDWR);
        closeSocket(link.listenSocket);
        if (say) consoleWrite("tcp is close!\n");
    }
    if (link.broadcastSocket >= 0) {
        closeSocket(link.broadcastSocket);
        if (say) consoleWrite("the broadcast is close!\n");
    }
}

void ClientTable::sendBroadcast() {
    auto now = std::chrono::steady_clock::now();
    if (links_.empty() || now < nextBroadcast_) return;
    // Once a second, however busy the link is: phones polling their lists
    // must not turn into a flood of broadcasts on their network.
    nextBroadcast_ = now + kBroadcastInterval;
    for (Link& link : links_) {
        bool sent = ::sendto(link.broadcastSocket, link.packet.data(), link.packet.size(), 0,
                             reinterpret_cast<const sockaddr*>(link.destination.data()),
                             sizeof(sockaddr_in)) >= 0;
        // Said once while it lasts, not once a second.
        if (!sent && !link.failing) consoleWrite("broadcast error....\n");
        link.failing = !sent;
    }
}

void ClientTable::runCycle() {
    sendBroadcast();
    resumeAccepting();

    auto until = nextBroadcast_;
    if (acceptResumes_) until = std::min(until, *acceptResumes_);
    auto untilBroadcast = std::chrono::duration_cast<std::chrono::milliseconds>(
                              until - std::chrono::steady_clock::now())
                              .count();
    int wait = !links_.empty()
                   ? static_cast<int>(std::clamp<long>(untilBroadcast + 1, 0, kCycleWaitMs))
                   : kCycleWaitMs;
    // epoll, not poll: a poll per request would look at all 66 descriptors.
    std::array<epoll_event, kClientSlots + 2> events{};
    int ready = ::epoll_wait(epollFd_, events.data(), static_cast<int>(events.size()), wait);
    for (int i = 0; i < ready; ++i) {
        std::uint32_t tag = events[i].data.u32;
        if (tag == kWakeTag) {
            std::uint64_t drained;
            [[maybe_unused]] auto n = ::read(wakeFd_, &drained, sizeof drained);
            return;  // the owner wants its stop flag looked at now
        }
        if (tag & kListenTag) {
            acceptClients(static_cast<int>(tag & ~kListenTag));
            continue;
        }
        if (tag >= slots_.size()) continue;
        ClientSlot& slot = slots_[tag];
        if (slot.socket >= 0 && (events[i].events & EPOLLOUT) != 0) flushClient(slot);
        if (slot.socket >= 0 && (events[i].events & ~EPOLLOUT) != 0) readClient(slot);
    }
}

void ClientTable::acceptClients(int listenSocket) {
    for (;;) {
        sockaddr_in peer{};
        socklen_t size = sizeof peer;
        int fd = ::accept4(listenSocket, reinterpret_cast<sockaddr*>(&peer), &size,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                pauseAccepting(listenSocket);
            return;
        }
        int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        int idle = kKeepAliveIdleSeconds, interval = kKeepAliveIntervalSeconds,
            probes = kKeepAliveProbes;
        ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
        char address[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, address, sizeof address);
        int port = ntohs(peer.sin_port);

        if (port <= 0) {
            ::close(fd);
            continue;
        }
        const std::uint32_t from = ntohl(peer.sin_addr.s_addr);
        ClientSlot* free = nullptr;
        if (slotsOf(from) >= kSlotsPerAddress) {
            free = quietestOf(from);
            connectionLine("Too many clients from one address", free->peer, free->socket);
            closeSlot(*free);
        }
        for (auto& slot : slots_) {
            if (free) break;
            if (slot.socket < 0) free = &slot;
        }
        if (!free && (free = evictable())) {
            // A crowd, a laggard or a silent connection must not lock phones out.
            connectionLine("the client gives way", free->peer, free->socket);
            closeSlot(*free);
        }
        if (!free) {
            connectionLine("Too many clients", {}, -1);
            ::close(fd);  // an unserved phone must not be left hanging
            continue;
        }
        free->socket = fd;
        epoll_event in{};
        in.events = EPOLLIN;
        in.data.u32 = static_cast<std::uint32_t>(free - slots_.data());
        ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &in);
        free->peer = std::string(address) + ":" + std::to_string(port);
        free->peerAddress = from;
        sockaddr_in local{};
        socklen_t localSize = sizeof local;
        char localText[INET_ADDRSTRLEN] = {};
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) == 0)
            ::inet_ntop(AF_INET, &local.sin_addr, localText, sizeof localText);
        free->local = localText;
        free->connection = ++connections_;
        free->outputLimit = outputLimit_;
        free->lastHeard = clock_();
        connected_->fetch_add(1, std::memory_order_relaxed);
        connectionLine("the client is connect!", free->peer, fd);
    }
}

void ClientTable::pauseAccepting(int listenSocket) {
    for (Link& link : links_) {
        if (link.listenSocket != listenSocket || link.acceptPaused) continue;
        epoll_event none{};
        none.data.u32 = kListenTag | static_cast<std::uint32_t>(listenSocket);
        ::epoll_ctl(epollFd_, EPOLL_CTL_MOD, listenSocket, &none);
        link.acceptPaused = true;
        acceptResumes_ = std::chrono::steady_clock::now() + kAcceptPause;
    }
}

void ClientTable::resumeAccepting() {
    if (!acceptResumes_ || std::chrono::steady_clock::now() < *acceptResumes_) return;
    acceptResumes_.reset();
    for (Link& link : links_) {
        if (!link.acceptPaused) continue;
        epoll_event in{};
        in.events = EPOLLIN;
        in.data.u32 = kListenTag | static_cast<std::uint32_t>(link.listenSocket);
        ::epoll_ctl(epollFd_, EPOLL_CTL_MOD, link.listenSocket, &in);
        link.acceptPaused = false;
    }
}

void ClientTable::readClient(ClientSlot& slot) {
    const char* reason = nullptr;
    for (;;) {
        slot.buffer.fill(0);
        ssize_t n = ::recv(slot.socket, slot.buffer.data(), slot.buffer.size(), 0);
        if (n > 0) {
            slot.lastHeard = clock_();
            if (owner_) owner_->parse(slot, static_cast<int>(n));
            settleOutput(slot);
            return;
        }
        if (n == 0) {
            reason = "the client is close";
            break;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return;  // the next poll tells again
        reason = "Received error";
        break;
    }
    connectionLine(reason, slot.peer, slot.socket);
    closeSlot(slot);
}

void ClientTable::connectionLine(const char* what, const std::string& peer, int socket) {
    switch (connectionLines_.take(1, clock_())) {
        case OutputBudget::Verdict::Allowed:
            if (socket < 0) {
                consolePrintf("%s\n", what);
            } else {
                consolePrintf("%s: %s socket %d\n", what, peer.c_str(), socket);
            }
            break;
        case OutputBudget::Verdict::RanOut:
            consoleWrite("connection lines paused for the rest of the minute\n");
            break;
        case OutputBudget::Verdict::Refused:
            break;
    }
}

ClientSlot* ClientTable::evictable() {
    // The crowd pays first: the address holding most slots, then a phone
    // that lags behind its replies, then the one silent longest.
    ClientSlot* victim = nullptr;
    int victimShare = 0;
    auto rank = [](const ClientSlot& slot, int share) {
        return std::tuple(share, slot.pendingOutput() > 0,
                          -slot.lastHeard.time_since_epoch().count());
    };
    for (auto& slot : slots_) {
        if (slot.socket < 0) continue;
        int share = slotsOf(slot.peerAddress);
        if (!victim || rank(slot, share) > rank(*victim, victimShare)) {
            victim = &slot;
            victimShare = share;
        }
    }
    if (!victim) return nullptr;
    bool lonelyAndHeard = victimShare <= 1 && victim->pendingOutput() == 0 &&
                          clock_() - victim->lastHeard < kSilenceBeforeEviction;
    return lonelyAndHeard ? nullptr : victim;
}

ClientSlot* ClientTable::quietestOf(std::uint32_t address) {
    ClientSlot* quietest = nullptr;
    for (auto& slot : slots_) {
        if (slot.socket >= 0 && slot.peerAddress == address &&
            (!quietest || slot.lastHeard < quietest->lastHeard)) {
            quietest = &slot;
        }
    }
    return quietest;
}

int ClientTable::slotsOf(std::uint32_t address) const {
    return static_cast<int>(std::count_if(
        slots_.begin(), slots_.end(),
        [&](const ClientSlot& slot) { return slot.socket >= 0 && slot.peerAddress == address; }));
}

void ClientTable::closeSlot(ClientSlot& slot) {
    slot.peer.clear();
    slot.peerAddress = 0;
    slot.local.clear();
    slot.buffer.fill(0);
    slot.connection = 0;
    slot.dumpBudget.reset();
    std::string().swap(slot.output);
    slot.outputSent = 0;
    slot.watchingOutput = false;
    slot.overflowed = false;
    slot.sendFailed = false;
    if (slot.socket >= 0) {
        if (epollFd_ >= 0) ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, slot.socket, nullptr);
        ::close(slot.socket);
        slot.socket = -1;
        connected_->fetch_sub(1, std::memory_order_relaxed);
        connectionLine("CloseClient", {}, -1);
    }
}

void ClientTable::closeAll() {
    for (Link& link : links_) closeSockets(link);
    links_.clear();
    for (auto& slot : slots_) closeSlot(slot);
    closeSocket(epollFd_);
}

void ClientTable::settleOutput(ClientSlot& slot) {
    if (slot.socket < 0) return;
    if (slot.overflowed || slot.sendFailed) {
        connectionLine(slot.overflowed ? "the client is too slow" : "Send error", slot.peer,
                       slot.socket);
        closeSlot(slot);
        return;
    }
    watchOutput(slot, slot.pendingOutput() > 0);
}

void ClientTable::watchOutput(ClientSlot& slot, bool on) {
    if (slot.watchingOutput == on || epollFd_ < 0) return;
    epoll_event interest{};
    interest.events = on ? EPOLLIN | EPOLLOUT : EPOLLIN;
    interest.data.u32 = static_cast<std::uint32_t>(&slot - slots_.data());
    ::epoll_ctl(epollFd_, EPOLL_CTL_MOD, slot.socket, &interest);
    slot.watchingOutput = on;
}

void ClientTable::flushClient(ClientSlot& slot) {
    while (slot.pendingOutput() > 0) {
        ssize_t n = ::send(slot.socket, slot.output.data() + slot.outputSent, slot.pendingOutput(),
                           MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            slot.outputSent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;  // the next poll tells
        slot.sendFailed = true;
        settleOutput(slot);
        return;
    }
    slot.output.clear();
    slot.outputSent = 0;
    // A phone that was slow once must not keep a large buffer for good.
    if (slot.output.capacity() > kKeptOutputCapacity) std::string().swap(slot.output);
    watchOutput(slot, false);
}

void ClientTable::sendAll(ClientSlot& slot, const void* data, std::size_t length) {
    if (slot.socket < 0 || slot.overflowed || slot.sendFailed) return;
    auto* bytes = static_cast<const char*>(data);
    // Nothing owed: straight to the socket, which mostly takes it all.
    while (length > 0 && slot.pendingOutput() == 0) {
        ssize_t n = ::send(slot.socket, bytes, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            bytes += n;
            length -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        slot.sendFailed = true;
        return;
    }
    if (length == 0) return;
    if (slot.pendingOutput() + length > slot.outputLimit) {
        slot.overflowed = true;
        return;
    }
    if (slot.outputSent > 0) {
        slot.output.erase(0, slot.outputSent);
        slot.outputSent = 0;
    }
    slot.output.append(bytes, length);
}

}  // namespace zorvex
