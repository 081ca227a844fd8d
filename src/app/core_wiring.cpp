#include "app/core_wiring.h"

#include "foundation/paths.h"
#include "foundation/settings.h"
#include "foundation/system_info.h"
#include "media/ffmpeg_tool.h"
#include "media/media_probe.h"
#include "platform/home_layout.h"
#include "transcode/conversion_task.h"

namespace zorvex {

std::string QueueConversionPort::enqueue(const ConversionRequest& r) {
    return queue_.AddTask(r.name, r.sourcePath, r.size, r.thumbnailPath, r.duration, r.width,
                          r.height);
}

bool QueueConversionPort::remove(const std::string& taskKey, const std::string& sourcePath) {
    return queue_.RemoveTaskForVideo(taskKey, sourcePath);
}

TaskPhase QueueConversionPort::phase(const std::string& taskKey) const {
    switch (queue_.StateOf(taskKey).value_or(TASK_NEW)) {
        case TASK_WAITING:
            return TaskPhase::Waiting;
        case TASK_RUNNING:
            return TaskPhase::Running;
        case TASK_INTERRUPTED:
            return TaskPhase::Interrupted;
        default:
            return TaskPhase::None;
    }
}

std::string QueueConversionPort::liveTask(const std::string& sourcePath) const {
    return queue_.LiveTaskOf(sourcePath);
}

void LibraryQueueFeed::onTaskEvent(TaskEvent /*code*/, const std::string& videoPath) {
    library_.OnTaskChanged(videoPath);
}

void LibraryQueueFeed::onConverted(const std::string& sourcePath, const std::string& outputPath) {
    library_.OnConverted(sourcePath, outputPath);
}

VideoLibraryContext MakeLibraryContext(AppCore& core, const std::string& home, Executor& executor,
                                       ConversionPort& conversions) {
    VideoLibraryContext context;
    context.catalogue = core.catalogue.get();
    context.executor = &executor;
    context.conversions = &conversions;
    context.relationFile = HomeLayout(home).videoRelation();
    context.convertFolder = [] { return GetConvertPath(); };
    context.ffmpeg = [] { return LocateFfmpeg(); };
    context.thumbnailPathFor = [](const std::string& key) { return ThumbnailPath(key); };
    context.probe = [](const std::string& path) { return ProbeMedia(path); };
    // A file moved away while nobody looks shows on its card within seconds.
    context.recheckEvery = std::chrono::seconds(2);
    return context;
}

UpdateContext MakeUpdateContext() {
    UpdateContext context;
    context.updateServer = [] { return g_pSettings()->UpdateServer; };
    context.mac = [] { return GetLocalMac(); };
    context.downloadFolder = [] { return GetDownloadDir(); };
    return context;
}

}  // namespace zorvex
