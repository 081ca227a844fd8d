#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "media/ffmpeg_tool.h"

namespace zorvex {

// How many thumbnail FFmpegs may run at once. A library of 70 cards examined
// in a row would otherwise start 70 encoders together and starve the window.
// Any thread.
class ThumbnailSlots {
public:
    explicit ThumbnailSlots(int count) : free_(count) {}

    // Waits for a free slot; false, without one, once cancelled() is true
    // and wake() was called.
    bool acquire(const std::atomic<bool>& cancelled);
    void release();
    // Lets waiters look at their cancel flag again.
    void wake();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int free_;  // guarded by mutex_
};

// Makes a video's thumbnail: one frame 15 seconds in (the first frame of a
// shorter video), 128 x 72, as a JPEG at the given path, by FFmpeg on a
// thread of its own.
class ThumbnailWorker {
public:
    // Called once on the worker thread: whether the file now exists, and its
    // path. A cancelled worker does not call it.
    using Done = std::function<void(bool made, const std::string& thumbnailPath)>;

    // durationMs: the probe's text; "" or unreadable when not known.
    // slots: shared by the workers of one library, not owned, outliving the
    // worker; null: no limit.
    ThumbnailWorker(std::string source, std::string thumbnailPath, std::string durationMs,
                    FfmpegTool tool, Done done, ThumbnailSlots* slots = nullptr);
    ~ThumbnailWorker();  // cancels and joins
    ThumbnailWorker(const ThumbnailWorker&) = delete;
    ThumbnailWorker& operator=(const ThumbnailWorker&) = delete;

    void start();
    // Ends the worker's FFmpeg (only its own) and the worker without a report.
    void cancel();
    bool finished() const { return finished_.load(); }

private:
    void run();
    bool extract(const std::string& seek);

    const std::string source_;
    const std::string thumbnailPath_;
    const std::string durationMs_;
    const FfmpegTool tool_;
    const Done done_;
    ThumbnailSlots* const slots_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> finished_{false};
    std::jthread thread_;  // last, so that it is joined before what it uses goes
};

// The seek of the first try: 00:00:15, or 00:00:00 for a video known to be
// shorter than 15 seconds.
std::string ThumbnailSeekFor(const std::string& durationMs);

}  // namespace zorvex
