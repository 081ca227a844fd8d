#include "service/wide_sendfile.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>

namespace zorvex {

namespace {

// The library's chunk (MHD_SENFILE_CHUNK_, the same from 0.9.x to 1.0.x).
// A call of another size is its last piece of a body, or not from it.
constexpr std::size_t kLibraryChunk = 0x20000;
constexpr std::uint64_t kWidestCall = std::uint64_t{4} << 20;
// Left for the library's own final call.
constexpr std::uint64_t kLeftToTheLibrary = 4096;
constexpr int kNotedDescriptors = 1 << 16;

// End offset + 1 of the body read from each descriptor; 0 for none. The
// library reads a body on the thread that answered its request, so relaxed
// order is enough.
std::array<std::atomic<std::uint64_t>, kNotedDescriptors> bodyEnds{};
// Sockets whose next send is the header of a file body.
std::array<std::atomic<bool>, kNotedDescriptors> headerFirst{};
// Sockets given TCP_NODELAY as they opened.
std::array<std::atomic<bool>, kNotedDescriptors> noDelay{};
// Sockets corked for the rest of a body that takes more than one call.
std::array<std::atomic<bool>, kNotedDescriptors> corked{};
std::atomic<std::uint64_t> widened{0};
std::atomic<std::uint64_t> joined{0};
std::atomic<std::uint64_t> corks{0};
std::atomic<std::uint64_t> released{0};

bool noted(int fd) {
    return fd >= 0 && fd < kNotedDescriptors;
}

bool cork(int socket, int on) {
    return ::syscall(SYS_setsockopt, socket, IPPROTO_TCP, TCP_CORK, &on, sizeof on) == 0;
}

}  // namespace

void noteFileBody(int socket, int fd, std::uint64_t endOffset) {
    if (noted(fd)) {
        bodyEnds[static_cast<std::size_t>(fd)].store(endOffset + 1, std::memory_order_relaxed);
    }
    if (noted(socket)) headerFirst[static_cast<std::size_t>(socket)].store(true);
}

void noteSocketOpened(int socket) {
    if (!noted(socket)) return;
    const int on = 1;
    if (::syscall(SYS_setsockopt, socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0) {
        noDelay[static_cast<std::size_t>(socket)].store(true);
    }
}

void noteSocketClosed(int socket) {
    if (!noted(socket)) return;
    headerFirst[static_cast<std::size_t>(socket)].store(false);
    noDelay[static_cast<std::size_t>(socket)].store(false);
    corked[static_cast<std::size_t>(socket)].store(false);  // the close pushes what is held
}

std::uint64_t widenedSendfileCalls() {
    return widened.load(std::memory_order_relaxed);
}

std::uint64_t headersJoinedToBodies() {
    return joined.load(std::memory_order_relaxed);
}

CorkCounts corkCounts() {
    return {corks.load(std::memory_order_relaxed), released.load(std::memory_order_relaxed)};
}

}  // namespace zorvex

extern "C" ssize_t sendfile64(int out, int in, off64_t* offset, std::size_t count) noexcept {
    using namespace zorvex;
    const std::uint64_t end =
        offset && *offset >= 0 && noted(in)
            ? bodyEnds[static_cast<std::size_t>(in)].load(std::memory_order_relaxed)
            : 0;
    const auto at = end > 0 ? static_cast<std::uint64_t>(*offset) : 0;
    const std::uint64_t rest = end > 0 && end - 1 > at ? end - 1 - at : 0;
    if (count == kLibraryChunk) {
        if (rest > kLibraryChunk && rest <= kWidestCall) {
            count = static_cast<std::size_t>(rest);
            widened.fetch_add(1, std::memory_order_relaxed);
        } else if (rest > kLibraryChunk + kLeftToTheLibrary) {
            count = static_cast<std::size_t>(std::min(rest - kLeftToTheLibrary, kWidestCall));
            widened.fetch_add(1, std::memory_order_relaxed);
        }
    }
    // Should the header have gone another way, the mark must not outlive the body.
    if (noted(out) && headerFirst[static_cast<std::size_t>(out)].load()) {
        headerFirst[static_cast<std::size_t>(out)].store(false);
    }
    // A body too long for one call goes corked to its end, as sendfile keeps
    // its segments full only within one call: between calls, each small
    // opening of the phone's window would let a small segment go. A shorter
    // one that the socket takes in parts is not worth two more calls.
    const bool socketNoted = rest > 0 && noted(out);
    if (socketNoted && rest > kWidestCall && !corked[static_cast<std::size_t>(out)].load() &&
        cork(out, 1)) {
        corked[static_cast<std::size_t>(out)].store(true);
        corks.fetch_add(1, std::memory_order_relaxed);
    }
    const auto sent = static_cast<ssize_t>(::syscall(SYS_sendfile, out, in, offset, count));
    if (socketNoted && sent > 0 && static_cast<std::uint64_t>(sent) >= rest &&
        corked[static_cast<std::size_t>(out)].load() &&
        corked[static_cast<std::size_t>(out)].exchange(false)) {
        released.fetch_add(1, std::memory_order_relaxed);
        const int saved = errno;
        cork(out, 0);  // pushes the body's last segment
        errno = saved;
    }
    if (sent == 0 && count > 0) {
        // The file ended before the length already promised: cut short while
        // it streams. The library takes 0 as a full socket and would wait for
        // the connection's timeout; an error ends the connection now.
        errno = EBADF;
        return -1;
    }
    return sent;
}

extern "C" ssize_t send(int fd, const void* buffer, std::size_t length, int flags) {
    using namespace zorvex;
    // A header of a file body waits for the body's first bytes to fill its
    // segment; sendfile pushes at its own end.
    if (noted(fd) && !(flags & MSG_MORE) && headerFirst[static_cast<std::size_t>(fd)].load() &&
        headerFirst[static_cast<std::size_t>(fd)].exchange(false)) {
        flags |= MSG_MORE;
        joined.fetch_add(1, std::memory_order_relaxed);
    }
    return static_cast<ssize_t>(::syscall(SYS_sendto, fd, buffer, length, flags, nullptr, 0));
}

extern "C" int setsockopt(int fd, int level, int name, const void* value,
                          socklen_t length) noexcept {
    using namespace zorvex;
    // The library's requests to cork and uncork are taken as done: only a
    // body of many calls is corked, above (see the header). Nor is
    // TCP_NODELAY set twice: set again, it would push out a header waiting
    // for its body.
    if (level == IPPROTO_TCP && name == TCP_CORK) return 0;
    if (level == IPPROTO_TCP && name == TCP_NODELAY && noted(fd) && value &&
        length == sizeof(int) && *static_cast<const int*>(value) == 1 &&
        noDelay[static_cast<std::size_t>(fd)].load()) {
        return 0;
    }
    return static_cast<int>(::syscall(SYS_setsockopt, fd, level, name, value, length));
}
