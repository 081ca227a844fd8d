// The link's 64 slots when connections never speak or crowd in from one
// address: eviction of the crowd at once and of a lone phone after 30 s of
// silence, and keep-alive on every link socket; and phones that stop
// reading. The table runs on a thread of its own over loopback, with a clock
// the test moves on.
#include "service/client_table.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <map>
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

std::string source(int n) {
    return "127.0.0." + std::to_string(n);
}

TEST_F(SilentSlots, APhoneAloneOnItsAddressKeepsItsSlotUntilThirtySecondsOfSilence) {
    std::vector<std::unique_ptr<PhoneLink>> attackers;
    for (int i = 0; i < kClientSlots - 1; ++i) {
        attackers.push_back(std::make_unique<PhoneLink>(kHost, wire::kLinkPort, source(2 + i)));
        ASSERT_TRUE(attackers.back()->connected());
        // One at a time, so that the first is the one silent longest.
        ASSERT_TRUE(test::waitUntil([&] { return connected.load() == i + 1; }));
    }
    PhoneLink phone(kHost, wire::kLinkPort, "127.0.0.1");
    ASSERT_TRUE(answered(phone));
    ASSERT_EQ(connected.load(), kClientSlots);

    // Everyone silent for less than 30 s: the newcomer is turned away.
    skip(29s);
    PhoneLink early(kHost, wire::kLinkPort, source(99));
    EXPECT_TRUE(early.closedByPeer());

    // A phone that asks every 20 s keeps its slot however long it runs.
    ASSERT_TRUE(answered(phone));
    std::vector<std::unique_ptr<PhoneLink>> newcomers;
    for (int round = 0; round < 3; ++round) {
        skip(20s);
        newcomers.push_back(
            std::make_unique<PhoneLink>(kHost, wire::kLinkPort, source(100 + round)));
        ASSERT_TRUE(answered(*newcomers.back())) << round;
        EXPECT_TRUE(attackers[round]->closedByPeer()) << round;
        ASSERT_TRUE(answered(phone)) << round;
    }
    // The evicted were the three silent longest; the others keep their slots.
    EXPECT_FALSE(attackers[3]->closedByPeer(0ms));
    EXPECT_EQ(connected.load(), kClientSlots);
}

TEST_F(SilentSlots, OneAddressHoldsEightSlotsAndACrowdGivesWayToANewPhoneAtOnce) {
    // 64 connections from one address: each beyond eight replaces its oldest.
    std::vector<std::unique_ptr<PhoneLink>> crowd;
    for (int i = 0; i < kClientSlots; ++i) {
        crowd.push_back(std::make_unique<PhoneLink>(kHost, wire::kLinkPort, source(2)));
        ASSERT_TRUE(answered(*crowd.back())) << i;
    }
    EXPECT_EQ(connected.load(), kSlotsPerAddress);
    EXPECT_TRUE(crowd.front()->closedByPeer());
    EXPECT_FALSE(crowd.back()->closedByPeer(0ms));

    // Eight addresses fill the table; a new phone still gets in at once, and
    // keeps its slot while the crowd goes on connecting.
    for (int address = 3; address < 3 + kClientSlots / kSlotsPerAddress - 1; ++address) {
        for (int i = 0; i < kSlotsPerAddress; ++i) {
            crowd.push_back(std::make_unique<PhoneLink>(kHost, wire::kLinkPort, source(address)));
            ASSERT_TRUE(answered(*crowd.back()));
        }
    }
    ASSERT_EQ(connected.load(), kClientSlots);
    PhoneLink phone(kHost, wire::kLinkPort, "127.0.0.1");
    ASSERT_TRUE(answered(phone));
    for (int i = 0; i < kClientSlots; ++i) {
        crowd.push_back(std::make_unique<PhoneLink>(kHost, wire::kLinkPort, source(20 + i % 2)));
        ASSERT_TRUE(answered(*crowd.back())) << i;
        ASSERT_TRUE(answered(phone)) << i;
    }
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

// Answers each 'h' with "ok" and each 'B' with the connection's next frame:
// its length and number, then `frameBytes` bytes that depend on both, so
// that a torn or reordered frame shows.
class FrameOwner : public ParserHandler {
public:
    explicit FrameOwner(std::size_t frameBytes) : frameBytes_(frameBytes) {}
    void parse(ClientSlot& slot, int length) override {
        for (int i = 0; i < length; ++i) {
            if (slot.buffer[static_cast<std::size_t>(i)] == 'B') {
                std::string next = frame(sent_[slot.socket]++);
                ClientTable::sendAll(slot, next.data(), next.size());
            } else {
                ClientTable::sendAll(slot, "ok", 2);
            }
        }
    }
    std::string frame(std::uint32_t n) const {
        std::string out(8 + frameBytes_, '\0');
        std::uint32_t size = static_cast<std::uint32_t>(frameBytes_);
        std::memcpy(out.data(), &size, 4);
        std::memcpy(out.data() + 4, &n, 4);
        for (std::size_t i = 0; i < frameBytes_; ++i) out[8 + i] = static_cast<char>(n * 7 + i);
        return out;
    }

private:
    const std::size_t frameBytes_;
    std::map<int, std::uint32_t> sent_;  // link thread only
};

// How many of frames 0, 1, 2... up to `most` came whole, in order, before
// the stream ended; at most a piece of the next one may follow. -1 for
// anything else.
int wholeFramesInOrder(PhoneLink& phone, const FrameOwner& owner, std::size_t frameBytes,
                       int most) {
    for (int n = 0; n < most; ++n) {
        std::string got = phone.receive(8 + frameBytes);
        std::string expected = owner.frame(static_cast<std::uint32_t>(n));
        if (got.size() < expected.size()) {
            return expected.compare(0, got.size(), got) == 0 ? n : -1;
        }
        if (got != expected) return -1;
    }
    return most;
}

class SlowPhones : public ::testing::Test {
protected:
    void open(std::size_t frameBytes, std::size_t outputLimit) {
        owner = std::make_unique<FrameOwner>(frameBytes);
        wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        table = std::make_unique<ClientTable>(owner.get(), wake, &connected, ClientTable::Clock{},
                                              outputLimit);
        ASSERT_TRUE(table->openSockets(kHost));
        runner = std::thread([this] {
            while (!stopping.load()) table->runCycle();
        });
    }
    void TearDown() override {
        if (!table) return;
        stopping = true;
        std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wake, &one, sizeof one);
        runner.join();
        table.reset();
        ::close(wake);
    }

    std::unique_ptr<FrameOwner> owner;
    int wake = -1;
    std::atomic<int> connected{0};
    std::atomic<bool> stopping{false};
    std::unique_ptr<ClientTable> table;
    std::thread runner;
};

TEST_F(SlowPhones, APhoneThatStopsReadingDelaysNoOneAndLaterGetsEveryFrameWhole) {
    constexpr std::size_t kFrame = std::size_t{1} << 20;
    open(kFrame, std::size_t{64} << 20);
    PhoneLink slow(kHost, wire::kLinkPort, "", 16 * 1024);
    PhoneLink live(kHost);
    ASSERT_TRUE(slow.connected() && live.connected());
    // 40 MiB of answers, far more than the sockets hold.
    constexpr int kBig = 40;
    ASSERT_TRUE(slow.send(std::string(kBig, 'B')));

    // A table that waited on the slow phone lost a second on each of its
    // requests: these 50 answers would take well over a minute.
    auto deadline = std::chrono::steady_clock::now() + 10s;
    for (int i = 0; i < 50; ++i) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        ASSERT_TRUE(live.send("h"));
        ASSERT_EQ(live.receive(2, std::max(left, 1ms)), "ok") << i;
    }
    EXPECT_EQ(connected.load(), 2);
    EXPECT_EQ(wholeFramesInOrder(slow, *owner, kFrame, kBig), kBig);
}

TEST_F(SlowPhones, APhoneTooFarBehindIsClosedAfterWholeFramesOnly) {
    constexpr std::size_t kFrame = 256 * 1024;
    open(kFrame, std::size_t{1} << 20);
    PhoneLink slow(kHost, wire::kLinkPort, "", 16 * 1024);
    PhoneLink live(kHost);
    ASSERT_TRUE(slow.connected() && live.connected());
    ASSERT_TRUE(test::waitUntil([&] { return connected.load() == 2; }));
    // 16 MiB asked for: the kernel's buffers take a few, the table 1 MiB more.
    ASSERT_TRUE(slow.send(std::string(64, 'B')));
    ASSERT_TRUE(test::waitUntil([&] { return connected.load() == 1; }));
    EXPECT_GE(wholeFramesInOrder(slow, *owner, kFrame, 64), 0);
    EXPECT_TRUE(slow.closedByPeer(0ms) || !slow.send("h"));
    ASSERT_TRUE(live.send("h"));
    EXPECT_EQ(live.receive(2), "ok");
}

}  // namespace
}  // namespace zorvex
