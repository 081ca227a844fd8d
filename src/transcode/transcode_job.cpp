#include "transcode/transcode_job.h"

#include "platform/file_util.h"
#include "platform/subprocess.h"
#include "transcode/progress_parser.h"

namespace zorvex {

namespace {
constexpr auto kReadWait = std::chrono::milliseconds(100);
}  // namespace

TranscodeJob::TranscodeJob(TranscodeRequest request, TranscodeJobListener& listener)
    : request_(std::move(request)),
      outputPath_(ConvertedOutputPath(request_.convertFolder, request_.fileName)),
      listener_(listener) {}

TranscodeJob::~TranscodeJob() {
    requestStop(true);
    if (worker_.joinable()) worker_.join();
}

void TranscodeJob::start() {
    if (!worker_.joinable()) worker_ = std::thread([this] { run(); });
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

TranscodeOutcome TranscodeJob::convert() {
    using Kind = TranscodeOutcome::Kind;
    const CONVERT_PARAM_ST& p = request_.param;
    if (p.Width == 0 || p.Height == 0 || p.BitrateK == 0)
        return {Kind::Failed, {}, "转码异常！！！"};

    auto started =
        Subprocess::start(ConversionArguments(request_.tool, request_.sourcePath, p, outputPath_));
    if (!started.process) {
        bool noPipe = started.error.kind == SubprocessError::Kind::Pipe;
        return {Kind::Failed, {}, noPipe ? "创建通道异常" : "创建cmd通道失败"};
    }
    Subprocess* ffmpeg = started.process.get();

    ProgressParser progress;
    std::string chunk;
    bool open = true;
    while (open) {
        if (stopRequested_) {
            ffmpeg->terminate();
            ffmpeg->wait();
            removeFile(outputPath_);
            return {Kind::Stopped, {}, {}};
        }
        chunk.clear();
        open = ffmpeg->read(chunk, kReadWait);
        if (auto seconds = progress.feed(chunk)) {
            if (auto percent = progressPercent(*seconds, request_.durationMs)) {
                listener_.onProgress(*percent);
            }
        }
    }
    int status = ffmpeg->wait();
    if (stopRequested_) {
        removeFile(outputPath_);
        return {Kind::Stopped, {}, {}};
    }
    if (status == 0 && isRegularFile(outputPath_)) return {Kind::Done, {}, {}};
    return {Kind::Failed, {}, {}};
}

}  // namespace zorvex
