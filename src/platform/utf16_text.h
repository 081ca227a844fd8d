#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zorvex {

// UTF-8 text measured as the windows count it: in UTF-16 code units (a
// character outside the basic plane is two). Broken sequences count byte by byte.
std::size_t utf16Length(std::string_view text);
// The longest prefix of whole characters within maxUnits code units.
std::string truncateUtf16Units(std::string_view text, std::size_t maxUnits);

// Strict UTF-8: no overlong forms, surrogates or code points past U+10FFFF.
bool isValidUtf8(std::string_view text);
// The text with each broken sequence (its longest valid-looking start, or
// one byte) replaced by U+FFFD, as decoders show it.
std::string toValidUtf8(std::string_view text);

}  // namespace zorvex
