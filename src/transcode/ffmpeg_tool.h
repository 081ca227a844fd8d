#pragma once

#include <string>
#include <vector>

#include "transcode/convert_param.h"

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

// ffmpeg -i SRC -acodec AAC -ar 44100 -b:a 128K -ac 2 -vcodec libx264
//        -r 24000/1001 -s WxH -b:v NK -f mp4 -y OUT
std::vector<std::string> ConversionArguments(const FfmpegTool& tool, const std::string& source,
                                             const CONVERT_PARAM_ST& param,
                                             const std::string& output);

// ffmpeg -ss SEEK -i SRC -y -f image2 -s 128x72 -vframes 1 OUT
std::vector<std::string> ThumbnailArguments(const FfmpegTool& tool, const std::string& source,
                                            const std::string& thumbnail, const std::string& seek);

}  // namespace zorvex
