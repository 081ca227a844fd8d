// The link's 64 slots when connections never speak: fair eviction after
// 30 s of silence, and keep-alive on every link socket. The table runs on a
// thread of its own over loopback, with a clock the test moves on.
#include "service/client_table.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "phone_link.h"
#include "support/test_support.h"

namespace zorvex {
namespace {

using test::PhoneLink;
using namespace std::chrono_literals;

const std::string kHost = test::runAddress();

// Answers every block with "ok", and notes the keep-alive settings of the
// sockets it is called for.
class EchoOwner : public ParserHandler {
public:
    void parse(ClientSlot& slot, int) override {
        int on = 0, idle = 0, interval = 0, probes = 0;
        socklen_t size = sizeof(int);
        ::getsockopt(slot.socket, SOL_SOCKET, SO_KEEPALIVE, &on, &size);
        ::getsockopt(slot.socket, IPPROTO_TCP, TCP_KEEPIDLE, &idle, &size);
        ::getsockopt(slot.socket, IPPROTO_TCP, TCP_KEEPINTVL, &interval, &size);
        ::getsockopt(slot.socket, IPPROTO_TCP, TCP_KEEPCNT, &probes, &size);
        {
            std::lock_guard lock(mutex);
            keepAlive = {on, idle, interval, probes};
        }
        ClientTable::sendAll(slot, "ok", 2);
    }
    std::mutex mutex;
    std::vector<int> keepAlive;
};

class SilentSlots : public ::testing::Test {
protected:
    void SetUp() override {
        wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        table = std::make_unique<ClientTable>(&owner, wake, &connected, [this] {
            return std::chrono::steady_clock::now() + std::chrono::milliseconds(skipped.load());
        });
        ASSERT_TRUE(table->openSockets(kHost));
        runner = std::thread([this] {
            while (!stopping.load()) table->runCycle();
        });
    }
    void TearDown() override {
        stopping = true;
        std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wake, &one, sizeof one);
        runner.join();
        table.reset();
        ::close(wake);
    }

    void skip(std::chrono::milliseconds time) { skipped += time.count(); }
    static bool answered(PhoneLink& phone) { return phone.send("hi") && phone.receive(2) == "ok"; }

    EchoOwner owner;
    int wake = -1;
    std::atomic<int> connected{0};
    std::atomic<long long> skipped{0};
    std::atomic<bool> stopping{false};
    std::unique_ptr<ClientTable> table;
    std::thread runner;
};

TEST_F(SilentSlots, TheLongestSilentSlotGoesToANewcomerOnlyAfterThirtySeconds) {
    std::vector<std::unique_ptr<PhoneLink>> attackers;
    for (int i = 0; i < kClientSlots - 1; ++i) {
        attackers.push_back(std::make_unique<PhoneLink>(kHost, wire::kLinkPort, "127.0.0.2"));
        ASSERT_TRUE(attackers.back()->connected());
        // One at a time, so that the first is the one silent longest.
        ASSERT_TRUE(test::waitUntil([&] { return connected.load() == i + 1; }));
    }
    PhoneLink phone(kHost, wire::kLinkPort, "127.0.0.1");
    ASSERT_TRUE(answered(phone));
    ASSERT_EQ(connected.load(), kClientSlots);

    // Everyone silent for less than 30 s: the newcomer is turned away.
    skip(29s);
    PhoneLink early(kHost, wire::kLinkPort, "127.0.0.1");
    EXPECT_TRUE(early.closedByPeer());

    // A phone that asks every 20 s keeps its slot however long it runs.
    ASSERT_TRUE(answered(phone));
    std::vector<std::unique_ptr<PhoneLink>> newcomers;
    for (int round = 0; round < 3; ++round) {
        skip(20s);
        newcomers.push_back(std::make_unique<PhoneLink>(kHost, wire::kLinkPort, "127.0.0.1"));
        ASSERT_TRUE(answered(*newcomers.back())) << round;
        EXPECT_TRUE(attackers[round]->closedByPeer()) << round;
        ASSERT_TRUE(answered(phone)) << round;
    }
    // The evicted were the three silent longest; the others keep their slots.
    EXPECT_FALSE(attackers[3]->closedByPeer(0ms));
    EXPECT_EQ(connected.load(), kClientSlots);
}

TEST_F(SilentSlots, LinkSocketsProbeVanishedPhones) {
    PhoneLink phone(kHost, wire::kLinkPort, "127.0.0.1");
    ASSERT_TRUE(answered(phone));
    std::lock_guard lock(owner.mutex);
    EXPECT_EQ(owner.keepAlive, (std::vector<int>{1, 60, 10, 3}));
}

TEST_F(SilentSlots, ConnectionLinesKeepToTheirBudgetAndComeBackAfterAMinute) {
    auto count = [](const std::string& text, const std::string& what) {
        std::size_t n = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    };
    testing::internal::CaptureStdout();
    // Each connection that comes and goes writes three lines.
    for (int i = 0; i < 200; ++i) {
        auto attacker = std::make_unique<PhoneLink>(kHost, wire::kLinkPort, "127.0.0.2");
        ASSERT_TRUE(test::waitUntil([&] { return connected.load() == 1; })) << i;
        attacker.reset();
        ASSERT_TRUE(test::waitUntil([&] { return connected.load() == 0; })) << i;
    }
    skip(61s);
    PhoneLink phone(kHost, wire::kLinkPort, "127.0.0.1");
    ASSERT_TRUE(answered(phone));
    const std::string out = testing::internal::GetCapturedStdout();
    const std::size_t lines = count(out, "the client is connect!") +
                              count(out, "the client is close") + count(out, "CloseClient");
    EXPECT_EQ(lines, kConnectionLinesPerMinute + 1);
    EXPECT_EQ(count(out, "connection lines paused for the rest of the minute"), 1u);
    EXPECT_EQ(count(out, "the client is connect!: 127.0.0.1"), 1u);
}

}  // namespace
}  // namespace zorvex
