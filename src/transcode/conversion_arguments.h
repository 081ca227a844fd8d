#pragma once

#include <string>
#include <vector>

#include "media/ffmpeg_tool.h"
#include "transcode/convert_param.h"

namespace zorvex {

// ffmpeg -i SRC -acodec AAC -ar 44100 -b:a 128K -ac 2 -vcodec libx264
//        -r 24000/1001 -s WxH -b:v NK -f mp4 -y OUT
std::vector<std::string> ConversionArguments(const FfmpegTool& tool, const std::string& source,
                                             const CONVERT_PARAM_ST& param,
                                             const std::string& output);

}  // namespace zorvex
