#include "core_kit.h"

#include "app/service_catalogue.h"
#include "platform/file_util.h"
#include "service/service.h"
#include "transcode/conversion_task.h"

namespace zorvex::test {

CoreKit::CoreKit(std::string home, Executor& executor)
    : home_(std::move(home)),
      executor_(executor),
      ffmpeg_(LocateFfmpeg()),
      service_(std::make_unique<Service>(home_)),
      catalogue_(std::make_unique<ServiceCatalogue>(*service_)) {
    makeDirectories(convertFolder());
}

CoreKit::~CoreKit() {
    queue_.reset();
    library_.reset();
    service_.reset();
}

std::string CoreKit::thumbnailPathFor(const std::string& key) const {
    return home_ + "/file_root/image/" + key + ".jpg";
}

VideoLibrary& CoreKit::library() {
    if (!library_) {
        VideoLibraryContext context;
        context.catalogue = catalogue_.get();
        context.executor = &executor_;
        context.listener = this;
        context.relationFile = home_ + "/VideoRelation.xml";
        context.convertFolder = [this] { return convertFolder(); };
        context.ffmpeg = [this] { return ffmpeg_; };
        context.thumbnailPathFor = [this](const std::string& key) { return thumbnailPathFor(key); };
        library_ = std::make_unique<VideoLibrary>(context);
        library_->LoadRelations();
    }
    return *library_;
}

ConversionQueue& CoreKit::queue() {
    if (!queue_) {
        ConversionQueueContext context;
        context.executor = &executor_;
        context.listener = this;
        context.listFile = home_ + "/ConvertList.xml";
        context.videoConvertRatio = [] { return 1; };
        context.comSleepUnSleep = [] { return 0; };
        context.convertFolder = [this] { return convertFolder(); };
        context.ffmpeg = [this] { return ffmpeg_; };
        queue_ = std::make_unique<ConversionQueue>(context);
    }
    return *queue_;
}

ui::CoreParts CoreKit::parts() {
    ui::CoreParts parts;
    parts.library = &library();
    parts.queue = &queue();
    return parts;
}

void CoreKit::resetLibrary() {
    library_.reset();
}

std::string CoreKit::onConversionRequested(const ConversionRequest& r) {
    std::string key = queue().AddTask(r.name, r.sourcePath, r.size, r.thumbnailPath, r.duration,
                                      r.width, r.height);
    // As the page does after the library's convert action: lay out and save.
    queue().Refresh();
    return key;
}

bool CoreKit::removeQueuedTask(const std::string& taskKey, const std::string& path) {
    return queue().RemoveTaskForVideo(taskKey, path);
}

void CoreKit::onTaskEvent(int code, const std::string& videoPath) {
    taskEvents.emplace_back(code, videoPath);
    if (library_) library_->OnConversionEvent(code, videoPath, {});
}

void CoreKit::onConverted(const std::string& sourcePath, const std::string& outputPath) {
    if (library_) library_->OnConversionEvent(TE_DONE, outputPath, sourcePath);
}

}  // namespace zorvex::test
