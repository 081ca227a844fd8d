#include "media/ffmpeg_tool.h"

#include "foundation/paths.h"
#include "platform/file_util.h"
#include "platform/subprocess.h"

namespace zorvex {

FfmpegTool ProbeFfmpegTool(const std::string& program) {
    FfmpegTool tool{program, "aac"};
    auto encoders = runToEnd({program, "-hide_banner", "-encoders"});
    if (encoders && encoders->output.find(" libfdk_aac ") != std::string::npos) {
        tool.aacEncoder = "libfdk_aac";
    }
    return tool;
}

const FfmpegTool& LocateFfmpeg() {
    static const FfmpegTool tool = [] {
        std::string shipped = FindResourceFolder("ffmpeg") + "/ffmpeg";
        return ProbeFfmpegTool(isRegularFile(shipped) ? shipped : std::string("ffmpeg"));
    }();
    return tool;
}

std::vector<std::string> ThumbnailArguments(const FfmpegTool& tool, const std::string& source,
                                            const std::string& thumbnail, const std::string& seek) {
    return {tool.program, "-ss", seek,     "-i",       source, "-y",     "-f",
            "image2",     "-s",  "128x72", "-vframes", "1",    thumbnail};
}

}  // namespace zorvex
