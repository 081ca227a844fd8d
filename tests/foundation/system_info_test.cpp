#include "foundation/system_info.h"

#include <gtest/gtest.h>

namespace zorvex {
namespace {

NetInterface adapter(std::string name, unsigned index, bool physical, std::vector<std::uint8_t> mac,
                     std::vector<std::string> addresses) {
    NetInterface item;
    item.name = std::move(name);
    item.index = index;
    item.physical = physical;
    item.hardwareAddress = std::move(mac);
    for (auto& address : addresses) item.ipv4.push_back({std::move(address), {}, {}});
    return item;
}

TEST(LocalAdapters, PhysicalAdaptersComeFirstAndOnlyUsableAddressesCount) {
    NetInterface lo = adapter("lo", 1, false, {0, 0, 0, 0, 0, 0}, {"127.0.0.1"});
    lo.loopback = true;
    std::vector<NetInterface> list = {
        lo,
        adapter("docker0", 2, false, {0x02, 0x42, 0xac, 0x11, 0, 1}, {"172.17.0.1"}),
        adapter("eth0", 3, true, {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e},
                {"192.168.1.20", "10.0.0.2"}),
        adapter("tun0", 4, false, {}, {"10.8.0.2"}),
        adapter("wlan0", 5, true, {0xa0, 0xb1, 0xc2, 0xd3, 0xe4, 0xf5}, {"0.0.0.0"}),
        adapter("eth1", 6, true, {0xff, 0, 0, 0, 0, 0x0f}, {}),
        adapter("veth1", 7, false, {0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc}, {"127.0.1.1"}),
    };
    LocalAdapters adapters = LocalAdaptersFrom(list);
    EXPECT_EQ(adapters.addresses,
              (std::vector<std::string>{"192.168.1.20", "10.0.0.2", "172.17.0.1", "10.8.0.2"}));
    EXPECT_EQ(adapters.macs, (std::vector<std::string>{"00:1A:2B:3C:4D:5E", "A0:B1:C2:D3:E4:F5",
                                                       "FF:00:00:00:00:0F", "02:42:AC:11:00:01", "",
                                                       "12:34:56:78:9A:BC"}));
}

TEST(LocalAdapters, AnAdapterWithoutAddressGivesOnlyItsMac) {
    LocalAdapters adapters =
        LocalAdaptersFrom({adapter("eth0", 2, true, {1, 2, 3, 4, 5, 6}, {"0.0.0.0"})});
    EXPECT_TRUE(adapters.addresses.empty());
    EXPECT_EQ(adapters.macs, std::vector<std::string>{"01:02:03:04:05:06"});
    EXPECT_TRUE(LocalAdaptersFrom({}).macs.empty());
}

TEST(VersionTexts, KernelReleaseAndProgramVersion) {
    EXPECT_EQ(SystemVersionText("6.1.0-18-amd64", "Linux"), "6.1.0.Linux");
    EXPECT_EQ(SystemVersionText("5.15.146.1-microsoft-standard-WSL2", "Linux"), "5.15.146.Linux");
    EXPECT_EQ(SystemVersionText("6.8", "Linux"), "6.8.0.Linux");
    EXPECT_EQ(SystemVersionText("", ""), "0.0.0.");
    EXPECT_EQ(ProductVersionText("2.1.0.7"), "2.1.0");
    EXPECT_EQ(ProductVersionText("1.0.18"), "1.0.18");
    EXPECT_EQ(ProductVersionText(""), "");
    EXPECT_EQ(GetProductVersionText(), ProductVersionText(ZORVEX_TEST_PROJECT_VERSION));
    EXPECT_NE(GetSystemVersionText(), "0.0.0 NoVersion");
}

}  // namespace
}  // namespace zorvex
