#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zorvex::test {

// A plain TCP server on 127.0.0.1 at a port the system picks, for what a
// real HTTP server will not do: it records each request's exact bytes, then
// sends the scripted reply verbatim and closes, or, when silent, never
// answers and holds the connection until destroyed, or streams a body of
// any length at any pace until the client goes away.
class RawTestServer {
public:
    struct Stream {
        std::string head;          // sent at once, "\r\n\r\n" included
        std::string start = "MZ";  // the body's first bytes; 'z' after them
        std::uint64_t length = 0;  // body bytes in all
        std::size_t chunk = 64 * 1024;
        std::chrono::milliseconds interval{0};  // the pause after each chunk
    };

    RawTestServer();
    ~RawTestServer();
    RawTestServer(const RawTestServer&) = delete;
    RawTestServer& operator=(const RawTestServer&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    void reply(std::string bytes);
    void beSilent();
    void stream(Stream stream);
    // Body bytes streamed so far, over all connections.
    std::uint64_t streamed() const { return streamed_.load(); }
    // Each request's bytes, head and body, as received.
    std::vector<std::string> requests() const;
    int connections() const { return connections_.load(); }

private:
    void run();
    // False when the server is stopping or the client went away.
    bool waitReadable(int fd) const;
    std::string readRequest(int fd) const;
    // False when the server is stopping or the client went away.
    bool sendPaced(int fd, const std::string& bytes, std::chrono::milliseconds pause);
    void sendStream(int fd, const Stream& stream);

    int listenFd_ = -1;
    int stopFd_ = -1;  // an eventfd that wakes the thread for destruction
    int port_ = 0;
    std::atomic<int> connections_{0};
    std::atomic<std::uint64_t> streamed_{0};
    mutable std::mutex mutex_;  // guards the members below
    std::string reply_;
    bool silent_ = false;
    std::optional<Stream> stream_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// A port on 127.0.0.1 held bound without listening, so connecting is
// refused and no other test can take the port meanwhile.
class RefusingPort {
public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace zorvex::test
