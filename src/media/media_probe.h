#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

// Any thread; several may probe at once. Each probe runs MediaInfo in a
// zorvex-probe process of its own (a few milliseconds), so that this process
// never maps it; one that cannot be started gives the load failure's texts,
// one that dies gives empty texts.
MediaProbeResult ProbeMedia(const std::string& path);

// Leading decimal digits of a text, as the probe texts are read; 0 otherwise.
std::int64_t leadingNumber(std::string_view text);

}  // namespace zorvex
