#pragma once

#include <string>
#include <vector>

#include "library/video_library.h"

namespace zorvex {

// What a headless start did to the shared list before sharing more.
struct UnshareResult {
    std::vector<std::string> dropped;    // files gone from folders that are still there
    std::vector<std::string> kept;       // gone from a disk that may not be mounted yet
    std::vector<std::string> unshared;   // asked for, and done
    std::vector<std::string> notShared;  // asked for, but not in the library
};

// Without a window nobody sees a missing video's card, let alone deletes
// it, and the gone files would fill the lists' 35 places for ever. So the
// videos whose files are gone, and those named (absolute paths), are
// deleted as the window's delete would: catalogue entry, link file,
// thumbnail, relation. Call on the library's thread, after restore().
UnshareResult UnshareAtStart(VideoLibrary& library, const std::vector<std::string>& unshare);

}  // namespace zorvex
