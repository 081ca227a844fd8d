#include "platform/net_interfaces.h"

#include <gtest/gtest.h>

namespace zorvex {
namespace {

// Reads the machine's own list; only facts every Linux host shares are checked.
TEST(NetInterfaces, ListsTheLoopbackInterfaceInIndexOrder) {
    auto list = listNetInterfaces();
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

}  // namespace
}  // namespace zorvex
