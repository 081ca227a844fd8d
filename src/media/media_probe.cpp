#include "media/media_probe_impl.h"

#include <cctype>

namespace zorvex {

MediaProbeResult ProbeMedia(const std::string& path) {
    return probeWithWrapper(path);
}

std::int64_t leadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::int64_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (value > (INT64_MAX - 9) / 10) break;
        value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

}  // namespace zorvex
