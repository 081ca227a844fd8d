#include "platform/network_watch.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>

namespace zorvex {

namespace {

// Changes come in bursts (a link going up brings its addresses and routes):
// one look once they have settled.
constexpr int kSettleMs = 150;
// A network that never settles is still looked at this often.
constexpr auto kLongestSettle = std::chrono::milliseconds(1000);

int openNetlink() {
    int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) return -1;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads what is queued; true if anything (or an overrun, which hides news) came.
bool drain(int fd) {
    bool news = false;
    std::array<char, 8192> buffer;
    for (;;) {
        ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n > 0) {
            news = true;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == ENOBUFS) {
            news = true;
            continue;
        }
        return news;
    }
}

}  // namespace

NetworkWatch::NetworkWatch(Callback onChange, std::chrono::milliseconds heartbeat)
    : onChange_(std::move(onChange)),
      heartbeat_(heartbeat),
      netlinkFd_(openNetlink()),
      stopFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      pokeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    thread_ = std::thread([this] { run(); });
}

void NetworkWatch::poke() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(pokeFd_, &one, sizeof one);
}

NetworkWatch::~NetworkWatch() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(stopFd_, &one, sizeof one);
    if (thread_.joinable()) thread_.join();
    if (netlinkFd_ >= 0) ::close(netlinkFd_);
    if (stopFd_ >= 0) ::close(stopFd_);
    if (pokeFd_ >= 0) ::close(pokeFd_);
}

void NetworkWatch::run() {
    std::array<pollfd, 3> fds{};
    fds[0] = {stopFd_, POLLIN, 0};
    fds[1] = {pokeFd_, POLLIN, 0};
    fds[2] = {netlinkFd_, POLLIN, 0};
    const nfds_t count = netlinkFd_ >= 0 ? 3 : 2;
    bool pending = false;  // news waiting for the burst to settle
    auto firstNews = std::chrono::steady_clock::now();
    for (;;) {
        int wait = pending ? kSettleMs : static_cast<int>(heartbeat_.count());
        int ready = ::poll(fds.data(), count, wait);
        if (ready < 0 && errno == EINTR) continue;
        if (ready > 0 && (fds[0].revents & POLLIN)) return;
        if (ready > 0 && (fds[1].revents & POLLIN)) {
            std::uint64_t pokes;
            [[maybe_unused]] auto n = ::read(pokeFd_, &pokes, sizeof pokes);
        } else if (ready > 0 && count == 3 && (fds[2].revents & POLLIN)) {
            if (drain(netlinkFd_) && !pending) {
                pending = true;
                firstNews = std::chrono::steady_clock::now();
            }
            // The settle time starts again with each message, up to a limit.
            if (!pending || std::chrono::steady_clock::now() - firstNews < kLongestSettle) continue;
        }
        pending = false;
        onChange_();
    }
}

}  // namespace zorvex
