#include "app/application.h"

#include "app/core_wiring.h"
#include "foundation/paths.h"
#include "foundation/settings.h"
#include "media/ffmpeg_tool.h"
#include "platform/home_layout.h"
#include "transcode/conversion_task.h"

namespace zorvex {

Application::~Application() {
    shutDown();
}

StartupResult Application::start(const Options& options) {
    home_ = options.home;
    StartupOptions startup;
    startup.home = options.home;
    startup.addresses = options.addresses;
    startup.executor = options.executor;
    // The library hears first that a file is back: its card follows. A
    // report still queued when this is gone only goes to the runner's own.
    std::weak_ptr<Application*> self = self_;
    startup.onFileStatus = [self, told = options.onFileStatus](const FileStatusEvent& event) {
        if (auto alive = self.lock(); alive && (*alive)->library_)
            (*alive)->library_->OnFileStatus(event.path, event.exists);
        if (told) told(event);
    };
    StartupResult result = StartUpSequence(core_, startup);
    if (!result) {
        shutDown_ = true;  // nothing runs that would need stopping
        return result;
    }

    ConversionQueueContext queue;
    queue.executor = options.executor;
    queue.keepAwake = core_.keepAwake.get();
    queue.listFile = HomeLayout(home_).convertList();
    queue.runningFile = HomeLayout(home_).runningConversions();
    queue.queueFile = HomeLayout(home_).queuedConversions();
    queue.videoConvertRatio = [] { return g_pSettings()->VideoConvertRatio; };
    queue.comSleepUnSleep = [] { return g_pSettings()->ComSleepUnSleep; };
    queue.convertFolder = [] { return GetConvertPath(); };
    queue.ffmpeg = options.ffmpeg ? options.ffmpeg : [] { return LocateFfmpeg(); };
    queue_ = std::make_unique<ConversionQueue>(std::move(queue));
    conversions_ = std::make_unique<QueueConversionPort>(*queue_);
    VideoLibraryContext library =
        MakeLibraryContext(core_, home_, *options.executor, *conversions_);
    if (options.ffmpeg) library.ffmpeg = options.ffmpeg;
    library_ = std::make_unique<VideoLibrary>(std::move(library));
    // First of the queue's subscribers: see LibraryQueueFeed.
    libraryFeed_ = std::make_unique<LibraryQueueFeed>(*library_);
    queue_->subscribe(libraryFeed_.get());

    updateContext_ = MakeUpdateContext();
    updates_ = std::make_unique<HttpHelper>(updateContext_);
    updates_->Init();  // no check runs until the user asks for one
    return result;
}

void Application::restore() {
    library_->LoadRelations();
    // Thumbnails missing on disk are made again for the cards rebuilt here.
    library_->BuildFromCatalogue();
    queue_->LoadQueueFile();
    queue_->AdoptFinishedOutputs();
    // The user asked for these conversions: they go on by themselves.
    queue_->ResumeWaiting();
}

FrontParts Application::frontParts() {
    FrontParts parts;
    parts.library = library_.get();
    parts.queue = queue_.get();
    parts.service = core_.service.get();
    parts.networks = core_.networks.get();
    parts.updates = updates_.get();
    parts.addresses = core_.adapters.addresses;
    parts.update = &updateContext_;
    parts.keepAwake = core_.keepAwake.get();
    return parts;
}

void Application::shutDown() {
    if (shutDown_) return;
    shutDown_ = true;
    if (updates_) updates_->Cancel();
    if (library_) library_->setClosing();
    if (queue_ && queue_->AnyRunning()) queue_->StopAll(true);
    // The library's card workers register in the catalogue and the queue's
    // jobs report to the library: both go, joined, before the service.
    if (queue_) queue_->unsubscribe(libraryFeed_.get());
    library_.reset();
    queue_.reset();
    updates_.reset();
    ShutDownSequence(core_);
}

}  // namespace zorvex
