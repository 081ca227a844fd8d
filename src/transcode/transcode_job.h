#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "media/ffmpeg_tool.h"
#include "media/media_probe.h"
#include "transcode/convert_param.h"

namespace zorvex {

// What a job needs, copied in when it is made.
struct TranscodeRequest {
    std::string sourcePath;
    std::string fileName;    // the source's name with extension
    std::string durationMs;  // the probe's duration text
    CONVERT_PARAM_ST param;
    std::string convertFolder;  // read when the job is made
    FfmpegTool tool;
};

struct TranscodeOutcome {
    enum class Kind { Done, Failed, Stopped };
    Kind kind = Kind::Failed;
    std::string outputPath;
    // For a job that could not start: "转码异常！！！", "创建通道异常" or
    // "创建cmd通道失败", for the windows to show.
    std::string message;
    bool quiet = false;  // a stop asked for during shutdown
    // Why a job failed, in a few words for the user: FFmpeg's own error
    // line, or what was wrong with its output. Empty unless Failed.
    std::string reason{};
};

// Told by the job's worker thread; implementations hand the news on.
class TranscodeJobListener {
public:
    virtual ~TranscodeJobListener() = default;
    virtual void onProgress(std::uint32_t percent) = 0;
    // Exactly once per started job, last.
    virtual void onFinished(const TranscodeOutcome& outcome) = 0;
};

// Whether a converted file is the whole video: it has a video stream and that
// stream's duration is within max(3 s, 2 %) of the source's picture
// (milliseconds, as SourcePictureDuration gives it). A source of unknown
// duration needs only some duration.
bool OutputMatchesSource(const MediaProbeResult& output, std::string_view sourceDurationMs);
// How long the source's picture lasts, in milliseconds: its video stream's
// duration, which a longer sound track hides from the container's; the
// task's duration text when the source's stream tells none (or is gone).
std::string SourcePictureDuration(const std::string& sourcePath, const std::string& durationMs);

// One conversion by FFmpeg on a worker thread of its own. FFmpeg writes under
// a hidden name beside the output (PartialNameFor), which becomes the output
// only on success: FFmpeg exited with status 0 and the file's picture lasts
// as long as the source's (OutputMatchesSource). Otherwise, and after a stop,
// which ends only this job's FFmpeg, the partial file is deleted. An output
// name that already exists is never replaced, and a file name that would put
// the output anywhere but in the conversion folder starts nothing: the job
// fails. Owner's thread: start, requestStop, waitFor, destruction.
class TranscodeJob {
public:
    // The listener is not owned and must outlive the job.
    TranscodeJob(TranscodeRequest request, TranscodeJobListener& listener);
    ~TranscodeJob();  // a quiet stop, then joins
    TranscodeJob(const TranscodeJob&) = delete;
    TranscodeJob& operator=(const TranscodeJob&) = delete;

    void start();
    void requestStop(bool quiet);
    // True when the worker has ended within the bound.
    bool waitFor(std::chrono::milliseconds bound);
    // The final name; the file appears there only on success.
    const std::string& outputPath() const { return outputPath_; }

private:
    void run();
    TranscodeOutcome convert();

    // constant after construction
    const TranscodeRequest request_;
    const std::string outputPath_;
    TranscodeJobListener& listener_;

    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> quietStop_{false};
    std::mutex doneMutex_;
    std::condition_variable doneSignal_;
    bool done_ = false;    // guarded by doneMutex_
    std::jthread worker_;  // last, so that it is joined before what it uses goes
};

}  // namespace zorvex
