#include "platform/net_interfaces.h"

#include <gtest/gtest.h>

namespace zorvex {
namespace {

// Reads the machine's own list; only facts every Linux host shares are checked.
TEST(NetInterfaces, ListsTheLoopbackInterfaceInIndexOrder) {
    auto listed = listNetInterfaces();
    ASSERT_TRUE(listed.has_value());
    const auto& list = *listed;
    ASSERT_FALSE(list.empty());
    bool loopback = false;
    for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].name.find(':'), std::string::npos);
        if (i > 0) {
            EXPECT_LT(list[i - 1].index, list[i].index);
        }
        if (list[i].loopback) {
            loopback = true;
            EXPECT_FALSE(list[i].physical);
        }
    }
    EXPECT_TRUE(loopback);
}

// glibc reports an address set without "brd" as its own broadcast address.
TEST(NetInterfaces, DirectedBroadcastFillsTheHostBitsWhereNoneWasSet) {
    EXPECT_EQ(directedBroadcast("10.77.1.1", "255.255.255.0", "10.77.1.1"), "10.77.1.255");
    EXPECT_EQ(directedBroadcast("10.77.1.1", "255.255.0.0", ""), "10.77.255.255");
    EXPECT_EQ(directedBroadcast("10.77.1.1", "255.255.255.0", "10.77.1.127"), "10.77.1.127");
    EXPECT_EQ(directedBroadcast("10.77.1.5", "255.255.255.252", ""), "10.77.1.7");
    EXPECT_EQ(directedBroadcast("10.77.1.1", "255.255.255.254", ""), "") << "a /31 has none";
    EXPECT_EQ(directedBroadcast("10.77.1.1", "", ""), "");
}

}  // namespace
}  // namespace zorvex
