// zorvex-idle-clients: connections that never send a byte, as an attacker or
// a crowd of forgotten phones would hold them. Opens --count connections to
// the host's port, spread over the --from addresses, and keeps them open;
// one that the server closes is opened again, at most --reopen a second.
// Prints "held N" each second (N: connections open and not closed by the
// server). Runs for --seconds or until SIGTERM or SIGINT.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char* kUsage =
    "usage: zorvex-idle-clients --host 127.0.0.1 --port 11717 [--from 127.0.0.2[,127.0.0.3...]]\n"
    "                           [--count 1000] [--reopen 200] [--seconds 60]\n"
    "Every address must be a loopback address (127.0.0.0/8).\n";

volatile sig_atomic_t stopping = 0;

bool loopback(const std::string& address, in_addr& out) {
    return ::inet_pton(AF_INET, address.c_str(), &out) == 1 && (ntohl(out.s_addr) >> 24) == 127;
}

struct Options {
    in_addr host{};
    int port = 0;
    std::vector<in_addr> sources;
    int count = 1000;
    int reopenPerSecond = 200;
    double seconds = 60;
};

int open(const Options& options, const in_addr& source) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int on = 1;
    ::setsockopt(fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    from.sin_addr = source;
    to.sin_addr = options.host;
    to.sin_port = htons(static_cast<std::uint16_t>(options.port));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 && errno != EINPROGRESS)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string from = "127.0.0.2";
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string name = argv[i], value = argv[i + 1];
        if (name == "--host") {
            if (!loopback(value, options.host)) return std::fputs(kUsage, stderr), 2;
        } else if (name == "--port") {
            options.port = std::atoi(value.c_str());
        } else if (name == "--from") {
            from = value;
        } else if (name == "--count") {
            options.count = std::atoi(value.c_str());
        } else if (name == "--reopen") {
            options.reopenPerSecond = std::atoi(value.c_str());
        } else if (name == "--seconds") {
            options.seconds = std::atof(value.c_str());
        } else {
            return std::fputs(kUsage, stderr), 2;
        }
    }
    for (std::size_t start = 0; start <= from.size();) {
        std::size_t comma = from.find(',', start);
        if (comma == std::string::npos) comma = from.size();
        in_addr source{};
        if (!loopback(from.substr(start, comma - start), source)) {
            return std::fputs(kUsage, stderr), 2;
        }
        options.sources.push_back(source);
        start = comma + 1;
    }
    if (argc % 2 == 0 || options.host.s_addr == 0 || options.port <= 0 || options.count <= 0 ||
        options.reopenPerSecond <= 0) {
        return std::fputs(kUsage, stderr), 2;
    }
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
    ::signal(SIGTERM, [](int) { stopping = 1; });
    ::signal(SIGINT, [](int) { stopping = 1; });

    std::vector<pollfd> held(static_cast<std::size_t>(options.count), pollfd{-1, POLLIN, 0});
    auto end = Clock::now() + std::chrono::duration<double>(options.seconds);
    auto nextReport = Clock::now();
    auto nextBudget = Clock::now();
    int budget = 0;
    while (!stopping && Clock::now() < end) {
        auto now = Clock::now();
        if (now >= nextBudget) {
            budget = options.reopenPerSecond;
            nextBudget = now + std::chrono::seconds(1);
        }
        for (std::size_t i = 0; i < held.size() && budget > 0; ++i) {
            if (held[i].fd >= 0) continue;
            held[i].fd = open(options, options.sources[i % options.sources.size()]);
            --budget;
        }
        ::poll(held.data(), held.size(), 100);
        int open = 0;
        for (pollfd& connection : held) {
            if (connection.fd < 0) continue;
            if (connection.revents & (POLLIN | POLLHUP | POLLERR)) {
                char byte;
                if (::recv(connection.fd, &byte, 1, MSG_DONTWAIT) <= 0) {
                    ::close(connection.fd);
                    connection.fd = -1;
                    continue;
                }
            }
            ++open;
        }
        if (Clock::now() >= nextReport) {
            std::printf("held %d\n", open);
            std::fflush(stdout);
            nextReport += std::chrono::seconds(1);
        }
    }
    for (pollfd& connection : held) {
        if (connection.fd >= 0) ::close(connection.fd);
    }
    return 0;
}
