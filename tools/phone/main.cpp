// zorvex-phone: what a phone sees of the PC. Users run it when a phone cannot
// find the PC; the tests use it to talk to the service as a phone would.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/gbk_text.h"
#include "service/link_frame.h"

namespace wire = zorvex::wire;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitNoAnswer = 1;
constexpr int kExitUsage = 2;

const char* kUsage =
    "usage: zorvex-phone discover [--timeout SECONDS]\n"
    "       zorvex-phone list [--host H] [--type 1|2] [--stamp S] [--timeout SECONDS]\n"
    "       zorvex-phone fetch KEY [--host H] [-o FILE] [--range A-B] [--timeout SECONDS]\n"
    "       zorvex-phone watch [--host H] [--count N]\n"
    "Without --host, the PC is found by its discovery broadcast on UDP 7171.\n";

struct Options {
    std::string command;
    std::string key;
    std::string host;
    std::string output;
    std::string range;
    int type = 1;
    std::uint32_t stamp = 0;
    double timeout = 5;
    int count = 0;  // watch: rounds, 0 for ever
};

int usage(const std::string& error) {
    std::fprintf(stderr, "zorvex-phone: %s\n%s", error.c_str(), kUsage);
    return kExitUsage;
}

std::optional<unsigned long> number(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return {};
    return std::strtoul(text.c_str(), nullptr, 10);
}

int msLeft(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long>(0, left.count()));
}

std::chrono::steady_clock::time_point deadlineAfter(double seconds) {
    return std::chrono::steady_clock::now() +
           std::chrono::milliseconds(static_cast<long>(seconds * 1000));
}

std::optional<wire::Discovery> discover(double timeout) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(wire::kDiscoveryPort);
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) {
        std::perror("zorvex-phone: cannot listen on UDP 7171");
        ::close(fd);
        return {};
    }
    auto deadline = deadlineAfter(timeout);
    std::optional<wire::Discovery> found;
    while (!found) {
        pollfd in{fd, POLLIN, 0};
        if (::poll(&in, 1, msLeft(deadline)) <= 0) break;
        char packet[512];
        ssize_t n = ::recv(fd, packet, sizeof packet, 0);
        if (n > 0) found = wire::parseDiscoveryPacket(std::string_view(packet, n));
    }
    ::close(fd);
    return found;
}

int connectTo(const std::string& host, std::uint16_t port, double timeout) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (::inet_pton(AF_INET, host.c_str(), &to.sin_addr) != 1) return -1;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Blocking connect bounded by the socket's send time-out.
    timeval limit{static_cast<time_t>(timeout), 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends one request and reads until one whole answer has arrived.
std::optional<wire::Decoded> ask(int fd, std::uint16_t command, std::uint32_t stamp,
                                 double timeout) {
    std::string request = wire::encodeRequest(command, stamp);
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size())) {
        return {};
    }
    auto deadline = deadlineAfter(timeout);
    std::string received;
    for (;;) {
        wire::Decoded decoded = wire::decodeListResponse(received);
        if (decoded.status != wire::Decoded::Status::Incomplete) return decoded;
        pollfd in{fd, POLLIN, 0};
        if (::poll(&in, 1, msLeft(deadline)) <= 0) return {};
        char chunk[8192];
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) return {};
        received.append(chunk, static_cast<std::size_t>(n));
    }
}

bool resolveHost(Options& options) {
    if (!options.host.empty()) return true;
    auto found = discover(options.timeout);
    if (!found) {
        std::fprintf(stderr, "zorvex-phone: no discovery broadcast heard\n");
        return false;
    }
    options.host = found->address;
    return true;
}

// Names arrive in GBK, as the phones read them.
void printEntries(const std::vector<wire::WireEntry>& entries) {
    for (const auto& entry : entries) {
        std::printf("%d %d %s %s\n", entry.exists ? 1 : 0, entry.hasThumbnail ? 1 : 0,
                    entry.key.c_str(), zorvex::gbkToUtf8(entry.name).c_str());
    }
}

int runDiscover(const Options& options) {
    auto found = discover(options.timeout);
    if (!found) {
        std::fprintf(stderr, "zorvex-phone: no discovery broadcast heard\n");
        return kExitNoAnswer;
    }
    std::printf("address %s http %u link %u\n", found->address.c_str(), found->httpPort,
                found->linkPort);
    return kExitOk;
}

int runList(Options options) {
    if (!resolveHost(options)) return kExitNoAnswer;
    int fd = connectTo(options.host, wire::kLinkPort, options.timeout);
    if (fd < 0) {
        std::fprintf(stderr, "zorvex-phone: cannot connect to %s:%u\n", options.host.c_str(),
                     wire::kLinkPort);
        return kExitNoAnswer;
    }
    std::uint16_t command = options.type == 1 ? wire::CMD_LIST_SOURCE : wire::CMD_LIST_CONVERTED;
    auto answer = ask(fd, command, options.stamp, options.timeout);
    ::close(fd);
    if (!answer) {
        std::fprintf(stderr, "zorvex-phone: no answer from %s\n", options.host.c_str());
        return kExitNoAnswer;
    }
    if (answer->status != wire::Decoded::Status::Ok) {
        std::fprintf(stderr, "zorvex-phone: the PC %s the request\n",
                     answer->status == wire::Decoded::Status::Rejected ? "rejected" : "garbled");
        return kExitNoAnswer;
    }
    const auto& response = answer->response;
    if (!response.hasBody) {
        std::printf("stamp %u unchanged\n", response.stamp);
        return kExitOk;
    }
    auto entries = wire::decodeListBody(response.body);
    if (!entries) {
        std::fprintf(stderr, "zorvex-phone: malformed list body\n");
        return kExitNoAnswer;
    }
    std::printf("stamp %u entries %zu\n", response.stamp, entries->size());
    printEntries(*entries);
    return kExitOk;
}

size_t writeToFile(char* data, size_t size, size_t count, void* file) {
    return std::fwrite(data, size, count, static_cast<FILE*>(file));
}

int runFetch(Options options) {
    if (!resolveHost(options)) return kExitNoAnswer;
    FILE* out = options.output.empty() ? stdout : std::fopen(options.output.c_str(), "wb");
    if (!out) {
        std::perror(("zorvex-phone: " + options.output).c_str());
        return kExitUsage;
    }
    std::string url =
        "http://" + options.host + ":" + std::to_string(wire::kHttpPort) + "/" + options.key;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeToFile);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, out);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.timeout * 1000));
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    if (!options.range.empty()) curl_easy_setopt(curl, CURLOPT_RANGE, options.range.c_str());
    CURLcode result = curl_easy_perform(curl);
    long status = 0;
    curl_off_t bytes = 0;
    char* type = nullptr;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(curl, CURLINFO_SIZE_DOWNLOAD_T, &bytes);
    curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type);
    std::fprintf(stderr, "%s: HTTP %ld, %lld bytes, %s\n", url.c_str(), status,
                 static_cast<long long>(bytes), type ? type : "no type");
    curl_easy_cleanup(curl);
    if (out != stdout) std::fclose(out);
    if (result != CURLE_OK) {
        std::fprintf(stderr, "zorvex-phone: %s\n", curl_easy_strerror(result));
        return kExitNoAnswer;
    }
    return status == 200 || status == 206 ? kExitOk : kExitNoAnswer;
}

// Polls both lists once a second on one connection, as phones do, and prints
// each list whenever its body comes back.
int runWatch(Options options) {
    if (!resolveHost(options)) return kExitNoAnswer;
    int fd = connectTo(options.host, wire::kLinkPort, options.timeout);
    if (fd < 0) {
        std::fprintf(stderr, "zorvex-phone: cannot connect to %s\n", options.host.c_str());
        return kExitNoAnswer;
    }
    std::map<int, std::uint32_t> stamps{{1, 0}, {2, 0}};
    for (int round = 0; options.count == 0 || round < options.count; ++round) {
        if (round > 0) std::this_thread::sleep_for(std::chrono::seconds(1));
        for (auto& [type, stamp] : stamps) {
            auto answer = ask(fd, type == 1 ? wire::CMD_LIST_SOURCE : wire::CMD_LIST_CONVERTED,
                              stamp, options.timeout);
            if (!answer || answer->status != wire::Decoded::Status::Ok) {
                std::fprintf(stderr, "zorvex-phone: the connection was lost\n");
                ::close(fd);
                return kExitNoAnswer;
            }
            if (!answer->response.hasBody) continue;
            stamp = answer->response.stamp;
            auto entries = wire::decodeListBody(answer->response.body);
            std::printf("list %d stamp %u entries %zu\n", type, stamp,
                        entries ? entries->size() : 0);
            if (entries) printEntries(*entries);
            std::fflush(stdout);
        }
    }
    ::close(fd);
    return kExitOk;
}

std::optional<Options> parse(int argc, char** argv, std::string& error) {
    Options options;
    if (argc < 2) {
        error = "no command";
        return {};
    }
    options.command = argv[1];
    int i = 2;
    if (options.command == "fetch") {
        if (argc < 3 || std::string(argv[2]).starts_with("-")) {
            error = "fetch needs a key";
            return {};
        }
        options.key = argv[i++];
    }
    for (; i < argc; ++i) {
        std::string arg = argv[i];
        if (i + 1 >= argc) {
            error = "missing value after " + arg;
            return {};
        }
        std::string value = argv[++i];
        if (arg == "--host") {
            options.host = value;
        } else if (arg == "--type" && (value == "1" || value == "2")) {
            options.type = value[0] - '0';
        } else if (arg == "--stamp" && number(value) && *number(value) <= 0xFFFFFFFFul) {
            options.stamp = static_cast<std::uint32_t>(*number(value));
        } else if (arg == "--timeout" && number(value) && *number(value) > 0) {
            options.timeout = static_cast<double>(*number(value));
        } else if (arg == "--count" && number(value)) {
            options.count = static_cast<int>(*number(value));
        } else if (arg == "-o") {
            options.output = value;
        } else if (arg == "--range" && value.find('-') != std::string::npos) {
            options.range = value;
        } else {
            error = "bad argument " + arg;
            error += ' ';
            error += value;
            return {};
        }
    }
    if (!options.host.empty()) {
        in_addr ignored;
        if (::inet_pton(AF_INET, options.host.c_str(), &ignored) != 1) {
            error = "--host needs an IPv4 address";
            return {};
        }
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    auto options = parse(argc, argv, error);
    if (!options) return usage(error);
    if (options->command == "discover") return runDiscover(*options);
    if (options->command == "list") return runList(*options);
    if (options->command == "watch") return runWatch(*options);
    if (options->command == "fetch") {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        int code = runFetch(*options);
        curl_global_cleanup();
        return code;
    }
    if (options->command == "--help" || options->command == "help") {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    return usage("unknown command " + options->command);
}
