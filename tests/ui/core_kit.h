#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "media/ffmpeg_tool.h"
#include "platform/executor.h"
#include "ui/session/core_session.h"

namespace zorvex::test {

// The application's core for the views' tests, the benchmarks and the
// pictures, started as the window runner starts it: the start-up sequence
// in the home folder, the LAN service on the address given (a loopback
// address of the caller's own), the library and the queue wired by the
// Application, restored from the home. A window over it reaches it through
// a ui::CoreSession over parts(), as in the application.
class CoreKit final {
public:
    // executor: the thread the library and the queue run on (the GUI thread).
    // ffmpeg: empty, the application's own choice. Throws when the home
    // folder cannot be used. more: further addresses offered, as further
    // --address options give them.
    CoreKit(std::string home, Executor& executor, std::string address,
            std::function<FfmpegTool()> ffmpeg = {}, std::vector<std::string> more = {});
    ~CoreKit();
    CoreKit(const CoreKit&) = delete;
    CoreKit& operator=(const CoreKit&) = delete;

    Application& application() { return *application_; }
    Service& service() { return application_->service(); }
    VideoLibrary& library() { return application_->library(); }
    ConversionQueue& queue() { return application_->queue(); }
    // What a session over this core drives.
    ui::CoreParts parts();

    // The next run over the same home: the core shuts down in order (link
    // files rewritten, conversions stopped) and starts again, restored.
    // Sessions over the old parts must be gone.
    void restart();

    // FFmpeg as the application finds it, except that a conversion runs
    // until it is stopped: its card stays converting, the next ones waiting.
    // The stand-in is written into folder.
    static std::function<FfmpegTool()> heldConversions(const std::string& folder);

    const std::string& home() const { return home_; }
    // Where conversions go: the setting, else home/appData/converted.
    std::string convertFolder() const;
    std::string thumbnailPathFor(const std::string& key) const;

private:
    void start();

    const std::string home_;
    Executor& executor_;
    const std::vector<std::string> addresses_;
    const std::function<FfmpegTool()> ffmpeg_;
    std::unique_ptr<Application> application_;
};

}  // namespace zorvex::test
