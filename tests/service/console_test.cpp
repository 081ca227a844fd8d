#include "service/console.h"

#include <gtest/gtest.h>

#include "service/link_frame.h"

namespace zorvex {
namespace {

using namespace std::chrono_literals;
using Verdict = OutputBudget::Verdict;

TEST(OutputBudget, RefusesPastItsShareUntilTheWindowTurns) {
    OutputBudget budget(100, 60s);
    auto start = OutputBudget::Clock::time_point{} + 1000s;
    EXPECT_EQ(budget.take(60, start), Verdict::Allowed);
    EXPECT_EQ(budget.take(40, start + 1s), Verdict::Allowed);
    EXPECT_EQ(budget.take(1, start + 2s), Verdict::RanOut);   // told once ...
    EXPECT_EQ(budget.take(1, start + 3s), Verdict::Refused);  // ... then quiet
    EXPECT_EQ(budget.take(101, start + 59s), Verdict::Refused);
    EXPECT_EQ(budget.take(100, start + 60s), Verdict::Allowed);
    EXPECT_EQ(budget.take(101, start + 200s), Verdict::RanOut);  // too big for any window
    budget.reset();
    EXPECT_EQ(budget.take(100, start + 201s), Verdict::Allowed);
}

TEST(HexDumpHead, ShortBlocksAsDocumentedLongOnesCutWithTheirLength) {
    std::string eleven("qbvr\x01\x00\x01\x00\x00\x00\x00", 11);
    EXPECT_EQ(wire::hexDumpHead("请求数据", eleven, 64), wire::hexDump("请求数据", eleven));
    std::string big(4096, '\xAB');
    std::string cut = wire::hexDumpHead("请求数据", big, 64);
    EXPECT_EQ(cut, wire::hexDump("请求数据", big.substr(0, 64)) + "... 4096 bytes\n");
    EXPECT_LT(cut.size(), 260u);
}

}  // namespace
}  // namespace zorvex
