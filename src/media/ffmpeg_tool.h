#pragma once

#include <string>
#include <vector>

namespace zorvex {

// The FFmpeg program and the AAC encoder it offers.
struct FfmpegTool {
    std::string program;     // ffmpeg/ffmpeg beside the executable, else "ffmpeg" on PATH
    std::string aacEncoder;  // "libfdk_aac" when the build offers it, else "aac"
};

// Looks once per process (asking the program for its encoders); any thread.
const FfmpegTool& LocateFfmpeg();
// The tool for a given program, asking it for its encoders now.
FfmpegTool ProbeFfmpegTool(const std::string& program);

// ffmpeg -ss SEEK -i SRC -y -f image2 -s 128x72 -vframes 1 OUT
std::vector<std::string> ThumbnailArguments(const FfmpegTool& tool, const std::string& source,
                                            const std::string& thumbnail, const std::string& seek);

}  // namespace zorvex
