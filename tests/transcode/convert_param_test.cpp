#include "transcode/convert_param.h"

#include <gtest/gtest.h>

#include <random>

#include "transcode/progress_parser.h"

namespace zorvex {
namespace {

const std::string k100MiB = std::to_string(100ll * 1024 * 1024);

TEST(ChooseConvertParam, SixteenByNineIsThreeDCappedAtFourThousand) {
    auto choice = ChooseConvertParam(k100MiB, "100000", "1920", "1080", 0);
    EXPECT_EQ(choice.label, "3D-1080P");
    EXPECT_EQ(choice.param.Width, 1920u);
    EXPECT_EQ(choice.param.Height, 1080u);
    EXPECT_EQ(choice.param.BitrateK, 4000u);  // 8192 capped
    // 4:3 counts as 3D too, and a source under 1920 keeps its own size.
    auto narrow = ChooseConvertParam(k100MiB, "100000", "1440", "1080", 0);
    EXPECT_EQ(narrow.label, "3D-1080P");
    EXPECT_EQ(narrow.param.Width, 1440u);
    EXPECT_EQ(narrow.param.Height, 1080u);
}

TEST(ChooseConvertParam, TwoByOneIsThreeSixtyWithoutCap) {
    auto twoK = ChooseConvertParam(k100MiB, "100000", "3840", "1920", 2);
    EXPECT_EQ(twoK.label, "360°-2K");
    EXPECT_EQ(twoK.param.Width, 2560u);
    EXPECT_EQ(twoK.param.Height, 1280u);
    EXPECT_EQ(twoK.param.BitrateK, 8192u);
    auto hd = ChooseConvertParam(k100MiB, "100000", "3840", "1920", 1);
    EXPECT_EQ(hd.label, "360°-1080P");
    EXPECT_EQ(hd.param.Width, 1920u);
    EXPECT_EQ(hd.param.Height, 960u);
    auto middle = ChooseConvertParam(k100MiB, "100000", "2000", "1000", 1);
    EXPECT_EQ(middle.param.Width, 1920u);
    EXPECT_EQ(middle.param.Height, 960u);
}

TEST(ChooseConvertParam, WideThreeDSourcesFollowTheRatioSetting) {
    for (int setting : {0, 2}) {
        auto choice = ChooseConvertParam(k100MiB, "100000", "3840", "2160", setting);
        EXPECT_EQ(choice.label, "3D-2K");
        EXPECT_EQ(choice.param.Width, 2560u);
        EXPECT_EQ(choice.param.Height, 1440u);
    }
    auto hd = ChooseConvertParam(k100MiB, "100000", "3840", "2160", 1);
    EXPECT_EQ(hd.label, "3D-1080P");
    EXPECT_EQ(hd.param.Width, 1920u);
}

TEST(ChooseConvertParam, MissingProbeValuesGiveZeros) {
    EXPECT_EQ(ChooseConvertParam(k100MiB, "100000", "", "", 0).param.Width, 0u);
    // The text of a missing library reads as 0 everywhere.
    const char* none = "Unable to load MediaInfo.dll";
    auto choice = ChooseConvertParam(none, none, none, none, 0);
    EXPECT_EQ(choice.param.Width, 0u);
    EXPECT_EQ(choice.param.BitrateK, 0u);
    EXPECT_EQ(ChooseConvertParam(k100MiB, "0", "3840", "1920", 0).param.BitrateK, 0u);
}

TEST(Progress, ClockTimesAndPercentages) {
    EXPECT_EQ(parseClockTime("01:02:03.45"), 3723u);
    EXPECT_FALSE(parseClockTime("N/A"));
    EXPECT_FALSE(parseClockTime("-00:00:01.00"));
    EXPECT_EQ(progressPercent(300, "600000"), 50u);
    EXPECT_EQ(progressPercent(700, "600000"), 100u);
    EXPECT_FALSE(progressPercent(1, "999"));  // under a second: no division by zero
    EXPECT_FALSE(progressPercent(1, ""));
}

TEST(Progress, ParserReadsWholeLinesAcrossReadsWithoutStaleBytes) {
    ProgressParser parser;
    std::string header(300, 'x');  // a time far past the first 100 characters still counts
    EXPECT_FALSE(parser.feed(header + "\nframe=1 time=00:00:0"));
    EXPECT_FALSE(parser.sawProgress());
    EXPECT_EQ(parser.feed("5.00 bitrate=1\rframe=2 time=00:01:00.00 bitrate=1\r"), 60u);
    EXPECT_TRUE(parser.sawProgress());
    // A shorter read after a longer one sees only its own bytes.
    EXPECT_FALSE(parser.feed("frame=3 fps=1\r"));
    EXPECT_FALSE(parser.feed("frame=4 time=N/A bitrate=N/A\r"));
}

TEST(Progress, ParserTakesLinesSplitAnywhereAndTheLastOfSeveral) {
    ProgressParser parser;
    std::string line = "frame=1 time=00:01:05.00 bitrate=1\r";
    for (std::size_t i = 0; i + 1 < line.size(); ++i) EXPECT_FALSE(parser.feed(line.substr(i, 1)));
    EXPECT_EQ(parser.feed("\r"), 65u);
    EXPECT_EQ(parser.feed("time=00:00:01.00\r\ntime=00:00:02.00\rtime=00:00:0"), 2u);
    EXPECT_EQ(parser.feed("3.00\n"), 3u);
}

TEST(Progress, ParserDropsOversizedLinesAndSurvivesGarbage) {
    ProgressParser parser;
    // A line longer than any progress line is no progress line, whatever its end holds.
    EXPECT_FALSE(parser.feed(std::string(200 * 1024, 'x') + " time=00:00:09.00\r"));
    EXPECT_FALSE(parser.sawProgress());
    EXPECT_EQ(parser.feed("time=00:00:10.00\r"), 10u);

    std::mt19937 random(7);
    std::string garbage;
    for (int i = 0; i < 100'000; ++i) garbage += static_cast<char>(random() & 0xFF);
    for (std::size_t at = 0; at < garbage.size();) {
        std::size_t length = 1 + random() % 4096;
        parser.feed(std::string_view(garbage).substr(at, length));
        at += length;
    }
    for (std::string bad : {"time=ab:cd:ef\r", "time=\r", "time=-00:00:01.00\r", "time=1:2\r"})
        EXPECT_FALSE(parser.feed(bad)) << bad;
    EXPECT_EQ(parser.feed("\rframe=9 time=01:00:00.00 bitrate=1\r"), 3600u);
}

}  // namespace
}  // namespace zorvex
