#pragma once

#include <string>
#include <string_view>

// Code page 936 (GBK), the encoding phones made for Chinese Windows read
// names in. Conversions go through glibc's iconv with a converter of their
// own per call, so any thread may use them at any time.
namespace zorvex {

// UTF-8 text as GBK bytes, composed (NFC) first. A character GBK lacks, and each broken UTF-8
// sequence, becomes one '?'. Without the converter (glibc's gconv modules
// missing) ASCII passes and every other character becomes '?'.
std::string utf8ToGbk(std::string_view utf8);

// GBK bytes as UTF-8; a byte that starts no GBK character becomes U+FFFD.
std::string gbkToUtf8(std::string_view gbk);

// True for the first byte of a GBK double-byte character.
inline bool isGbkLeadByte(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

}  // namespace zorvex
