#include "platform/utf16_text.h"

namespace zorvex {

namespace {

// Bytes of the UTF-8 sequence at text[at]; 1 for a broken one.
std::size_t sequenceLength(std::string_view text, std::size_t at) {
    auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 1;
    if (lead >= 0xF0 && lead < 0xF8) {
        length = 4;
    } else if (lead >= 0xE0) {
        length = lead < 0xF0 ? 3 : 1;
    } else if (lead >= 0xC0) {
        length = 2;
    }
    if (at + length > text.size()) return 1;
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 1;
    }
    return length;
}

}  // namespace

std::size_t utf16Length(std::string_view text) {
    std::size_t units = 0;
    for (std::size_t bytes = 0; bytes < text.size();) {
        std::size_t length = sequenceLength(text, bytes);
        units += length == 4 ? 2 : 1;
        bytes += length;
    }
    return units;
}

std::string truncateUtf16Units(std::string_view text, std::size_t maxUnits) {
    std::size_t bytes = 0;
    std::size_t units = 0;
    while (bytes < text.size()) {
        std::size_t length = sequenceLength(text, bytes);
        std::size_t cost = length == 4 ? 2 : 1;  // a surrogate pair
        if (units + cost > maxUnits) break;
        units += cost;
        bytes += length;
    }
    return std::string(text.substr(0, bytes));
}

}  // namespace zorvex
