#include "transcode/transcode_job.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <vector>

#include "media/media_probe.h"
#include "media_fixtures.h"
#include "platform/subprocess.h"
#include "support/test_support.h"
#include "transcode/progress_parser.h"

namespace zorvex {
namespace {

struct Recorder : TranscodeJobListener {
    std::mutex mutex;
    std::vector<std::uint32_t> progress;
    std::optional<TranscodeOutcome> outcome;
    void onProgress(std::uint32_t percent) override {
        std::lock_guard lock(mutex);
        progress.push_back(percent);
    }
    void onFinished(const TranscodeOutcome& result) override {
        std::lock_guard lock(mutex);
        outcome = result;
    }
    bool finished() {
        std::lock_guard lock(mutex);
        return outcome.has_value();
    }
    std::size_t progressCount() {
        std::lock_guard lock(mutex);
        return progress.size();
    }
};

TranscodeRequest requestFor(const std::string& source, const std::string& folder,
                            FfmpegTool tool = ProbeFfmpegTool("ffmpeg")) {
    auto probe = ProbeMedia(source);
    ConvertChoice choice =
        ChooseConvertParam(probe.fileSize, probe.duration, probe.width, probe.height, 1);
    return {source,         std::filesystem::path(source).filename().string(),
            probe.duration, choice.param,
            folder,         std::move(tool)};
}

// The files a conversion folder holds, hidden ones included.
std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(TranscodeJob, RealConversionSucceedsWithProgressAndAPlayableOutput) {
    test::TempDir out;
    Recorder recorder;
    TranscodeJob job(requestFor(test::mediaFixtures().video1080, out.path()), recorder);
    EXPECT_EQ(job.outputPath(), out.path() + "/v1080.mp4");
    job.start();
    ASSERT_TRUE(job.waitFor(std::chrono::minutes(2)));
    ASSERT_TRUE(recorder.outcome);
    EXPECT_EQ(recorder.outcome->kind, TranscodeOutcome::Kind::Done);
    EXPECT_EQ(recorder.outcome->outputPath, job.outputPath());
    auto probe = ProbeMedia(job.outputPath());
    EXPECT_EQ(probe.width, "1920");
    EXPECT_EQ(probe.height, "1080");
    for (std::uint32_t percent : recorder.progress) EXPECT_LE(percent, 100u);
    EXPECT_EQ(filesIn(out.path()), std::vector<std::string>{"v1080.mp4"});
}

TEST(TranscodeJob, ShortClipWithAnOddExtensionSucceeds) {
    test::TempDir out;
    Recorder recorder;
    TranscodeJob job(requestFor(test::mediaFixtures().shortClip, out.path()), recorder);
    EXPECT_EQ(job.outputPath(), out.path() + "/short.mp4");
    job.start();
    ASSERT_TRUE(job.waitFor(std::chrono::minutes(1)));
    EXPECT_EQ(recorder.outcome->kind, TranscodeOutcome::Kind::Done);
}

TEST(TranscodeJob, BrokenSourceFailsAndZeroParametersNeverStart) {
    test::TempDir out;
    Recorder broken;
    TranscodeRequest request = requestFor(test::mediaFixtures().shortClip, out.path());
    request.sourcePath = test::mediaFixtures().broken;
    TranscodeJob job(request, broken);
    job.start();
    ASSERT_TRUE(job.waitFor(std::chrono::minutes(1)));
    EXPECT_EQ(broken.outcome->kind, TranscodeOutcome::Kind::Failed);
    EXPECT_TRUE(broken.outcome->message.empty());

    Recorder zero;
    request.param.Width = 0;
    TranscodeJob never(request, zero);
    never.start();
    ASSERT_TRUE(never.waitFor(std::chrono::seconds(30)));
    EXPECT_EQ(zero.outcome->kind, TranscodeOutcome::Kind::Failed);
    EXPECT_EQ(zero.outcome->message, "转码异常！！！");

    Recorder missing;
    request = requestFor(test::mediaFixtures().shortClip, out.path(),
                         FfmpegTool{out.file("no-such-ffmpeg"), "aac"});
    TranscodeJob absent(request, missing);
    absent.start();
    ASSERT_TRUE(absent.waitFor(std::chrono::seconds(30)));
    EXPECT_EQ(missing.outcome->message, "创建cmd通道失败");
}

TEST(TranscodeJob, StopEndsOnlyItsOwnFfmpegAndDeletesThePartialOutput) {
    test::TempDir out, logs;
    // Someone else's FFmpeg, which must survive our stop.
    auto bystander =
        Subprocess::start({"ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                           "testsrc=size=64x64:rate=5", "-t", "120", "-f", "null", "-"})
            .process;
    ASSERT_TRUE(bystander);
    Recorder recorder;
    TranscodeJob job(requestFor(test::mediaFixtures().longClip, out.path()), recorder);
    job.start();
    ASSERT_TRUE(
        test::waitUntil([&] { return recorder.progressCount() > 0; }, std::chrono::minutes(1)));
    job.requestStop(false);
    ASSERT_TRUE(job.waitFor(std::chrono::seconds(30)));
    EXPECT_EQ(recorder.outcome->kind, TranscodeOutcome::Kind::Stopped);
    EXPECT_FALSE(recorder.outcome->quiet);
    EXPECT_TRUE(filesIn(out.path()).empty()) << "neither the output nor its partial file";
    EXPECT_EQ(::kill(bystander->pid(), 0), 0);
}

TranscodeOutcome outcomeOf(const TranscodeRequest& request) {
    Recorder recorder;
    TranscodeJob job(request, recorder);
    job.start();
    EXPECT_TRUE(job.waitFor(std::chrono::minutes(1)));
    TranscodeOutcome none;
    none.kind = TranscodeOutcome::Kind::Stopped;
    return recorder.outcome.value_or(none);
}

TranscodeOutcome::Kind runJob(const TranscodeRequest& request) {
    return outcomeOf(request).kind;
}

TEST(TranscodeJob, DoneNeedsExitZeroAndAWholeVideoAndAFailureLeavesNothing) {
    using Kind = TranscodeOutcome::Kind;
    test::TempDir tools, out;
    const auto& media = test::mediaFixtures();
    std::string args = tools.file("args");
    // The output is the last argument; each stand-in writes something there first.
    std::string crashing =
        test::writeScript(tools.path(), "crash-ffmpeg",
                          "for last; do :; done\nhead -c 100000 /dev/zero > \"$last\"\n"
                          "printf 'frame=1 time=00:00:01.00 bitrate=1\\r' >&2\nkill -SEGV $$\n");
    std::string failing =
        test::writeScript(tools.path(), "fail-ffmpeg",
                          "for last; do :; done\necho half > \"$last\"\n"
                          "printf 'frame=1 time=00:00:01.00 bitrate=1\\r' >&2\n"
                          "printf '[aac @ 0x5a] Too many bits\\nConversion failed!\\n' >&2\n"
                          "exit 1\n");
    std::string garbage = test::writeScript(tools.path(), "garbage-ffmpeg",
                                            "for last; do :; done\necho done > \"$last\"\n");
    // Killed at 1 s of a 40 s source, yet it says all went well.
    std::string lying =
        test::writeScript(tools.path(), "lying-ffmpeg",
                          "for last; do :; done\ncat '" + media.shortClip +
                              "' > \"$last\"\n"
                              "printf 'frame=1 time=00:00:01.00 bitrate=1\\r' >&2\nexit 0\n");
    // No progress line at all, yet the whole video.
    std::string whole =
        test::writeScript(tools.path(), "whole-ffmpeg",
                          "echo \"$@\" > '" + args + "'\nfor last; do :; done\ncat '" +
                              media.longClip + "' > \"$last\"\n");
    // Exits 0 with the whole sound track but 2 s of picture.
    std::string frozen = test::writeScript(
        tools.path(), "frozen-ffmpeg",
        "for last; do :; done\nexec ffmpeg -v error -f lavfi -i testsrc=size=160x120:d=2 "
        "-f lavfi -i sine=d=40 -f mp4 -y \"$last\"\n");
    TranscodeRequest request = requestFor(media.longClip, out.path());
    for (const std::string& program : {crashing, failing, garbage, lying, frozen}) {
        request.tool = {program, "aac"};
        EXPECT_EQ(runJob(request), Kind::Failed) << program;
        EXPECT_TRUE(filesIn(out.path()).empty()) << program;
    }
    // The user is told why, in a few words.
    request.tool = {failing, "aac"};
    EXPECT_EQ(outcomeOf(request).reason, "[aac @ 0x5a] Too many bits");
    request.tool = {frozen, "aac"};
    EXPECT_EQ(outcomeOf(request).reason, "输出只有 2 秒，原视频 40 秒");
    request.tool = {whole, "aac"};
    EXPECT_EQ(runJob(request), Kind::Done);
    EXPECT_EQ(filesIn(out.path()), std::vector<std::string>{"long.mp4"});
    // FFmpeg wrote under a hidden name, with the container named.
    std::string line = test::readFile(args);
    EXPECT_NE(line.find(" -f mp4 -y " + out.path() + "/.long.mp4.part-"), std::string::npos)
        << line;

    // A second conversion never replaces the finished file.
    EXPECT_EQ(runJob(request), Kind::Failed);
    EXPECT_EQ(filesIn(out.path()), std::vector<std::string>{"long.mp4"});
}

TEST(TranscodeJob, APictureShorterThanItsSoundConverts) {
    test::TempDir out;
    const std::string& clip = test::mediaFixtures().longSound;
    ASSERT_GT(leadingNumber(ProbeMedia(clip).duration), 11000);  // the container's is the sound's
    TranscodeOutcome outcome = outcomeOf(requestFor(clip, out.path()));
    EXPECT_EQ(outcome.kind, TranscodeOutcome::Kind::Done) << outcome.reason;
}

TEST(TranscodeJob, RealFfmpegOutOfRoomLeavesNothing) {
    test::TempDir tools, out;
    // A file-size limit fails FFmpeg's writes as a full disk does, for root too.
    std::string cramped =
        test::writeScript(tools.path(), "cramped-ffmpeg", "ulimit -f 64\nexec ffmpeg \"$@\"\n");
    TranscodeRequest request =
        requestFor(test::mediaFixtures().longClip, out.path(), ProbeFfmpegTool(cramped));
    EXPECT_EQ(runJob(request), TranscodeOutcome::Kind::Failed);
    EXPECT_TRUE(filesIn(out.path()).empty());
}

TEST(TranscodeJob, OutputMustLastAsLongAsTheSource) {
    auto video = [](std::string duration) {
        return MediaProbeResult{"100000", "1000", "640", "360", std::move(duration)};
    };
    // Three seconds either way for a short source...
    EXPECT_TRUE(OutputMatchesSource(video("97000"), "100000"));
    EXPECT_TRUE(OutputMatchesSource(video("103000"), "100000"));
    EXPECT_FALSE(OutputMatchesSource(video("96999"), "100000"));
    // ...and 2 % of a long one.
    EXPECT_TRUE(OutputMatchesSource(video("588000"), "600000"));
    EXPECT_FALSE(OutputMatchesSource(video("587999"), "600000"));
    // Sound alone, or nothing MediaInfo could read, is no converted video.
    EXPECT_FALSE(OutputMatchesSource({"100000", "1000", "", "", ""}, "100000"));
    EXPECT_FALSE(OutputMatchesSource(video(""), "100000"));
    EXPECT_FALSE(OutputMatchesSource(video("Unable to load MediaInfo.dll"), "100000"));
    // Without the source's length only some length is asked for.
    EXPECT_TRUE(OutputMatchesSource(video("5000"), ""));
}

TEST(TranscodeJob, TheReasonIsFfmpegsLastErrorLine) {
    EXPECT_EQ(LastErrorLine("ffmpeg version 5\nin.mp4: No such file or directory\n"),
              "in.mp4: No such file or directory");
    // Progress and FFmpeg's closing words say nothing; a later plain line
    // gives way to an earlier error.
    EXPECT_EQ(LastErrorLine("Error while decoding\r\nframe=1 time=00:00:01.00\rStream #0\n"
                            "Conversion failed!\n"),
              "Error while decoding");
    EXPECT_EQ(LastErrorLine("Stream mapping:\n  #0 -> #0\n"), "#0 -> #0");
    EXPECT_EQ(LastErrorLine(""), "");
    EXPECT_EQ(LastErrorLine(std::string(500, 'x') + " error").size(), 160u);
}

TEST(TranscodeJob, ProgressComesFromRealFfmpegOutput) {
    test::TempDir tools, out;
    // Real progress lines of an FFmpeg run, replayed against a 600 s source.
    std::string replay =
        test::writeScript(tools.path(), "replay-ffmpeg",
                          "for last; do :; done\n"
                          "printf 'Input #0, avi\\n  Duration: 00:10:00.00\\n' >&2\n"
                          "printf 'frame=  100 fps=0.0 q=28.0 size=  256kB time=00:05:00.00 "
                          "bitrate= 1.0kbits/s speed=2x\\r' >&2\n"
                          "printf 'frame=  200 fps=0.0 q=28.0 size=  512kB time=00:07:30.00 "
                          "bitrate= 1.0kbits/s speed=2x\\r' >&2\n"
                          "echo x > \"$last\"\n");
    TranscodeRequest request =
        requestFor(test::mediaFixtures().shortClip, out.path(), {replay, "aac"});
    request.durationMs = "600000";
    Recorder recorder;
    TranscodeJob job(request, recorder);
    job.start();
    ASSERT_TRUE(job.waitFor(std::chrono::seconds(30)));
    ASSERT_FALSE(recorder.progress.empty());
    EXPECT_EQ(recorder.progress.back(), 75u);
    for (std::uint32_t percent : recorder.progress) EXPECT_TRUE(percent == 50 || percent == 75);
}

}  // namespace
}  // namespace zorvex
