// zorvex-link-latency: phones polling the link. Each connection asks for
// list 1 and then list 2 with the stamps it holds, at a fixed rate, and every
// answer's round trip is recorded. With --stalled N, N more phones ask for
// both full lists every millisecond and never read; one the service closes
// connects again. With --pid, the service's CPU time over the measured
// window is read from /proc/<pid>/stat. Every phone connects from a loopback
// address of its own (127.0.10.1 on), as phones on a LAN do: the service
// gives one address only a few slots.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "service/link_frame.h"

namespace wire = zorvex::wire;
using Clock = std::chrono::steady_clock;

namespace {

const char* kUsage =
    "usage: zorvex-link-latency [--host 127.0.0.1] [--connections 64] [--rate 20]\n"
    "                           [--seconds 10] [--stalled N] [--pid PID]\n"
    "The host must be a loopback address (127.0.0.0/8).\n";

struct Options {
    std::string host = "127.0.0.1";
    int connections = 64;
    double rate = 20;  // rounds of both lists per connection per second
    double seconds = 10;
    int stalled = 0;  // phones that never read
    long pid = 0;
};

// A phone that asks and never reads: its answers pile up at the service.
struct Stalled {
    int fd = -1;
    int nextType = 1;
};

// One phone: idle, or waiting for the answer to list 1 or list 2.
struct Phone {
    int fd = -1;
    std::string pending;
    std::uint32_t stamps[2] = {0, 0};
    int waitingFor = 0;  // 0 when idle, else the list type asked for
    Clock::time_point sentAt;
    Clock::time_point roundStart;
    Clock::time_point nextRound;
};

struct Tally {
    std::vector<double> requestMs;
    std::vector<double> roundMs;
    std::vector<double> lateMs;  // how long after its time a round could start
    long sent = 0;
    long skipped = 0;  // rounds not started because the last one was unanswered
    long bodies = 0;
    long errors = 0;
    long stalledAsked = 0;   // requests the stalled phones got into their sockets
    long stalledClosed = 0;  // times the service closed one of them
};

bool isLoopback(const std::string& host) {
    in_addr address{};
    return ::inet_pton(AF_INET, host.c_str(), &address) == 1 &&
           (ntohl(address.s_addr) >> 24) == 127;
}

std::optional<Options> parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (i + 1 >= argc) return std::nullopt;
        const char* value = argv[++i];
        if (name == "--host") {
            options.host = value;
        } else if (name == "--connections") {
            options.connections = std::atoi(value);
        } else if (name == "--rate") {
            options.rate = std::atof(value);
        } else if (name == "--seconds") {
            options.seconds = std::atof(value);
        } else if (name == "--stalled") {
            options.stalled = std::atoi(value);
        } else if (name == "--pid") {
            options.pid = std::atol(value);
        } else {
            return std::nullopt;
        }
    }
    if (!isLoopback(options.host) || options.connections < 1 || options.stalled < 0 ||
        options.connections + options.stalled > 64 || options.rate <= 0 || options.rate > 1000 ||
        options.seconds <= 0 || options.seconds > 60) {
        return std::nullopt;
    }
    return options;
}

// utime + stime of the process in clock ticks, or -1.
long cpuTicks(long pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The command name may hold spaces; the fields after it are plain numbers.
    auto close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long utime = -1;
    long stime = -1;
    // Field 3 (state) comes first here; utime and stime are fields 14 and 15.
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index == 14) utime = std::atol(field.c_str());
        if (index == 15) stime = std::atol(field.c_str());
    }
    return utime >= 0 && stime >= 0 ? utime + stime : -1;
}

// The n-th phone's own source address.
in_addr phoneAddress(std::size_t n) {
    in_addr from{};
    from.s_addr = htonl((127u << 24) | (10u << 8) | static_cast<std::uint32_t>(1 + n));
    return from;
}

int connectTo(const std::string& host, std::size_t phone, int receiveBuffer = 0) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(wire::kLinkPort);
    ::inet_pton(AF_INET, host.c_str(), &to.sin_addr);
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr = phoneAddress(phone);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
        ::close(fd);
        return -1;
    }
    if (receiveBuffer > 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    timeval limit{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendRequest(Phone& phone, int type) {
    std::string request = wire::encodeRequest(
        type == 1 ? wire::CMD_LIST_SOURCE : wire::CMD_LIST_CONVERTED, phone.stamps[type - 1]);
    return ::send(phone.fd, request.data(), request.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(request.size());
}

// Reads what has arrived; a whole frame comes back decoded.
std::optional<wire::Decoded> readFrame(Phone& phone, bool& failed) {
    char chunk[8192];
    ssize_t n = ::recv(phone.fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        failed = true;
        return std::nullopt;
    }
    if (n > 0) phone.pending.append(chunk, static_cast<std::size_t>(n));
    wire::Decoded decoded = wire::decodeListResponse(phone.pending);
    if (decoded.status == wire::Decoded::Status::Incomplete) return std::nullopt;
    phone.pending.erase(0, decoded.used);
    return decoded;
}

// The first exchange, with stamp 0, fetches both bodies and the stamps.
bool introduce(Phone& phone, std::size_t& entries) {
    for (int type : {1, 2}) {
        if (!sendRequest(phone, type)) return false;
        auto deadline = Clock::now() + std::chrono::seconds(5);
        std::optional<wire::Decoded> decoded;
        while (!decoded && Clock::now() < deadline) {
            pollfd in{phone.fd, POLLIN, 0};
            if (::poll(&in, 1, 100) < 0) return false;
            bool failed = false;
            decoded = readFrame(phone, failed);
            if (failed) return false;
        }
        if (!decoded || decoded->status != wire::Decoded::Status::Ok) return false;
        auto list = wire::decodeListBody(decoded->response.body);
        if (!list) return false;
        entries += list->size();
        phone.stamps[type - 1] = decoded->response.stamp;
    }
    return true;
}

// One full-list request (stamp 0 always gets the body), if the socket takes it.
void askStalled(Stalled& phone, Tally& tally) {
    std::string request = wire::encodeRequest(
        phone.nextType == 1 ? wire::CMD_LIST_SOURCE : wire::CMD_LIST_CONVERTED, 0);
    if (::send(phone.fd, request.data(), request.size(), MSG_NOSIGNAL | MSG_DONTWAIT) ==
        static_cast<ssize_t>(request.size())) {
        ++tally.stalledAsked;
        phone.nextType = 3 - phone.nextType;
    }
}

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Handles one arrived answer: the round goes on with list 2 or ends.
void onAnswer(Phone& phone, const wire::Decoded& decoded, Clock::time_point now, Tally& tally) {
    int type = phone.waitingFor;
    std::uint16_t expected = type == 1 ? wire::CMD_LIST_SOURCE : wire::CMD_LIST_CONVERTED;
    if (decoded.status != wire::Decoded::Status::Ok || decoded.response.command != expected) {
        ++tally.errors;
        phone.waitingFor = 0;
        return;
    }
    tally.requestMs.push_back(msBetween(phone.sentAt, now));
    if (decoded.response.hasBody) ++tally.bodies;
    phone.stamps[type - 1] = decoded.response.stamp;
    if (type == 1) {
        phone.waitingFor = 2;
        phone.sentAt = Clock::now();
        ++tally.sent;
        if (!sendRequest(phone, 2)) {
            ++tally.errors;
            phone.waitingFor = 0;
        }
        return;
    }
    tally.roundMs.push_back(msBetween(phone.roundStart, now));
    phone.waitingFor = 0;
}

}  // namespace

int main(int argc, char** argv) {
    auto parsed = parseOptions(argc, argv);
    if (!parsed) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const Options& options = *parsed;

    std::vector<Phone> phones(static_cast<std::size_t>(options.connections));
    std::size_t entries = 0;
    for (std::size_t i = 0; i < phones.size(); ++i) {
        Phone& phone = phones[i];
        phone.fd = connectTo(options.host, i);
        if (phone.fd < 0 || !introduce(phone, entries)) {
            std::fprintf(stderr, "zorvex-link-latency: no answer from %s:%u\n",
                         options.host.c_str(), wire::kLinkPort);
            return 1;
        }
    }

    // Small receive buffers: their answers soon stop fitting.
    constexpr int kStalledReceiveBuffer = 4096;
    std::vector<Stalled> stalled(static_cast<std::size_t>(options.stalled));
    for (std::size_t i = 0; i < stalled.size(); ++i) {
        Stalled& phone = stalled[i];
        phone.fd = connectTo(options.host, phones.size() + i, kStalledReceiveBuffer);
        if (phone.fd < 0) {
            std::fprintf(stderr, "zorvex-link-latency: cannot connect a stalled phone\n");
            return 1;
        }
    }
    constexpr auto kStalledPeriod = std::chrono::milliseconds(1);
    auto nextStalled = Clock::now();

    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / options.rate));
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(options.seconds));
    // Phones are not in step: their rounds are spread over the period.
    for (std::size_t i = 0; i < phones.size(); ++i) {
        phones[i].nextRound =
            start + period * static_cast<long>(i) / static_cast<long>(phones.size());
    }
    long ticksBefore = options.pid > 0 ? cpuTicks(options.pid) : -1;

    Tally tally;
    tally.requestMs.reserve(
        static_cast<std::size_t>(2 * options.rate * options.seconds) * phones.size() + 64);
    std::vector<pollfd> fds(phones.size() + stalled.size());
    const auto drainUntil = end + std::chrono::seconds(1);
    for (;;) {
        auto now = Clock::now();
        bool busy = false;
        auto wake = drainUntil;
        for (Phone& phone : phones) {
            if (now < end && now >= phone.nextRound) {
                tally.lateMs.push_back(msBetween(phone.nextRound, now));
                // Missed rounds are not made up later: a phone asks on its own clock.
                while (phone.nextRound <= now) phone.nextRound += period;
                if (phone.waitingFor != 0) {
                    ++tally.skipped;
                } else {
                    phone.waitingFor = 1;
                    phone.roundStart = phone.sentAt = now;
                    ++tally.sent;
                    if (!sendRequest(phone, 1)) {
                        ++tally.errors;
                        phone.waitingFor = 0;
                    }
                }
            }
            busy = busy || phone.waitingFor != 0;
            if (now < end) wake = std::min(wake, phone.nextRound);
        }
        if (now >= end && (!busy || now >= drainUntil)) break;
        if (now < end && now >= nextStalled) {
            for (Stalled& phone : stalled) askStalled(phone, tally);
            while (nextStalled <= now) nextStalled += kStalledPeriod;
        }
        if (!stalled.empty() && now < end) wake = std::min(wake, nextStalled);

        for (std::size_t i = 0; i < phones.size(); ++i) {
            fds[i] = {phones[i].fd, static_cast<short>(phones[i].waitingFor ? POLLIN : 0), 0};
        }
        for (std::size_t i = 0; i < stalled.size(); ++i) {
            fds[phones.size() + i] = {stalled[i].fd, POLLRDHUP, 0};
        }
        auto left = std::max(wake - Clock::now(), Clock::duration::zero());
        timespec timeout{
            static_cast<time_t>(std::chrono::duration_cast<std::chrono::seconds>(left).count()),
            static_cast<long>((std::chrono::duration_cast<std::chrono::nanoseconds>(left) %
                               std::chrono::seconds(1))
                                  .count())};
        int ready = ::ppoll(fds.data(), fds.size(), &timeout, nullptr);
        if (ready <= 0) continue;
        now = Clock::now();
        for (std::size_t i = 0; i < stalled.size(); ++i) {
            if ((fds[phones.size() + i].revents & (POLLRDHUP | POLLERR | POLLHUP)) == 0) continue;
            // Closed by the service for falling behind: a new one takes its place.
            ++tally.stalledClosed;
            ::close(stalled[i].fd);
            stalled[i].fd = connectTo(options.host, phones.size() + i, kStalledReceiveBuffer);
            if (stalled[i].fd < 0) {
                std::fprintf(stderr, "zorvex-link-latency: cannot reconnect a stalled phone\n");
                return 1;
            }
        }
        for (std::size_t i = 0; i < phones.size(); ++i) {
            if ((fds[i].revents & (POLLIN | POLLERR | POLLHUP)) == 0) continue;
            bool failed = false;
            auto decoded = readFrame(phones[i], failed);
            if (failed) {
                ++tally.errors;
                phones[i].waitingFor = 0;
                continue;
            }
            if (decoded) onAnswer(phones[i], *decoded, now, tally);
        }
    }
    long ticksAfter = options.pid > 0 ? cpuTicks(options.pid) : -1;
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    for (Phone& phone : phones) ::close(phone.fd);
    for (Stalled& phone : stalled) ::close(phone.fd);

    long unanswered = tally.sent - static_cast<long>(tally.requestMs.size()) - tally.errors;
    std::printf("connections %zu, %.0f rounds/s each, %.1f s; %zu entries in both lists\n",
                phones.size(), options.rate, options.seconds, entries / phones.size());
    std::printf(
        "requests %ld answered %zu unanswered %ld errors %ld skipped rounds %ld "
        "bodies %ld\n",
        tally.sent, tally.requestMs.size(), unanswered, tally.errors, tally.skipped, tally.bodies);
    if (!stalled.empty()) {
        std::printf(
            "stalled phones %zu: %ld full-list requests taken, closed by the service %ld "
            "times\n",
            stalled.size(), tally.stalledAsked, tally.stalledClosed);
    }
    std::printf("request latency ms: p50 %.3f p99 %.3f max %.3f\n",
                percentile(tally.requestMs, 0.50), percentile(tally.requestMs, 0.99),
                percentile(tally.requestMs, 1.0));
    std::printf("round (both lists) ms: p50 %.3f p99 %.3f\n", percentile(tally.roundMs, 0.50),
                percentile(tally.roundMs, 0.99));
    // The client's own timer lateness shows how busy the machine was.
    std::printf("client wake-up lateness ms: p50 %.3f p99 %.3f\n", percentile(tally.lateMs, 0.50),
                percentile(tally.lateMs, 0.99));
    double cpu = -1;
    if (ticksBefore >= 0 && ticksAfter >= 0) {
        cpu = 100.0 * static_cast<double>(ticksAfter - ticksBefore) /
              static_cast<double>(::sysconf(_SC_CLK_TCK)) / elapsed;
        std::printf("service cpu %.2f %% of one core (%ld ticks in %.2f s, %.1f us a request)\n",
                    cpu, ticksAfter - ticksBefore, elapsed,
                    tally.requestMs.empty() ? 0.0
                                            : cpu / 100.0 * elapsed * 1e6 /
                                                  static_cast<double>(tally.requestMs.size()));
    }
    // One line for scripts.
    std::printf(
        "RESULT p50_ms=%.4f p99_ms=%.4f cpu_pct=%.2f late_p99_ms=%.4f requests=%zu "
        "errors=%ld stalled_closed=%ld\n",
        percentile(tally.requestMs, 0.50), percentile(tally.requestMs, 0.99), cpu,
        percentile(tally.lateMs, 0.99), tally.requestMs.size(), tally.errors + unanswered,
        tally.stalledClosed);
    return tally.errors + unanswered == 0 && tally.requestMs.size() > 0 ? 0 : 1;
}
