#include "library/thumbnail_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

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
    WorkerPool pool(1);
    for (const std::string& duration : {std::string("1000"), std::string("")}) {
        Result result;
        std::string jpg = out.file("a" + duration + ".jpg");
        ThumbnailWorker worker(
            media.video1080, jpg, duration, ProbeFfmpegTool("ffmpeg"),
            [&](bool ok, const std::string& p) { result(ok, p); }, pool);
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
    WorkerPool pool(1);
    Result seeked;
    ThumbnailWorker worker(
        media.longClip, out.file("long.jpg"), "40000", ProbeFfmpegTool("ffmpeg"),
        [&](bool ok, const std::string& p) { seeked(ok, p); }, pool);
    worker.start();
    ASSERT_TRUE(test::waitUntil([&] { return seeked.done(); }, std::chrono::minutes(1)));
    EXPECT_TRUE(*seeked.made);

    Result broken;
    ThumbnailWorker never(
        media.broken, out.file("broken.jpg"), "", ProbeFfmpegTool("ffmpeg"),
        [&](bool ok, const std::string& p) { broken(ok, p); }, pool);
    never.start();
    ASSERT_TRUE(test::waitUntil([&] { return broken.done(); }, std::chrono::minutes(1)));
    EXPECT_FALSE(*broken.made);
}

TEST(ThumbnailWorker, AThumbnailFolderDeletedMeanwhileIsMadeAgain) {
    test::TempDir home;
    std::string jpg = home.file("file_root/image/k.jpg");
    ASSERT_FALSE(std::filesystem::exists(home.file("file_root")));
    Result result;
    WorkerPool pool(1);
    ThumbnailWorker worker(
        test::mediaFixtures().shortClip, jpg, "1000", ProbeFfmpegTool("ffmpeg"),
        [&](bool ok, const std::string& p) { result(ok, p); }, pool);
    worker.start();
    ASSERT_TRUE(test::waitUntil([&] { return result.done(); }, std::chrono::minutes(1)));
    EXPECT_TRUE(*result.made);
    EXPECT_EQ(frameSize(jpg), "128,72\n");
}

// A stand-in FFmpeg that marks itself running, notes when more of its kind
// run than the limit, and makes its picture once "<output>.go" exists.
constexpr const char* kGatedFfmpeg = R"sh(for last; do :; done
dir=$(dirname "$last")
touch "$last.running"
[ "$(ls "$dir" | grep -c '\.running$')" -gt 2 ] && touch "$dir/over"
while [ ! -e "$last.go" ]; do sleep 0.02; done
echo picture > "$last"
rm "$last.running"
)sh";

TEST(ThumbnailWorker, ThePoolBoundsHowManyRunAndAWaitingWorkerCanBeCancelled) {
    test::TempDir tools, out;
    const FfmpegTool tool{test::writeScript(tools.path(), "ffmpeg", kGatedFfmpeg), "aac"};
    WorkerPool pool(2);
    std::vector<Result> results(4);
    std::vector<std::unique_ptr<ThumbnailWorker>> workers;
    for (int i = 0; i < 4; ++i) {
        workers.push_back(std::make_unique<ThumbnailWorker>(
            "v.mp4", out.file(std::to_string(i) + ".jpg"), "3000", tool,
            [&results, i](bool ok, const std::string& p) {
                results[static_cast<std::size_t>(i)](ok, p);
            },
            pool));
        workers.back()->start();
    }
    auto running = [&] {
        int n = 0;
        for (int i = 0; i < 4; ++i)
            n += std::filesystem::exists(out.file(std::to_string(i) + ".jpg.running"));
        return n;
    };
    ASSERT_TRUE(test::waitUntil([&] { return running() == 2; }));
    // One of the two waiting workers goes; its FFmpeg never runs.
    int waiting = 0;
    while (std::filesystem::exists(out.file(std::to_string(waiting) + ".jpg.running"))) ++waiting;
    workers[static_cast<std::size_t>(waiting)].reset();
    EXPECT_FALSE(std::filesystem::exists(out.file(std::to_string(waiting) + ".jpg")));

    for (int i = 0; i < 4; ++i) out.write(std::to_string(i) + ".jpg.go", "");
    for (int i = 0; i < 4; ++i) {
        if (i == waiting) continue;
        auto& r = results[static_cast<std::size_t>(i)];
        ASSERT_TRUE(test::waitUntil([&] { return r.done(); }, std::chrono::minutes(1)));
        EXPECT_TRUE(*r.made);
    }
    EXPECT_FALSE(results[static_cast<std::size_t>(waiting)].done());
    EXPECT_FALSE(std::filesystem::exists(out.file("over"))) << "more than two FFmpegs ran";
    EXPECT_EQ(pool.threadCount(), 2u);
}

}  // namespace
}  // namespace zorvex
