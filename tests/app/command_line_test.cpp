#include "app/command_line.h"

#include <gtest/gtest.h>

namespace zorvex {
namespace {

TEST(CommandLine, HeadlessWithAddressesHomeAndShares) {
    auto parsed = parseCommandLine({"--address", "127.0.0.1", "--address", "127.0.0.2", "--home",
                                    "/tmp/h", "--headless", "--share", "a.mp4", "b c.mkv"});
    ASSERT_TRUE(parsed.line) << parsed.error;
    EXPECT_EQ(parsed.line->addresses, (std::vector<std::string>{"127.0.0.1", "127.0.0.2"}));
    EXPECT_EQ(parsed.line->home, "/tmp/h");
    EXPECT_TRUE(parsed.line->headless);
    EXPECT_EQ(parsed.line->shares, (std::vector<std::string>{"a.mp4", "b c.mkv"}));

    parsed = parseCommandLine(
        {"--headless", "--unshare", "a.mp4", "--share", "b.mp4", "--unshare", "c.mp4", "d.mp4"});
    ASSERT_TRUE(parsed.line) << parsed.error;
    EXPECT_EQ(parsed.line->unshares, (std::vector<std::string>{"a.mp4", "c.mp4", "d.mp4"}));
    EXPECT_EQ(parsed.line->shares, (std::vector<std::string>{"b.mp4"}));
    EXPECT_NE(std::string(usageText()).find("[--unshare FILE...]"), std::string::npos);
}

TEST(CommandLine, BadArgumentsSayWhatIsWrong) {
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--address"},
                                                {"--address", "localhost"},
                                                {"--address", "1.2.3.256"},
                                                {"--home"},
                                                {"--home", "--headless"},
                                                {"--bogus"},
                                                {"--share", "a.mp4"},
                                                {"--headless", "--share"},
                                                {"--unshare", "a.mp4"},
                                                {"--headless", "--unshare"},
                                                {"--headless", "--share", "a", "--share"}}) {
        auto parsed = parseCommandLine(bad);
        EXPECT_FALSE(parsed.line) << bad.front();
        EXPECT_FALSE(parsed.error.empty());
        EXPECT_EQ(parsed.error.find('\n'), std::string::npos);
    }
}

}  // namespace
}  // namespace zorvex
