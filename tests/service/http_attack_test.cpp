// The HTTP side under load that any host on the LAN can make: idle
// connections, readers that never read, many connections from one address,
// trickled request heads from many; a file cut short while it streams.
// Attackers connect from 127.0.0.2 and beyond, phones from 127.0.0.1.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "phone_link.h"
#include "service/http_file_server.h"
#include "service/http_workers.h"
#include "service/link_file.h"
#include "service/service.h"
#include "support/test_support.h"

namespace zorvex {
namespace {

using test::PhoneLink;

const std::string kHost = test::runAddress();

// One request on a fresh connection from 127.0.0.1; the status code, or 0.
int fetchStatus(int port, const std::string& path, std::string* body = nullptr) {
    PhoneLink phone(kHost, port, "127.0.0.1");
    if (!phone.send("GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")) return 0;
    std::string reply = phone.receive(1 << 20, std::chrono::seconds(20));
    if (reply.rfind("HTTP/1.1 ", 0) != 0) return 0;
    if (body) body->assign(reply.substr(reply.find("\r\n\r\n") + 4));
    return std::stoi(reply.substr(9, 3));
}

// A client that asks for a file and never reads: its receive buffer is made
// small first, so that the server's sends stall at once.
int stalledReader(const std::string& source, int port, const std::string& path) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int small = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    int on = 1;
    ::setsockopt(fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    ::inet_pton(AF_INET, source.c_str(), &from.sin_addr);
    ::inet_pton(AF_INET, kHost.c_str(), &to.sin_addr);
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    std::string request = "GET " + path + " HTTP/1.1\r\nHost: x\r\n\r\n";
    if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 ||
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(request.size())) {
        ::close(fd);
        return -1;
    }
    return fd;
}

class HttpUnderAttack : public ::testing::Test {
protected:
    void SetUp() override {
        home.write("file_root/image/" + key + ".jpg", std::string(4096, 'j'));
        big = videos.file("big.mp4");
        // Far more than any socket buffers hold.
        test::TempDir::writeTo(big, std::string(32 << 20, 'v'));
        home.write("file_root/" + key, encodeLinkFile({1, true, true, "big.mp4", key, big}));
    }

    bool start(const HttpFileServer::Limits& limits = HttpFileServer::defaultLimits()) {
        return server.start(kHost, 0, home.path(), limits) && server.port() > 0;
    }

    test::TempDir home, videos;
    std::string key = std::string(31, 'a') + "b";
    std::string big;
    HttpFileServer server;
};

TEST_F(HttpUnderAttack, HundredsOfIdleConnectionsDoNotStarveAPhone) {
    ASSERT_TRUE(start());
    // 300 idle connections, more than the first build had workers, from
    // three addresses so that the per-address limit is not what saves us.
    std::vector<std::unique_ptr<PhoneLink>> idle;
    for (const char* source : {"127.0.0.2", "127.0.0.3", "127.0.0.4"}) {
        for (int i = 0; i < 100; ++i) {
            idle.push_back(std::make_unique<PhoneLink>(kHost, server.port(), source));
            ASSERT_TRUE(idle.back()->connected());
        }
    }
    for (int i = 0; i < 20; ++i) {
        std::string body;
        ASSERT_EQ(fetchStatus(server.port(), "/image/" + key + ".jpg", &body), 200) << i;
        EXPECT_EQ(body.size(), 4096u);
    }
}

TEST_F(HttpUnderAttack, ReadersThatNeverReadDoNotBlockOthers) {
    ASSERT_TRUE(start());
    std::vector<int> stalled;
    for (int i = 0; i < 150; ++i) {
        int fd = stalledReader(i % 2 ? "127.0.0.2" : "127.0.0.3", server.port(), "/" + key);
        ASSERT_GE(fd, 0);
        stalled.push_back(fd);
    }
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(fetchStatus(server.port(), "/image/" + key + ".jpg"), 200) << i;
    }
    for (int fd : stalled) ::close(fd);
}

TEST_F(HttpUnderAttack, OneAddressGetsItsShareAndIdlersAreTimedOut) {
    HttpFileServer::Limits limits;
    limits.threads = 2;
    limits.maxConnections = 8;
    limits.perAddress = 4;
    limits.timeoutSeconds = 1;
    ASSERT_TRUE(start(limits));
    // Half a request keeps each connection busy in the server's eyes.
    std::vector<std::unique_ptr<PhoneLink>> held;
    for (int i = 0; i < 4; ++i) {
        held.push_back(std::make_unique<PhoneLink>(kHost, server.port(), "127.0.0.2"));
        ASSERT_TRUE(held.back()->send("GET / HTTP/1.1\r\n"));
    }
    PhoneLink fifth(kHost, server.port(), "127.0.0.2");
    ASSERT_TRUE(fifth.connected());
    EXPECT_TRUE(fifth.closedByPeer());
    EXPECT_EQ(fetchStatus(server.port(), "/image/" + key + ".jpg"), 200);

    // A second address: the oldest unfinished heads give way, the rest are
    // timed out.
    for (int i = 0; i < 4; ++i) {
        held.push_back(std::make_unique<PhoneLink>(kHost, server.port(), "127.0.0.3"));
        ASSERT_TRUE(held.back()->send("GET / HTTP/1.1\r\n"));
    }
    for (auto& connection : held) EXPECT_TRUE(connection->closedByPeer(std::chrono::seconds(20)));
    EXPECT_TRUE(test::waitUntil(
        [&] { return fetchStatus(server.port(), "/image/" + key + ".jpg") == 200; }));
}

TEST_F(HttpUnderAttack, TrickledHeadsFromManyAddressesLeaveRoomForANewPhone) {
    HttpFileServer::Limits limits;
    limits.threads = 2;
    limits.maxConnections = 64;
    limits.perAddress = 16;
    limits.unfinishedHeads = 16;
    ASSERT_TRUE(start(limits));
    // Far more unfinished heads than the table holds; none is ever timed out.
    std::vector<std::unique_ptr<PhoneLink>> held;
    for (int address = 2; address < 8; ++address) {
        for (int i = 0; i < 16; ++i) {
            held.push_back(std::make_unique<PhoneLink>(kHost, server.port(),
                                                       "127.0.0." + std::to_string(address)));
            ASSERT_TRUE(held.back()->send("GET / HTTP/1.1\r\n"));
        }
    }
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(fetchStatus(server.port(), "/image/" + key + ".jpg"), 200) << i;
    }
    // A phone that keeps its connection between requests is not the one
    // that gives way while others hold more.
    PhoneLink phone(kHost, server.port(), "127.0.0.1");
    const std::string request = "GET /image/" + key + ".jpg HTTP/1.1\r\nHost: x\r\n\r\n";
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 16; ++i) {
            held.push_back(std::make_unique<PhoneLink>(kHost, server.port(), "127.0.0.9"));
            ASSERT_TRUE(held.back()->send("GET / HTTP/1.1\r\n"));
        }
        ASSERT_TRUE(phone.send(request)) << round;
        std::string head;
        while (head.find("\r\n\r\n") == std::string::npos) {
            std::string got = phone.receive(1, std::chrono::seconds(20));
            ASSERT_EQ(got.size(), 1u) << round << head;
            head += got;
        }
        EXPECT_EQ(head.rfind("HTTP/1.1 200", 0), 0u) << round;
        EXPECT_EQ(phone.receive(4096).size(), 4096u) << round;
    }
}

TEST_F(HttpUnderAttack, OneWorkerThreadServesTwoAddressesEachWithItsOwnLimits) {
    HttpFileServer::Limits limits;
    limits.workers = std::make_shared<HttpWorkers>(1);
    limits.perAddress = 4;
    ASSERT_TRUE(start(limits));
    HttpFileServer other;
    ASSERT_TRUE(other.start(test::runAddress(2), 0, home.path(), limits));
    // An address's share on one network leaves its share on the other whole.
    std::vector<std::unique_ptr<PhoneLink>> held, served;
    for (int i = 0; i < 4; ++i) {
        held.push_back(std::make_unique<PhoneLink>(kHost, server.port(), "127.0.0.2"));
        ASSERT_TRUE(held.back()->send("GET / HTTP/1.1\r\n"));
        served.push_back(
            std::make_unique<PhoneLink>(test::runAddress(2), other.port(), "127.0.0.2"));
        ASSERT_TRUE(served.back()->send("GET / HTTP/1.1\r\n"));
    }
    PhoneLink fifth(kHost, server.port(), "127.0.0.2");
    EXPECT_TRUE(fifth.closedByPeer());
    for (auto& phone : served) {
        ASSERT_TRUE(phone->send("Host: x\r\n\r\n"));
        EXPECT_EQ(phone->receive(12), "HTTP/1.1 200");
    }
    // The thread goes on serving the one left.
    other.stop();
    EXPECT_EQ(fetchStatus(server.port(), "/image/" + key + ".jpg"), 200);
}

TEST_F(HttpUnderAttack, AFileCutShortWhileItStreamsEndsTheConnectionAtOnce) {
    HttpFileServer::Limits limits;
    limits.timeoutSeconds = 600;  // far beyond the wait below
    ASSERT_TRUE(start(limits));
    PhoneLink phone(kHost, server.port(), "127.0.0.1", 64 * 1024);
    ASSERT_TRUE(phone.send("GET /" + key + " HTTP/1.1\r\nHost: x\r\n\r\n"));
    ASSERT_EQ(phone.receive(1 << 20).size(), std::size_t{1} << 20);
    std::filesystem::resize_file(big, 2 << 20);
    std::string rest = phone.receive(64 << 20, std::chrono::seconds(60));
    EXPECT_TRUE(phone.closedByPeer(std::chrono::milliseconds(0)));
    EXPECT_LT(rest.size(), std::size_t{32} << 20);
}

TEST_F(HttpUnderAttack, TheServicesHttpThreadsDoNotGrowWithItsNetworks) {
    auto threads = [] {
        auto tasks = std::filesystem::directory_iterator("/proc/self/task");
        return static_cast<unsigned>(std::distance(begin(tasks), end(tasks)));
    };
    Service service(home.path());
    const unsigned before = threads();
    std::vector<ServedAddress> networks;
    for (int n = 1; n <= 6; ++n) networks.push_back({test::runAddress(n), "", ""});
    service.serve(networks);
    // Beside the link thread, the workers: never one or two a network.
    EXPECT_LE(threads(), before + 1 + HttpFileServer::defaultLimits().threads);
}

TEST_F(HttpUnderAttack, TheServiceBindsItsOwnAddressOnly) {
    Service service(home.path());
    ASSERT_TRUE(service.setAddress(kHost));
    ASSERT_TRUE(test::waitUntil([] { return !test::portIsFree(kHost, wire::kHttpPort); }));
    EXPECT_TRUE(test::portIsFree(test::runAddress(2), wire::kHttpPort));
    EXPECT_EQ(fetchStatus(wire::kHttpPort, "/image/" + key + ".jpg"), 200);
}

}  // namespace
}  // namespace zorvex
