#include "library/thumbnail_worker.h"

#include "media/media_probe.h"
#include "platform/file_util.h"
#include "platform/subprocess.h"

namespace zorvex {

namespace {
constexpr const char* kSeek = "00:00:15";
constexpr const char* kStart = "00:00:00";
constexpr std::int64_t kSeekMs = 15000;
}  // namespace

std::string ThumbnailSeekFor(const std::string& durationMs) {
    std::int64_t ms = leadingNumber(durationMs);
    return ms > 0 && ms < kSeekMs ? kStart : kSeek;
}

ThumbnailWorker::ThumbnailWorker(std::string source, std::string thumbnailPath,
                                 std::string durationMs, FfmpegTool tool, Done done,
                                 WorkerPool& pool)
    : source_(std::move(source)),
      thumbnailPath_(std::move(thumbnailPath)),
      durationMs_(std::move(durationMs)),
      tool_(std::move(tool)),
      done_(std::move(done)),
      task_(pool) {}

ThumbnailWorker::~ThumbnailWorker() {
    cancel();
}

void ThumbnailWorker::start() {
    if (!started_.exchange(true)) task_.post([this] { run(); });
}

void ThumbnailWorker::cancel() {
    task_.cancel();
    finished_ = true;  // a worker dropped before it ran ends here
}

void ThumbnailWorker::run() {
    const std::atomic<bool>& cancelled = task_.cancelled();
    std::string seek = ThumbnailSeekFor(durationMs_);
    bool made = extract(seek);
    // A video shorter than the seek (its length unknown) gives no frame there.
    if (!made && !cancelled && seek != kStart) made = extract(kStart);
    finished_ = true;
    if (!cancelled && done_) done_(made, thumbnailPath_);
}

bool ThumbnailWorker::extract(const std::string& seek) {
    // The folder may have been deleted while we run: without it FFmpeg
    // writes nothing, and phones would see no thumbnail until a restart.
    makeDirectories(parentFolder(thumbnailPath_));
    auto ffmpeg =
        Subprocess::start(ThumbnailArguments(tool_, source_, thumbnailPath_, seek)).process;
    if (!ffmpeg) return false;
    std::string discarded;
    while (ffmpeg->read(discarded, std::chrono::milliseconds(100))) {
        discarded.clear();  // read only so that the pipe never fills
        if (task_.cancelled()) {
            ffmpeg->terminate();
            break;
        }
    }
    int status = ffmpeg->wait();
    return !task_.cancelled() && status == 0 && isRegularFile(thumbnailPath_);
}

}  // namespace zorvex
