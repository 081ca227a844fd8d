#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "phone_link.h"
#include "platform/executor.h"
#include "platform/net_interfaces.h"
#include "service/file_status_manager.h"
#include "service/served_networks.h"
#include "service/service.h"
#include "support/test_support.h"

namespace zorvex {
namespace {

using test::PhoneLink;
using test::waitUntil;
using Status = wire::Decoded::Status;

// This run's own loopback address: a copy of the application running on
// 127.0.0.1, or another test run, holds other ports.
const std::string kHost = test::runAddress();

bool linkUp(const std::string& host = kHost) {
    return waitUntil([&] { return PhoneLink(host).connected(); });
}

class LanService : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::portIsFree(kHost, wire::kLinkPort) &&
                    test::portIsFree(kHost, wire::kHttpPort))
            << "another program holds the LAN ports on " << kHost;
        service = std::make_unique<Service>(home.path());
        ASSERT_TRUE(service->setAddress(kHost));
        ASSERT_TRUE(linkUp());
    }
    test::TempDir home;
    test::TempDir videos;
    std::unique_ptr<Service> service;
};

TEST_F(LanService, FirstRequestGetsBodyAndStampThenOnlyFifteenBytes) {
    PhoneLink phone(kHost);
    ASSERT_TRUE(phone.send(wire::encodeRequest(wire::CMD_LIST_SOURCE, 0)));
    std::string first = phone.receive(19);
    ASSERT_EQ(first.size(), 19u);
    EXPECT_EQ(first.substr(0, 7), std::string("qbvr\x01\x00\x01", 7));
    EXPECT_EQ(first.substr(11), std::string("\0\0\0\0rvbq", 8));
    std::uint32_t stamp = wire::getU32(reinterpret_cast<const unsigned char*>(first.data()) + 7);
    EXPECT_NE(stamp, 0u);

    // The stamp belongs to the connection, so it spares the body of either list.
    for (int type : {1, 2, 1}) {
        auto again = phone.ask(type, stamp);
        ASSERT_TRUE(again);
        EXPECT_EQ(again->used, wire::kResponseOverhead);
        EXPECT_EQ(again->response.stamp, stamp);
    }
}

TEST_F(LanService, ForeignFramesGetTheRejectionAndKeepTheConnection) {
    PhoneLink phone(kHost);
    std::string version2 = wire::encodeRequest(wire::CMD_LIST_SOURCE, 0);
    version2[4] = 2;
    for (const std::string& frame :
         {version2, wire::encodeRequest(258, 0), std::string("GET / HTTP/1.1\r\n\r\n")}) {
        ASSERT_TRUE(phone.send(frame));
        EXPECT_EQ(phone.receive(10), wire::rejectionReply());
    }
    auto answer = phone.ask(2, 0);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, Status::Ok);
}

TEST_F(LanService, SplitFrameIsAnsweredTwiceAndOnlyTheFirstOfTwoFrames) {
    PhoneLink phone(kHost);
    std::string request = wire::encodeRequest(wire::CMD_LIST_SOURCE, 0);
    ASSERT_TRUE(phone.send(request.substr(0, 7)));
    auto first = phone.receiveFrame();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->response.hasBody);  // read as a request with stamp 0
    ASSERT_TRUE(phone.send(request.substr(7)));
    EXPECT_EQ(phone.receive(10), wire::rejectionReply());

    std::uint32_t stamp = first->response.stamp;
    ASSERT_TRUE(phone.send(wire::encodeRequest(wire::CMD_LIST_SOURCE, 0) +
                           wire::encodeRequest(wire::CMD_LIST_CONVERTED, 0)));
    auto answered = phone.receiveFrame();
    ASSERT_TRUE(answered);
    EXPECT_EQ(answered->response.command, wire::CMD_LIST_SOURCE);
    // Had the second frame been answered, its body would come next.
    auto next = phone.ask(2, stamp);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->response.command, wire::CMD_LIST_CONVERTED);
    EXPECT_FALSE(next->response.hasBody);
}

TEST_F(LanService, ChangesRenewEveryPhonesStamp) {
    PhoneLink a(kHost), b(kHost);
    auto aFirst = a.ask(1, 0);
    auto bFirst = b.ask(1, 0);
    ASSERT_TRUE(aFirst && bFirst);
    std::uint32_t aStamp = aFirst->response.stamp, bStamp = bFirst->response.stamp;
    std::string video = videos.write("a.mp4", "video");
    std::string key;
    ASSERT_EQ(service->addFile(video, LIST_SOURCE, &key), ADD_OK);

    auto aNext = a.ask(1, aStamp);
    ASSERT_TRUE(aNext);
    EXPECT_TRUE(aNext->response.hasBody);
    EXPECT_NE(aNext->response.stamp, aStamp);
    auto entries = wire::decodeListBody(aNext->response.body);
    ASSERT_TRUE(entries && entries->size() == 1);
    EXPECT_EQ((*entries)[0].key, key);
    EXPECT_TRUE((*entries)[0].exists);

    auto bNext = b.ask(1, bStamp);
    ASSERT_TRUE(bNext);
    EXPECT_TRUE(bNext->response.hasBody);
    EXPECT_EQ(bNext->response.stamp, aNext->response.stamp);

    // The shared file vanishes: the next request carries exists = 0 to both.
    std::uint32_t stamp = bNext->response.stamp;
    std::filesystem::remove(video);
    auto gone = b.ask(1, stamp);
    ASSERT_TRUE(gone && gone->response.hasBody);
    entries = wire::decodeListBody(gone->response.body);
    ASSERT_TRUE(entries && entries->size() == 1);
    EXPECT_FALSE((*entries)[0].exists);
    auto aGone = a.ask(1, stamp);
    ASSERT_TRUE(aGone);
    EXPECT_TRUE(aGone->response.hasBody);
}

TEST_F(LanService, ListenerHearsOfVanishedFilesOnItsOwnThread) {
    TaskQueue owner;
    std::vector<FileStatusEvent> events;
    FileStatusManager manager(owner, [&](const FileStatusEvent& e) { events.push_back(e); });
    service->setListener(&manager);
    std::string video = videos.write("b.mp4", "video");
    std::string key;
    service->addFile(video, LIST_CONVERTED, &key);
    PhoneLink phone(kHost);
    ASSERT_TRUE(phone.ask(2, 0));
    std::filesystem::remove(video);
    ASSERT_TRUE(phone.ask(2, 0));
    owner.runPending();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, 2);
    EXPECT_FALSE(events[0].exists);
    EXPECT_EQ(events[0].path, video);
    service->setListener(nullptr);
}

TEST_F(LanService, SixtyFourPhonesAreServedAndTheSixtyFifthIsClosed) {
    std::vector<std::unique_ptr<PhoneLink>> phones;
    for (int i = 0; i < kClientSlots; ++i) {
        // One address each: a single host is held to a few slots.
        phones.push_back(std::make_unique<PhoneLink>(kHost, wire::kLinkPort,
                                                     "127.0.0." + std::to_string(10 + i)));
        ASSERT_TRUE(phones.back()->connected());
        ASSERT_TRUE(phones.back()->ask(1, 0)) << i;  // every slot is read, the last one too
    }
    EXPECT_TRUE(waitUntil([&] { return service->connectedClients() == kClientSlots; }));
    PhoneLink extra(kHost, wire::kLinkPort, "127.0.0.9");
    ASSERT_TRUE(extra.connected());
    EXPECT_TRUE(extra.closedByPeer());
    EXPECT_TRUE(phones.back()->ask(2, 0));

    phones.front().reset();  // frees slot 0 for a newcomer
    EXPECT_TRUE(waitUntil([&] { return service->connectedClients() == kClientSlots - 1; }));
    PhoneLink newcomer(kHost);
    auto answer = newcomer.ask(1, 0);
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->response.hasBody);
}

TEST_F(LanService, AFloodingConnectionCannotFloodTheConsole) {
    PhoneLink phone(kHost);
    ASSERT_TRUE(phone.ask(1, 0));
    testing::internal::CaptureStdout();
    // 500 full receive buffers, each answered before the next is sent: the
    // first build dumped all 2 MB, 6.7 MB of text.
    std::string junk(4096, '\xEE');
    for (int i = 0; i < 500; ++i) {
        ASSERT_TRUE(phone.send(junk));
        ASSERT_EQ(phone.receive(10), wire::rejectionReply()) << i;
    }
    PhoneLink other(kHost);
    ASSERT_TRUE(other.ask(1, 0));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_LT(out.size(), 72u * 1024);
    EXPECT_NE(out.find("... 4096 bytes\n"), std::string::npos);
    EXPECT_EQ(out.find("EE EE EE EE  EE EE EE EE  EE EE EE EE  EE EE EE EE  \n"
                       "EE EE EE EE  EE EE EE EE  EE EE EE EE  EE EE EE EE  \n"
                       "EE EE EE EE  EE EE EE EE  EE EE EE EE  EE EE EE EE  \n"
                       "EE EE EE EE  EE EE EE EE  EE EE EE EE  EE EE EE EE  \n"
                       "EE"),
              std::string::npos);
    EXPECT_NE(out.find("paused for the rest of the minute"), std::string::npos);
    // Another connection has a budget of its own, and connection lines still come.
    EXPECT_NE(out.find("the client is connect!"), std::string::npos);
    EXPECT_NE(out.rfind("请求数据:\n71 62 76 72"), std::string::npos);
}

TEST_F(LanService, DiscoveryPacketAnnouncesTheAddressAboutOnceASecond) {
    test::DiscoveryListener listener(wire::broadcastAddressFor(kHost));
    ASSERT_TRUE(listener.ok());
    auto packet = listener.next();
    ASSERT_TRUE(packet);
    EXPECT_EQ(*packet, wire::buildDiscoveryPacket(kHost));

    // Phones polling hard must not turn into a broadcast storm.
    PhoneLink phone(kHost);
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 300; ++i) ASSERT_TRUE(phone.ask(1, 0));
    int heard = 0;
    while (listener.next(std::chrono::milliseconds(0))) ++heard;
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LE(heard, static_cast<int>(seconds) + 2);
}

TEST_F(LanService, SetAddressRefusesTheSameOrAMalformedAddress) {
    EXPECT_EQ(service->setAddress(kHost).link.cause, StartCause::SameAddress);
    for (const char* bad : {"localhost", "", "127.0.0.300"}) {
        StartResult refused = service->setAddress(bad);
        EXPECT_FALSE(refused) << bad;
        EXPECT_TRUE(refused.refused()) << bad;
        EXPECT_EQ(refused.http.cause, StartCause::BadAddress) << bad;
    }
    EXPECT_EQ(service->address(), kHost);
    EXPECT_TRUE(service->running());
    EXPECT_EQ(service->start().link.cause, StartCause::AlreadyRunning);
    EXPECT_TRUE(PhoneLink(kHost).connected());
}

TEST_F(LanService, SwitchingAddressMovesBothPortsAndDropsPhones) {
    PhoneLink phone(kHost);
    ASSERT_TRUE(phone.ask(1, 0));
    test::DiscoveryListener listener(wire::broadcastAddressFor(kHost));
    // Only the four numbers are served.
    const std::string other = test::runAddress(2);
    ASSERT_TRUE(service->setAddress(other + " "));
    EXPECT_EQ(service->address(), other);
    EXPECT_TRUE(phone.closedByPeer());
    ASSERT_TRUE(linkUp(other));
    EXPECT_FALSE(PhoneLink(kHost).connected());
    EXPECT_TRUE(test::portIsFree(kHost, wire::kHttpPort));
    EXPECT_TRUE(waitUntil([&] { return !test::portIsFree(other, wire::kHttpPort); }));
    bool heardNew = waitUntil([&] {
        auto packet = listener.next(std::chrono::milliseconds(100));
        return packet && wire::parseDiscoveryPacket(*packet)->address == other;
    });
    EXPECT_TRUE(heardNew);
    ASSERT_TRUE(service->setAddress(kHost));
    EXPECT_TRUE(linkUp());
}

// The answer of setAddress is what listens when it returns, not what was launched.
TEST(LanServiceLifecycle, ATakenHttpPortIsReportedAndTheLinkStillRuns) {
    test::TempDir home;
    auto blocker = std::make_unique<test::PortBlocker>(kHost, wire::kHttpPort);
    ASSERT_TRUE(blocker->ok());
    Service service(home.path());
    StartResult started = service.setAddress(kHost);
    EXPECT_FALSE(started);
    EXPECT_TRUE(started.link.running());
    EXPECT_EQ(started.http.cause, StartCause::PortTaken);
    EXPECT_EQ(started.describe(), "http (TCP 11717): port 11717 on " + kHost +
                                      " is taken by another program; the link runs");
    EXPECT_EQ(service.state(), Service::RUN_LINK);
    EXPECT_FALSE(service.running());
    EXPECT_TRUE(PhoneLink(kHost).ask(1, 0));  // listening already, no wait

    // The same address again, with the port free: the missing part comes up.
    blocker.reset();
    ASSERT_TRUE(service.setAddress(kHost));
    EXPECT_TRUE(service.running());
    EXPECT_FALSE(test::portIsFree(kHost, wire::kHttpPort));
    service.stop();
    EXPECT_EQ(service.state(), 0u);
    EXPECT_TRUE(test::portIsFree(kHost, wire::kLinkPort));
    EXPECT_TRUE(test::portIsFree(kHost, wire::kHttpPort));
}

TEST(LanServiceLifecycle, ATakenLinkPortIsReportedAndHttpStillRuns) {
    test::TempDir home;
    auto blocker = std::make_unique<test::PortBlocker>(kHost, wire::kLinkPort);
    ASSERT_TRUE(blocker->ok());
    Service service(home.path());
    StartResult started = service.setAddress(kHost);
    EXPECT_EQ(started.link.cause, StartCause::PortTaken);
    EXPECT_TRUE(started.http.running());
    EXPECT_EQ(service.state(), Service::RUN_HTTP);
    EXPECT_FALSE(test::portIsFree(kHost, wire::kHttpPort));
    service.stop();
    EXPECT_EQ(service.state(), 0u);
    EXPECT_TRUE(test::portIsFree(kHost, wire::kHttpPort));
    // With the port free again, a new start brings both parts up.
    blocker.reset();
    EXPECT_TRUE(service.start());
    EXPECT_TRUE(PhoneLink(kHost).connected());
    EXPECT_EQ(service.state(), Service::RUN_LINK | Service::RUN_HTTP);
}

TEST(LanServiceLifecycle, NothingBoundIsNoStartAndSaysWhyForEachPart) {
    test::TempDir home;
    test::PortBlocker link(kHost, wire::kLinkPort), http(kHost, wire::kHttpPort);
    ASSERT_TRUE(link.ok() && http.ok());
    Service service(home.path());
    StartResult started = service.setAddress(kHost);
    EXPECT_FALSE(started.anyRunning());
    EXPECT_FALSE(started.refused());
    EXPECT_EQ(started.describe(), "link (UDP 7171, TCP 11718): port 11718 on " + kHost +
                                      " is taken by another program; http (TCP 11717): port "
                                      "11717 on " +
                                      kHost + " is taken by another program");
    EXPECT_EQ(service.state(), 0u);
    service.stop();  // returns at once
}

TEST(LanServiceLifecycle, AnAddressOfNoInterfaceHereIsNotLocal) {
    // A documentation address (RFC 5737): the binds fail, so nothing is sent.
    // Where the system lets anyone bind any address, the service would
    // broadcast from it: not here.
    if (test::readFile("/proc/sys/net/ipv4/ip_nonlocal_bind").rfind("0", 0) != 0) {
        GTEST_SKIP() << "net.ipv4.ip_nonlocal_bind is set";
    }
    const std::string elsewhere = "192.0.2.77";
    const auto adapters = listNetInterfaces().value_or(std::vector<NetInterface>{});
    for (const NetInterface& item : adapters) {
        for (const NetAddress& address : item.ipv4) {
            if (address.address == elsewhere) GTEST_SKIP() << "this machine has " << elsewhere;
        }
    }
    test::TempDir home;
    Service service(home.path());
    StartResult started = service.setAddress(elsewhere);
    EXPECT_EQ(started.link.cause, StartCause::NotLocal);
    EXPECT_EQ(started.http.cause, StartCause::NotLocal);
    EXPECT_NE(started.describe().find("the address 192.0.2.77 is not on this machine"),
              std::string::npos);
    EXPECT_EQ(service.state(), 0u);
}

TEST(LanServiceLifecycle, StartAndStopRacingNeverLeaveThreadsBehind) {
    test::TempDir home;
    Service service(home.path());
    EXPECT_FALSE(service.start());  // no address yet
    ASSERT_TRUE(service.setAddress(kHost));
    service.stop();  // at once, before the link thread has run a cycle
    EXPECT_EQ(service.state(), 0u);

    std::vector<std::thread> racers;
    for (int t = 0; t < 3; ++t) {
        racers.emplace_back([&, t] {
            for (int i = 0; i < 8; ++i) {
                if ((i + t) % 2) {
                    service.start();
                } else {
                    service.stop();
                }
            }
        });
    }
    for (auto& racer : racers) racer.join();
    service.stop();
    EXPECT_EQ(service.state(), 0u);
    EXPECT_TRUE(test::portIsFree(kHost, wire::kLinkPort));
    EXPECT_TRUE(test::portIsFree(kHost, wire::kHttpPort));
    ASSERT_TRUE(service.start());
    EXPECT_TRUE(linkUp());
}

TEST(LanServiceLifecycle, DestroyingAnIdleServiceRewritesEveryLinkFile) {
    test::TempDir home, videos;
    std::string key;
    std::string video = videos.write("a.mp4", "x");
    {
        Service service(home.path());
        service.addFile(video, LIST_SOURCE, &key);
        std::filesystem::remove(home.file("file_root/" + key));
    }
    EXPECT_TRUE(std::filesystem::exists(home.file("file_root/" + key)));
}

}  // namespace
}  // namespace zorvex

namespace zorvex {
namespace {

NetInterface adapterWith(std::string name, std::vector<std::string> addresses) {
    NetInterface item;
    item.name = std::move(name);
    item.up = item.carrier = item.canBroadcast = true;
    for (auto& address : addresses) {
        std::string broadcast = address.substr(0, address.rfind('.')) + ".255";
        item.ipv4.push_back({address, "255.255.255.0", broadcast});
    }
    return item;
}

TEST(ServedNetworks, OnlyUsableAdaptersAreServedTheDefaultRouteFirst) {
    NetInterface lo = adapterWith("lo", {"127.0.0.1"});
    lo.loopback = true;
    lo.canBroadcast = false;
    NetInterface unplugged = adapterWith("eth0", {"10.55.0.1"});
    unplugged.carrier = false;
    unplugged.physical = true;
    NetInterface down = adapterWith("eth1", {"10.56.0.1"});
    down.up = false;
    NetInterface vpn = adapterWith("tun0", {"10.8.0.2"});
    vpn.pointToPoint = true;
    NetInterface docker = adapterWith("docker0", {"172.17.0.1"});
    NetInterface linkLocal = adapterWith("eth2", {"169.254.7.1", "0.0.0.0"});
    NetInterface wifi = adapterWith("wlan0", {"192.168.77.1"});
    wifi.physical = true;
    NetInterface wired = adapterWith("eth3", {"10.66.0.1"});
    wired.physical = true;
    wired.defaultRoute = true;
    NetInterface host32 = adapterWith("eth4", {"10.99.0.7"});
    host32.ipv4[0].broadcast.clear();  // a /32 has no broadcast
    auto usable = ServedNetworks::usableNetworks(
        {lo, unplugged, down, vpn, docker, linkLocal, host32, wifi, wired});
    ASSERT_EQ(usable.size(), 3u);
    EXPECT_EQ(usable[0], (ServedAddress{"10.66.0.1", "10.66.0.255", "eth3"}));
    EXPECT_EQ(usable[1], (ServedAddress{"192.168.77.1", "192.168.77.255", "wlan0"}));
    EXPECT_EQ(usable[2].address, "172.17.0.1");
}

// Adapters of the test's own on loopback addresses: the service follows
// them as they come and go, a pin serves one alone (nothing while it is
// absent), and phones on a network that stays are not disturbed.
TEST(ServedNetworks, FollowsAdaptersAndPinsAndSaysEachChangeOnce) {
    const std::string first = test::runAddress(5), second = test::runAddress(6);
    ASSERT_TRUE(test::portIsFree(first, wire::kLinkPort) &&
                test::portIsFree(second, wire::kLinkPort));
    test::TempDir home;
    Service service(home.path());
    TaskQueue executor;
    std::mutex mutex;
    std::vector<NetInterface> adapters = {adapterWith("e0", {first}), adapterWith("w0", {second})};
    bool outOfDescriptors = false;
    auto now = [&]() -> std::optional<std::vector<NetInterface>> {
        std::lock_guard lock(mutex);
        if (outOfDescriptors) return std::nullopt;
        return adapters;
    };
    ServedNetworks networks(service, executor, {}, now);
    std::vector<std::string> said;
    NetworkChangeLines heard([&](const std::string& line) { said.push_back(line); });
    networks.subscribe(&heard);
    NetworksView view = networks.begin();
    EXPECT_TRUE(view.listening());
    EXPECT_EQ(view.offered, (std::vector<std::string>{first, second}));
    EXPECT_EQ(view.shown, first);
    PhoneLink onSecond(second);
    ASSERT_TRUE(onSecond.ask(1, 0));

    {
        std::lock_guard lock(mutex);
        outOfDescriptors = true;
    }
    EXPECT_TRUE(networks.refresh() == view) << "a look that fails loses no network";
    EXPECT_TRUE(onSecond.ask(1, 0));
    {
        std::lock_guard lock(mutex);
        outOfDescriptors = false;
        adapters.erase(adapters.begin());
    }
    view = networks.refresh();
    EXPECT_EQ(view.shown, second);
    EXPECT_TRUE(test::portIsFree(first, wire::kLinkPort));
    EXPECT_TRUE(onSecond.ask(1, 0)) << "a phone on a network that stays keeps its link";

    view = networks.pin(first);
    EXPECT_TRUE(view.pinAbsent);
    EXPECT_FALSE(view.listening());
    EXPECT_EQ(view.shown, first);
    EXPECT_TRUE(test::portIsFree(second, wire::kLinkPort));
    {
        std::lock_guard lock(mutex);
        adapters.push_back(adapterWith("e0", {first}));
    }
    view = networks.refresh();
    EXPECT_TRUE(view.listening());
    EXPECT_EQ(view.served.size(), 1u);
    EXPECT_TRUE(networks.refresh() == view) << "an unchanged machine changes nothing";
    view = networks.pin("");
    EXPECT_EQ(view.served.size(), 2u);

    executor.runPending();
    auto serving = [](const std::string& address, const std::string& adapter) {
        return "serving " + address + " (" + adapter + "), broadcast " +
               address.substr(0, address.rfind('.')) + ".255";
    };
    EXPECT_EQ(said, (std::vector<std::string>{serving(first, "e0"), serving(second, "w0"),
                                              "no longer serving " + first + " (e0)",
                                              "no longer serving " + second + " (w0)",
                                              "waiting for " + first + ", the address chosen",
                                              serving(first, "e0"), serving(second, "w0")}));
}

// The firewall is asked on the watch's thread, told once with the command
// that opens it, asked again while it blocks, and its opening heard.
TEST(ServedNetworks, AFirewallInTheWayIsToldOnceAndItsOpeningHeard) {
    const std::string address = test::runAddress(7), where = address + " (e0)";
    test::TempDir home;
    Service service(home.path());
    TaskQueue executor;
    std::atomic<int> asked{0}, openAfter{1 << 30};
    ServedNetworks::Options options;
    options.firewall = [&](const std::string&) {
        return ++asked > openAfter
                   ? FirewallVerdict{}
                   : FirewallVerdict{FirewallKind::Firewalld, FirewallState::Blocked, "home",
                                     "sudo firewall-cmd"};
    };
    ServedNetworks networks(service, executor, options, [&] {
        return std::optional<std::vector<NetInterface>>({adapterWith("e0", {address})});
    });
    EXPECT_LT(networks.begin().firewalled(), 0) << "the caller does not wait for the firewall";
    ASSERT_TRUE(test::waitUntil([&] { return asked > 1; })) << "asked again while it blocks";
    openAfter = asked.load();
    ASSERT_TRUE(test::waitUntil([&] { return networks.view().firewalled() < 0; }));
    std::vector<std::string> said;
    NetworkChangeLines heard([&](const std::string& line) { said.push_back(line); });
    networks.subscribe(&heard);
    executor.runPending();
    EXPECT_EQ(said,
              (std::vector<std::string>{"serving " + where + ", broadcast " +
                                            address.substr(0, address.rfind('.')) + ".255",
                                        "firewall: firewalld's zone home blocks phones on " +
                                            where + "; to let them in: sudo firewall-cmd",
                                        "firewall: phones may connect to " + where + " now"}));
}

}  // namespace
}  // namespace zorvex
