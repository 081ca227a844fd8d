#include "transcode/conversion_arguments.h"

namespace zorvex {

std::vector<std::string> ConversionArguments(const FfmpegTool& tool, const std::string& source,
                                             const CONVERT_PARAM_ST& param,
                                             const std::string& output) {
    return {tool.program, "-i", source, "-acodec", tool.aacEncoder, "-ar", "44100", "-b:a", "128K",
            "-ac", "2", "-vcodec", "libx264", "-r", "24000/1001", "-s",
            std::to_string(param.Width) + "x" + std::to_string(param.Height), "-b:v",
            std::to_string(param.BitrateK) + "K",
            // The output grows under a hidden name that does not end in .mp4,
            // and that name was made empty beforehand to reserve it.
            "-f", "mp4", "-y", output};
}

}  // namespace zorvex
