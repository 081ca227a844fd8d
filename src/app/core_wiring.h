#pragma once

#include "app/startup.h"
#include "library/conversion_port.h"
#include "library/video_library.h"
#include "transcode/conversion_queue.h"
#include "update/update_context.h"

namespace zorvex {

// The library's conversions become tasks of the queue. The queue's thread.
class QueueConversionPort final : public ConversionPort {
public:
    explicit QueueConversionPort(ConversionQueue& queue) : queue_(queue) {}
    std::string enqueue(const ConversionRequest& request) override;
    bool remove(const std::string& taskKey, const std::string& sourcePath) override;
    TaskPhase phase(const std::string& taskKey) const override;
    std::string liveTask(const std::string& sourcePath) const override;

private:
    ConversionQueue& queue_;
};

// The queue's news the library's cards are drawn again for: task events and
// finished conversions; the states themselves are read through the port.
// Subscribed before any window, so that a window hearing the same news draws
// the library's new state.
class LibraryQueueFeed final : public ConversionQueueListener {
public:
    explicit LibraryQueueFeed(VideoLibrary& library) : library_(library) {}
    void onTaskEvent(TaskEvent code, const std::string& videoPath) override;
    void onConverted(const std::string& sourcePath, const std::string& outputPath) override;

private:
    VideoLibrary& library_;
};

// The library's context over a started core: its catalogue, the relation
// file in the home folder, the conversion folder of the settings, FFmpeg,
// the thumbnail paths and the media probe. The same for the window and the
// headless runner.
VideoLibraryContext MakeLibraryContext(AppCore& core, const std::string& home, Executor& executor,
                                       ConversionPort& conversions);

// The update module's context: the setting "UpdateServer", the MAC in use and
// the download folder, each read when the module asks.
UpdateContext MakeUpdateContext();

}  // namespace zorvex
