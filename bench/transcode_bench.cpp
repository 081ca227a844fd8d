// Runs one conversion, thumbnail or probe round exactly as the application
// does, and prints its wall time, so that transcode_bench.sh can set it
// beside the same FFmpeg command run directly.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "library/thumbnail_worker.h"
#include "media/media_probe.h"
#include "platform/file_util.h"
#include "platform/utf8_locale.h"
#include "transcode/conversion_arguments.h"
#include "transcode/transcode_job.h"

using namespace zorvex;
using Clock = std::chrono::steady_clock;

namespace {

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TranscodeRequest requestFor(const std::string& source, const std::string& folder) {
    MediaProbeResult probe = ProbeMedia(source);
    ConvertChoice choice =
        ChooseConvertParam(probe.fileSize, probe.duration, probe.width, probe.height, 1);
    return {source, fileNamePart(source),     probe.duration, choice.param,
            folder, ProbeFfmpegTool("ffmpeg")};
}

struct Waiter : TranscodeJobListener {
    std::mutex mutex;
    std::optional<TranscodeOutcome> outcome;
    void onProgress(std::uint32_t) override {}
    void onFinished(const TranscodeOutcome& result) override {
        std::lock_guard lock(mutex);
        outcome = result;
    }
};

int usage() {
    std::fputs(
        "usage: zorvex-transcode-bench args SRC OUTDIR | convert SRC OUTDIR |\n"
        "       thumbnail SRC OUT.jpg DURATION_MS | probe FILE...\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    EnsureUtf8Locale();
    if (argc < 3) return usage();
    std::string command = argv[1];
    if ((command == "args" || command == "convert") && argc == 4) {
        TranscodeRequest request = requestFor(argv[2], argv[3]);
        if (command == "args") {
            std::string output = ConvertedOutputPath(argv[3], fileNamePart(argv[2]));
            for (const auto& a :
                 ConversionArguments(request.tool, argv[2], request.param, output)) {
                std::printf("%s\n", a.c_str());
            }
            return 0;
        }
        Waiter waiter;
        auto start = Clock::now();  // the request (and its probe) is made before
        TranscodeJob job(request, waiter);
        job.start();
        job.waitFor(std::chrono::hours(1));
        double seconds = since(start);
        bool done = waiter.outcome && waiter.outcome->kind == TranscodeOutcome::Kind::Done;
        std::printf("%.3f %s\n", seconds, done ? "done" : "failed");
        return done ? 0 : 1;
    }
    if (command == "thumbnail" && argc == 5) {
        std::mutex mutex;
        std::optional<bool> made;
        // The application asks FFmpeg for its encoders once per process.
        FfmpegTool tool = ProbeFfmpegTool("ffmpeg");
        auto start = Clock::now();
        {
            WorkerPool pool(1);
            ThumbnailWorker worker(
                argv[2], argv[3], argv[4], tool,
                [&](bool ok, const std::string&) {
                    std::lock_guard lock(mutex);
                    made = ok;
                },
                pool);
            worker.start();
            while (!worker.finished()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::printf("%.3f %s\n", since(start), made.value_or(false) ? "made" : "failed");
        return made.value_or(false) ? 0 : 1;
    }
    if (command == "probe") {
        auto start = Clock::now();
        int complete = 0;
        for (int i = 2; i < argc; ++i) complete += !ProbeMedia(argv[i]).width.empty();
        std::printf("%.3f %d of %d\n", since(start), complete, argc - 2);
        return 0;
    }
    return usage();
}
