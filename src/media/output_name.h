#pragma once

#include <string>
#include <string_view>

namespace zorvex {

// clip.avi -> clip.mp4; clip.mp4 and clip.MP4 stay; any other case of the
// extension becomes .mp4.
std::string ConvertedFileName(const std::string& fileName);
// The converted file in the conversion folder, with '/' separators, no "//"
// and no "/./"; the folder's '\' become '/', the name's stay (they are part
// of a name here). "" for a name that would put the file anywhere but
// directly inside the folder.
std::string ConvertedOutputPath(const std::string& convertFolder, const std::string& fileName);
// A name that can only name a file of a folder: no '/', not ".." (nor a
// '\'-separated part that is), no control character. The queue's files are
// read through this, since a name there may have been put there by anyone.
bool IsPlainFileName(std::string_view name);

}  // namespace zorvex
