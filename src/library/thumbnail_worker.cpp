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

bool ThumbnailSlots::acquire(const std::atomic<bool>& cancelled) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return free_ > 0 || cancelled.load(); });
    if (cancelled) return false;
    --free_;
    return true;
}

void ThumbnailSlots::release() {
    {
        std::lock_guard lock(mutex_);
        ++free_;
    }
    changed_.notify_one();
}

void ThumbnailSlots::wake() {
    // Under the lock, so that a waiter between its check and its sleep
    // cannot miss it.
    std::lock_guard lock(mutex_);
    changed_.notify_all();
}

ThumbnailWorker::ThumbnailWorker(std::string source, std::string thumbnailPath,
                                 std::string durationMs, FfmpegTool tool, Done done,
                                 ThumbnailSlots* slots)
    : source_(std::move(source)),
      thumbnailPath_(std::move(thumbnailPath)),
      durationMs_(std::move(durationMs)),
      tool_(std::move(tool)),
      done_(std::move(done)),
      slots_(slots) {}

ThumbnailWorker::~ThumbnailWorker() {
    cancel();
}

void ThumbnailWorker::start() {
    if (!thread_.joinable()) thread_ = std::jthread([this] { run(); });
}

void ThumbnailWorker::cancel() {
    cancelled_ = true;
    if (slots_) slots_->wake();
}

void ThumbnailWorker::run() {
    if (slots_ && !slots_->acquire(cancelled_)) {
        finished_ = true;
        return;
    }
    std::string seek = ThumbnailSeekFor(durationMs_);
    bool made = extract(seek);
    // A video shorter than the seek (its length unknown) gives no frame there.
    if (!made && !cancelled_ && seek != kStart) made = extract(kStart);
    if (slots_) slots_->release();
    finished_ = true;
    if (!cancelled_ && done_) done_(made, thumbnailPath_);
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
        if (cancelled_) {
            ffmpeg->terminate();
            break;
        }
    }
    int status = ffmpeg->wait();
    return !cancelled_ && status == 0 && isRegularFile(thumbnailPath_);
}

}  // namespace zorvex
