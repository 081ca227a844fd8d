#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "media/ffmpeg_tool.h"
#include "platform/worker_pool.h"

namespace zorvex {

// Makes a video's thumbnail: one frame 15 seconds in (the first frame of a
// shorter video), 128 x 72, as a JPEG at the given path, by FFmpeg on a
// thread of the pool it is given: the pool's size bounds how many FFmpegs
// run at once (70 cards examined in a row would otherwise start 70 encoders
// together and starve the window).
class ThumbnailWorker {
public:
    // Called once on the pool's thread: whether the file now exists, and its
    // path. A cancelled worker does not call it.
    using Done = std::function<void(bool made, const std::string& thumbnailPath)>;

    // durationMs: the probe's text; "" or unreadable when not known.
    // pool: not owned, outliving the worker.
    ThumbnailWorker(std::string source, std::string thumbnailPath, std::string durationMs,
                    FfmpegTool tool, Done done, WorkerPool& pool);
    ~ThumbnailWorker();  // cancels and waits for a running FFmpeg's end
    ThumbnailWorker(const ThumbnailWorker&) = delete;
    ThumbnailWorker& operator=(const ThumbnailWorker&) = delete;

    void start();
    // Ends the worker's FFmpeg (only its own), or drops it before it runs,
    // without a report.
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
    std::atomic<bool> started_{false};
    std::atomic<bool> finished_{false};
    TaskGroup task_;  // last, so that it is cancelled before what it uses goes
};

// The seek of the first try: 00:00:15, or 00:00:00 for a video known to be
// shorter than 15 seconds.
std::string ThumbnailSeekFor(const std::string& durationMs);

}  // namespace zorvex
