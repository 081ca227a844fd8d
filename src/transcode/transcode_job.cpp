#include "transcode/transcode_job.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "foundation/log_recorder.h"
#include "media/output_name.h"
#include "platform/error_text.h"
#include "platform/file_util.h"
#include "platform/subprocess.h"
#include "transcode/conversion_arguments.h"
#include "transcode/progress_parser.h"

namespace zorvex {

namespace {
constexpr auto kReadWait = std::chrono::milliseconds(100);
constexpr std::int64_t kDurationToleranceMs = 3000;
constexpr const char* kLogTag = "ZorvexTranscode\\TranscodeJob";
// FFmpeg's last words are enough to say why it failed.
constexpr std::size_t kKeptOutput = 4096;

// "6.7", "20": seconds of a millisecond count, to a tenth.
std::string secondsText(std::int64_t ms) {
    const std::int64_t tenths = (ms + 50) / 100;
    std::string text = std::to_string(tenths / 10);
    if (tenths % 10 != 0) text += "." + std::to_string(tenths % 10);
    return text;
}

TranscodeOutcome failure(std::string reason, std::string message = {}) {
    TranscodeOutcome outcome{TranscodeOutcome::Kind::Failed, {}, std::move(message)};
    outcome.reason = std::move(reason);
    return outcome;
}

}  // namespace

TranscodeJob::TranscodeJob(TranscodeRequest request, TranscodeJobListener& listener)
    : request_(std::move(request)),
      outputPath_(ConvertedOutputPath(request_.convertFolder, request_.fileName)),
      listener_(listener) {}

TranscodeJob::~TranscodeJob() {
    requestStop(true);
}

void TranscodeJob::start() {
    if (!worker_.joinable()) worker_ = std::jthread([this] { run(); });
}

void TranscodeJob::requestStop(bool quiet) {
    if (quiet) quietStop_ = true;
    stopRequested_ = true;
}

bool TranscodeJob::waitFor(std::chrono::milliseconds bound) {
    std::unique_lock lock(doneMutex_);
    return doneSignal_.wait_for(lock, bound, [this] { return done_; });
}

void TranscodeJob::run() {
    TranscodeOutcome outcome = convert();
    outcome.outputPath = outputPath_;
    outcome.quiet = outcome.kind == TranscodeOutcome::Kind::Stopped && quietStop_;
    listener_.onFinished(outcome);
    {
        std::lock_guard lock(doneMutex_);
        done_ = true;
    }
    doneSignal_.notify_all();
}

bool OutputMatchesSource(const MediaProbeResult& output, std::string_view sourceDurationMs) {
    if (leadingNumber(output.width) <= 0 || leadingNumber(output.height) <= 0) return false;
    // The container lasts as long as its longest stream: a picture that froze
    // early hides behind a whole sound track.
    std::int64_t made = leadingNumber(output.videoDuration);
    std::int64_t wanted = leadingNumber(sourceDurationMs);
    if (made <= 0) return false;
    if (wanted <= 0) return true;  // nothing to compare with
    // Frame-rate conversion and audio padding move the end a little; an
    // FFmpeg cut short misses far more than this.
    std::int64_t tolerance = std::max<std::int64_t>(kDurationToleranceMs, wanted / 50);
    return std::llabs(made - wanted) <= tolerance;
}

std::string SourcePictureDuration(const std::string& sourcePath, const std::string& durationMs) {
    std::string picture = ProbeMedia(sourcePath).videoDuration;
    return leadingNumber(picture) > 0 ? picture : durationMs;
}

TranscodeOutcome TranscodeJob::convert() {
    using Kind = TranscodeOutcome::Kind;
    const CONVERT_PARAM_ST& p = request_.param;
    if (p.Width == 0 || p.Height == 0 || p.BitrateK == 0)
        return failure("转码异常！！！", "转码异常！！！");
    if (outputPath_.empty()) {
        PostLog("conversion refused, the name leaves the conversion folder: " + request_.fileName,
                kLogTag);
        return failure("文件名无效，无法作为转码文件名");
    }

    // The default folder may have been removed since start-up; a folder the
    // user chose is used only while it exists (GetConvertPath).
    makeDirectories(parentFolder(outputPath_));
    // FFmpeg never replaced a finished file of the same name, nor do we.
    if (pathExists(outputPath_)) {
        PostLog("conversion failed, the name is taken: " + outputPath_, kLogTag);
        return failure("同名文件已存在：" + outputPath_);
    }
    std::string partial;
    int reserved = createPartialFile(outputPath_, &partial);
    if (reserved < 0) {
        int error = errno;
        PostLog("conversion failed, " + errorText(error) + ": " + outputPath_, kLogTag);
        return failure("无法写入转码文件夹：" + errorText(error));
    }
    ::close(reserved);

    auto started =
        Subprocess::start(ConversionArguments(request_.tool, request_.sourcePath, p, partial));
    if (!started.process) {
        removeFile(partial);
        bool noPipe = started.error.kind == SubprocessError::Kind::Pipe;
        const char* message = noPipe ? "创建通道异常" : "创建cmd通道失败";
        return failure(message, message);
    }
    Subprocess* ffmpeg = started.process.get();

    ProgressParser progress;
    std::string chunk, tail;
    bool open = true;
    while (open) {
        if (stopRequested_) {
            ffmpeg->terminate();
            ffmpeg->wait();
            removeFile(partial);
            return {Kind::Stopped, {}, {}};
        }
        chunk.clear();
        open = ffmpeg->read(chunk, kReadWait);
        tail += chunk;
        if (tail.size() > 2 * kKeptOutput) tail.erase(0, tail.size() - kKeptOutput);
        if (auto seconds = progress.feed(chunk)) {
            if (auto percent = progressPercent(*seconds, request_.durationMs)) {
                listener_.onProgress(*percent);
            }
        }
    }
    int status = ffmpeg->wait();
    if (stopRequested_) {
        removeFile(partial);
        return {Kind::Stopped, {}, {}};
    }
    // An FFmpeg killed or cut short may still exit 0: only a whole video counts.
    MediaProbeResult made;
    std::string wanted = request_.durationMs;
    if (status == 0) {
        made = ProbeMedia(partial);
        wanted = SourcePictureDuration(request_.sourcePath, request_.durationMs);
    }
    int renamed = -1;
    if (status == 0 && OutputMatchesSource(made, wanted)) {
        renamed = commitPartialFile(partial, outputPath_);
        if (renamed == 0) return {Kind::Done, {}, {}};
    }
    removeFile(partial);
    std::string why = status != 0     ? "FFmpeg exited with " + std::to_string(status)
                      : renamed == -1 ? "the video lasts " + made.videoDuration + " ms of " +
                                            wanted + " ms, width " + made.width
                                      : "it cannot be renamed: " + errorText(renamed);
    PostLog("conversion failed, " + why + ": " + outputPath_, kLogTag);
    std::string reason;
    if (status != 0) {
        reason = LastErrorLine(tail);
        if (reason.empty()) reason = "FFmpeg 异常退出（" + std::to_string(status) + "）";
    } else if (renamed != -1) {
        reason = "无法保存转码文件：" + errorText(renamed);
    } else if (leadingNumber(made.width) <= 0 || leadingNumber(made.videoDuration) <= 0) {
        reason = "输出中没有可播放的画面";
    } else {
        const std::int64_t lasts = leadingNumber(made.videoDuration);
        reason = (lasts < leadingNumber(wanted) ? "输出只有 " : "输出有 ") + secondsText(lasts) +
                 " 秒，原视频 " + secondsText(leadingNumber(wanted)) + " 秒";
    }
    return failure(std::move(reason));
}

}  // namespace zorvex
