#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "media/media_probe.h"
#include "media/output_name.h"

namespace zorvex {

// Output frame size and video bitrate of one conversion.
struct CONVERT_PARAM_ST {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::uint32_t BitrateK = 0;  // kbit/s
};

struct ConvertChoice {
    CONVERT_PARAM_ST param;
    std::string label;  // "3D-1080P", "3D-2K", "360°-1080P" or "360°-2K"
};

// The size, bitrate and mode label for a source, from its probe texts (bytes,
// milliseconds, pixels). A source between 1.32 and 1.78 wide per high counts
// as 3D, any other as 360°. videoConvertRatio 1 keeps wide sources at 1080P.
ConvertChoice ChooseConvertParam(std::string_view size, std::string_view duration,
                                 std::string_view width, std::string_view height,
                                 int videoConvertRatio);

// Seconds of an "HH:MM:SS" text, or nullopt when it is not one.
std::optional<std::uint32_t> parseClockTime(std::string_view text);
// Whole percent of elapsed seconds over a duration in milliseconds, or
// nullopt for a duration under one second.
std::optional<std::uint32_t> progressPercent(std::uint32_t elapsedSeconds,
                                             std::string_view durationMs);

}  // namespace zorvex
