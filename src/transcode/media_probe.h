#pragma once

#include <string>

namespace zorvex {

// Duration (ms), byte size and frame size of a media file, as MediaInfo
// writes them. A text is empty when the file lacks the value; all are
// "Unable to load MediaInfo.dll" when the library cannot be loaded.
struct MediaProbeResult {
    std::string duration;  // the container's: the longest stream
    std::string fileSize;
    std::string width;
    std::string height;
    std::string videoDuration;  // the first video stream's
};

// Any thread; several may probe at once. The library is loaded once, on the
// first probe, and stays loaded.
MediaProbeResult ProbeMedia(const std::string& path);

}  // namespace zorvex
