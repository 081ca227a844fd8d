#include "library/thumbnail_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "../transcode/media_fixtures.h"
#include "platform/subprocess.h"
#include "support/test_support.h"

namespace zorvex {
namespace {

struct Result {
    std::mutex mutex;
    std::optional<bool> made;
    std::string path;
    void operator()(bool ok, const std::string& p) {
        std::lock_guard lock(mutex);
        made = ok;
        path = p;
    }
    bool done() {
        std::lock_guard lock(mutex);
        return made.has_value();
    }
};

std::string frameSize(const std::string& image) {
    auto probe = runToEnd({"ffprobe", "-v", "error", "-show_entries", "stream=width,height", "-of",
                           "csv=p=0", image});
    return probe ? probe->output : "";
}

TEST(ThumbnailWorker, ShortVideosGetTheirFirstFrameAt128x72) {
    test::TempDir out;
    const auto& media = test::mediaFixtures();
    for (const std::string& duration : {std::string("3000"), std::string("")}) {
        Result result;
        std::string jpg = out.file("a" + duration + ".jpg");
        ThumbnailWorker worker(media.video1080, jpg, duration, ProbeFfmpegTool("ffmpeg"),
                               [&](bool ok, const std::string& p) { result(ok, p); });
        worker.start();
        ASSERT_TRUE(test::waitUntil([&] { return result.done(); }, std::chrono::minutes(1)));
        EXPECT_TRUE(*result.made) << "duration '" << duration << "'";
        EXPECT_EQ(result.path, jpg);
        EXPECT_EQ(frameSize(jpg), "128,72\n");
    }
    EXPECT_EQ(ThumbnailSeekFor("600000"), "00:00:15");
    EXPECT_EQ(ThumbnailSeekFor("14999"), "00:00:00");
    EXPECT_EQ(ThumbnailSeekFor("Unable to load MediaInfo.dll"), "00:00:15");
}

TEST(ThumbnailWorker, LongVideoIsSeekedAndBrokenOnesReportNoFile) {
    test::TempDir out;
    const auto& media = test::mediaFixtures();
    Result seeked;
    ThumbnailWorker worker(media.longClip, out.file("long.jpg"), "40000", ProbeFfmpegTool("ffmpeg"),
                           [&](bool ok, const std::string& p) { seeked(ok, p); });
    worker.start();
    ASSERT_TRUE(test::waitUntil([&] { return seeked.done(); }, std::chrono::minutes(1)));
    EXPECT_TRUE(*seeked.made);

    Result broken;
    ThumbnailWorker never(media.broken, out.file("broken.jpg"), "", ProbeFfmpegTool("ffmpeg"),
                          [&](bool ok, const std::string& p) { broken(ok, p); });
    never.start();
    ASSERT_TRUE(test::waitUntil([&] { return broken.done(); }, std::chrono::minutes(1)));
    EXPECT_FALSE(*broken.made);
}

}  // namespace
}  // namespace zorvex
