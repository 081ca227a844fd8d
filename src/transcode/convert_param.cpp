#include "transcode/convert_param.h"

#include <cctype>

#include "platform/file_util.h"

namespace zorvex {

ConvertChoice ChooseConvertParam(std::string_view size, std::string_view duration,
                                 std::string_view width, std::string_view height,
                                 int videoConvertRatio) {
    double s = static_cast<double>(leadingNumber(size));
    double d = static_cast<double>(leadingNumber(duration));
    auto w = static_cast<std::int32_t>(leadingNumber(width));
    auto h = static_cast<std::int32_t>(leadingNumber(height));
    double rate = s / 1024 / 1024 * 1024 * 8 / (d / 1000);
    auto toUnsigned = [](double value) -> std::uint32_t {
        // Truncation toward zero; a rate that is not a finite positive number
        // (no duration, no size) makes no conversion.
        if (!(value > 0) || value >= 4294967296.0) return 0;
        return static_cast<std::uint32_t>(value);
    };
    ConvertChoice choice;
    double ratio = h != 0 ? static_cast<double>(w) / h : 0;
    bool is3d = ratio > 1.32 && ratio < 1.78;
    bool keep1080 = videoConvertRatio == 1;
    if (is3d) {
        choice.param.BitrateK = toUnsigned(rate > 4000 ? 4000 : rate);
        // Below 1920 the source keeps its size; up to 2560, or with 1080P
        // chosen, it becomes 1920 wide; beyond that 2K.
        if (w < 1920) {
            choice.param = {static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h),
                            choice.param.BitrateK};
            choice.label = "3D-1080P";
        } else if (w < 2560 || keep1080) {
            choice.param = {1920, 1080, choice.param.BitrateK};
            choice.label = "3D-1080P";
        } else {
            choice.param = {2560, 1440, choice.param.BitrateK};
            choice.label = "3D-2K";
        }
    } else {
        choice.param.BitrateK = toUnsigned(rate);
        if (w < 1920) {
            choice.param = {static_cast<std::uint32_t>(w < 0 ? 0 : w),
                            static_cast<std::uint32_t>(h < 0 ? 0 : h), choice.param.BitrateK};
            choice.label = "360°-1080P";
        } else if (w < 2560 || keep1080) {
            choice.param = {1920, 960, choice.param.BitrateK};
            choice.label = "360°-1080P";
        } else {
            choice.param = {2560, 1280, choice.param.BitrateK};
            choice.label = "360°-2K";
        }
    }
    return choice;
}

std::optional<std::uint32_t> parseClockTime(std::string_view text) {
    if (text.size() < 8 || text[2] != ':' || text[5] != ':') return std::nullopt;
    std::uint32_t parts[3];
    for (std::size_t i = 0; i < 3; ++i) {
        char a = text[i * 3], b = text[i * 3 + 1];
        if (!std::isdigit(static_cast<unsigned char>(a)) ||
            !std::isdigit(static_cast<unsigned char>(b))) {
            return std::nullopt;
        }
        parts[i] = static_cast<std::uint32_t>((a - '0') * 10 + (b - '0'));
    }
    return parts[0] * 3600 + parts[1] * 60 + parts[2];
}

std::optional<std::uint32_t> progressPercent(std::uint32_t elapsedSeconds,
                                             std::string_view durationMs) {
    std::int64_t ms = leadingNumber(durationMs);
    auto seconds = static_cast<std::uint32_t>(ms / 1000);
    if (ms <= 0 || seconds == 0) return std::nullopt;
    // A progress bar's range is 0..100; the last lines may pass the duration.
    std::uint64_t percent = static_cast<std::uint64_t>(elapsedSeconds) * 100 / seconds;
    return static_cast<std::uint32_t>(percent > 100 ? 100 : percent);
}

}  // namespace zorvex
