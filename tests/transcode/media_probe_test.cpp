#include "media/media_probe.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "media_fixtures.h"
#include "platform/utf8_locale.h"
#include "support/test_support.h"
#include "transcode/convert_param.h"

namespace zorvex {
MediaProbeResult ProbeMediaWithoutLibrary(const std::string& path);  // probe_missing_library.cpp

namespace {

// As main() does before any thread starts.
const bool utf8 = EnsureUtf8Locale();

TEST(MediaProbe, VideoGivesAllFourTexts) {
    const auto& media = test::mediaFixtures();
    auto result = ProbeMedia(media.video1080);
    EXPECT_EQ(result.width, "1920");
    EXPECT_EQ(result.height, "1080");
    EXPECT_EQ(result.fileSize, std::to_string(test::readFile(media.video1080).size()));
    int duration = std::stoi(result.duration);
    EXPECT_GT(duration, 900);
    EXPECT_LT(duration, 1200);
    EXPECT_EQ(test::readFile("/proc/self/maps").find("libmediainfo"), std::string::npos)
        << "MediaInfo stays in its helper process";
}

TEST(MediaProbe, AudioOnlyHasNoFrameSizeAndNamesMayBeChinese) {
    const auto& media = test::mediaFixtures();
    auto sound = ProbeMedia(media.audioOnly);
    EXPECT_FALSE(sound.duration.empty());
    EXPECT_FALSE(sound.fileSize.empty());
    EXPECT_EQ(sound.width, "");
    EXPECT_EQ(sound.height, "");
    ASSERT_TRUE(utf8);
    EXPECT_EQ(ProbeMedia(media.unicodeClip).width, "320");
    auto broken = ProbeMedia(media.broken);
    EXPECT_EQ(broken.width, "");
}

TEST(MediaProbe, RealClipsFollowTheThreeDAndThreeSixtyRules) {
    const auto& media = test::mediaFixtures();
    auto wide = ProbeMedia(media.video1080);
    for (int setting : {1, 2}) {
        auto choice =
            ChooseConvertParam(wide.fileSize, wide.duration, wide.width, wide.height, setting);
        EXPECT_EQ(choice.label, "3D-1080P");
        EXPECT_EQ(choice.param.Width, 1920u);
        EXPECT_GT(choice.param.BitrateK, 0u);
    }
    auto sphere = ProbeMedia(media.video360);
    EXPECT_EQ(sphere.width, "320");
    EXPECT_EQ(sphere.height, "160");
    for (int setting : {1, 2}) {
        auto choice = ChooseConvertParam(sphere.fileSize, sphere.duration, sphere.width,
                                         sphere.height, setting);
        EXPECT_EQ(choice.label, "360°-1080P");  // under 1920 wide: its own size
        EXPECT_EQ(choice.param.Width, 320u);
        EXPECT_EQ(choice.param.Height, 160u);
    }
}

TEST(MediaProbe, NamesThatAreNotUtf8AreProbedByTheirDescriptor) {
    test::TempDir folder;
    std::string clip = folder.file(std::string("bad\xff\xfe") + "bytes.avi");
    std::filesystem::copy_file(test::mediaFixtures().shortClip, clip);
    auto result = ProbeMedia(clip);
    EXPECT_EQ(result.width, "320");
    EXPECT_EQ(result.height, "240");
    EXPECT_EQ(result.fileSize, std::to_string(test::readFile(clip).size()));
    EXPECT_FALSE(result.duration.empty());
    EXPECT_EQ(ProbeMedia(folder.file("gone\xff.avi")).width, "");
}

TEST(MediaProbe, WithoutTheLibraryEveryTextSaysSo) {
    auto result = ProbeMediaWithoutLibrary(test::mediaFixtures().video1080);
    for (const auto* text : {&result.duration, &result.fileSize, &result.width, &result.height}) {
        EXPECT_EQ(*text, "Unable to load MediaInfo.dll");
    }
}

}  // namespace
}  // namespace zorvex
