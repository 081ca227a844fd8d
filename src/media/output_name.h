#pragma once

#include <string>

namespace zorvex {

// clip.avi -> clip.mp4; clip.mp4 and clip.MP4 stay; any other case of the
// extension becomes .mp4.
std::string ConvertedFileName(const std::string& fileName);
// The converted file in the conversion folder, with '/' separators, no "//"
// and no "/./".
std::string ConvertedOutputPath(const std::string& convertFolder, const std::string& fileName);

}  // namespace zorvex
