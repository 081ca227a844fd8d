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

// Bytes of the well-formed UTF-8 sequence at text[at], or 0 when it is
// broken; broken receives how many of its bytes still looked right (at least 1).
std::size_t wellFormedLength(std::string_view text, std::size_t at, std::size_t& broken) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    unsigned lead = byte(0);
    broken = 1;
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (at + i >= text.size()) return 0;
        unsigned next = byte(i);
        if (i == 1 ? (next < low || next > high) : (next & 0xC0) != 0x80) return 0;
        broken = i + 1;
    }
    return length;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
    std::size_t broken = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = wellFormedLength(text, at, broken);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

std::string toValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t broken = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = wellFormedLength(text, at, broken);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            at += broken;
        } else {
            out.append(text.substr(at, length));
            at += length;
        }
    }
    return out;
}

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
