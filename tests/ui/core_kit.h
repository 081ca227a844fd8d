#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "library/video_library.h"
#include "platform/executor.h"
#include "transcode/conversion_queue.h"
#include "transcode/ffmpeg_tool.h"
#include "ui/session/core_session.h"

// The core objects the views draw, built in one place as the application
// builds them and wired to each other as its composition root wires them:
// conversion requests become tasks, the queue's events and results reach the
// library. Tests, benchmarks and screenshots all make them here, so a change
// of a constructor lands in this file only. Nothing here starts the LAN
// service: no socket is opened.
namespace zorvex {
class Service;
}

namespace zorvex::test {

class CoreKit final : private VideoLibraryListener, private ConversionQueueListener {
public:
    // home: the home folder; conversions go to home/appData/converted.
    // executor: the thread the library and the queue run on (the GUI thread).
    CoreKit(std::string home, Executor& executor);
    ~CoreKit() override;
    CoreKit(const CoreKit&) = delete;
    CoreKit& operator=(const CoreKit&) = delete;

    // The FFmpeg of thumbnails and conversions, for objects made afterwards.
    void setFfmpeg(FfmpegTool tool) { ffmpeg_ = std::move(tool); }

    Service& service() { return *service_; }
    // Made on first use, with the relation file loaded.
    VideoLibrary& library();
    ConversionQueue& queue();
    // The library and the queue for a session (made now if not yet).
    ui::CoreParts parts();
    // Drops the library (its workers joined) so that another can be made.
    void resetLibrary();

    const std::string& home() const { return home_; }
    std::string convertFolder() const { return home_ + "/appData/converted"; }
    std::string thumbnailPathFor(const std::string& key) const;

    // What reached the application's side of the wiring.
    std::vector<int> toasts;
    std::vector<std::pair<int, std::string>> taskEvents;
    std::vector<std::string> jobMessages;

private:
    // VideoLibraryListener
    void onToast(int code) override { toasts.push_back(code); }
    std::string onConversionRequested(const ConversionRequest& request) override;
    void onButtonLooks(int, int) override {}
    bool removeQueuedTask(const std::string& taskKey, const std::string& path) override;
    void onPathFreed(const std::string&) override {}
    void onConversionBalloon(const std::string&) override {}
    int confirmDuplicateName(const std::string&) override { return ANSWER_SKIP; }
    void onLibraryChanged() override {}
    void onCardChanged(const std::string&) override {}
    // ConversionQueueListener
    void onTaskEvent(int code, const std::string& videoPath) override;
    void onConverted(const std::string& sourcePath, const std::string& outputPath) override;
    void onJobMessage(const std::string& text) override { jobMessages.push_back(text); }
    void onQueueChanged() override {}
    void onProgress(const std::string&, std::uint32_t) override {}

    const std::string home_;
    Executor& executor_;
    FfmpegTool ffmpeg_;
    std::unique_ptr<Service> service_;
    std::unique_ptr<Catalogue> catalogue_;
    // The queue goes last: its jobs report to the library through this kit.
    std::unique_ptr<VideoLibrary> library_;
    std::unique_ptr<ConversionQueue> queue_;
};

}  // namespace zorvex::test
