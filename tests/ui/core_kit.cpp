#include "core_kit.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "app/window_runner.h"
#include "foundation/home_folder.h"
#include "foundation/settings.h"

namespace zorvex::test {

CoreKit::CoreKit(std::string home, Executor& executor, std::string address,
                 std::function<FfmpegTool()> ffmpeg, std::vector<std::string> more)
    : home_(std::move(home)),
      executor_(executor),
      addresses_([&] {
          more.insert(more.begin(), std::move(address));
          return more;
      }()),
      ffmpeg_(std::move(ffmpeg)) {
    start();
}

CoreKit::~CoreKit() = default;  // the application shuts down in order

void CoreKit::start() {
    application_ = std::make_unique<Application>();
    Application::Options options;
    options.home = home_;
    options.addresses = addresses_;
    options.executor = &executor_;
    options.ffmpeg = ffmpeg_;
    if (StartupResult started = application_->start(options); !started)
        throw std::runtime_error("the core did not start: " + started.message);
    application_->restore();
}

void CoreKit::restart() {
    application_.reset();
    start();
}

ui::CoreParts CoreKit::parts() {
    return application_->frontParts();
}

std::function<FfmpegTool()> CoreKit::heldConversions(const std::string& folder) {
    FfmpegTool tool = LocateFfmpeg();
    const std::string script = folder + "/held-ffmpeg";
    {
        // A conversion writes its last argument, a hidden ".<name>.part-" file.
        std::ofstream out(script);
        out << "#!/bin/sh\nfor last; do :; done\n"
               "case \"${last##*/}\" in .*.part-*) exec sleep 100000;; esac\n"
               "exec '"
            << tool.program << "' \"$@\"\n";
    }
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    tool.program = script;
    return [tool] { return tool; };
}

std::string CoreKit::convertFolder() const {
    return GetConvertPath();
}

std::string CoreKit::thumbnailPathFor(const std::string& key) const {
    return ThumbnailPath(key);
}

}  // namespace zorvex::test
