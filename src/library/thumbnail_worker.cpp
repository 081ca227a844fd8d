#include "library/thumbnail_worker.h"

#include "platform/file_util.h"
#include "platform/subprocess.h"
#include "transcode/convert_param.h"

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
                                 std::string durationMs, FfmpegTool tool, Done done)
    : source_(std::move(source)),
      thumbnailPath_(std::move(thumbnailPath)),
      durationMs_(std::move(durationMs)),
      tool_(std::move(tool)),
      done_(std::move(done)) {}

ThumbnailWorker::~ThumbnailWorker() {
    cancel();
    if (thread_.joinable()) thread_.join();
}

void ThumbnailWorker::start() {
    if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
}

void ThumbnailWorker::cancel() {
    cancelled_ = true;
}

void ThumbnailWorker::run() {
    std::string seek = ThumbnailSeekFor(durationMs_);
    bool made = extract(seek);
    // A video shorter than the seek (its length unknown) gives no frame there.
    if (!made && !cancelled_ && seek != kStart) made = extract(kStart);
    finished_ = true;
    if (!cancelled_ && done_) done_(made, thumbnailPath_);
}

bool ThumbnailWorker::extract(const std::string& seek) {
    auto ffmpeg =
        Subprocess::start(ThumbnailArguments(tool_, source_, thumbnailPath_, seek)).process;
    if (!ffmpeg) return false;
    std::string discarded;
    while (ffmpeg->read(discarded, std::chrono::milliseconds(100))) {
        discarded.clear();  // read only so that the pipe never fills
        if (cancelled_) {
            ffmpeg->terminate();
            break;
        }
    }
    int status = ffmpeg->wait();
    return !cancelled_ && status == 0 && isRegularFile(thumbnailPath_);
}

}  // namespace zorvex
