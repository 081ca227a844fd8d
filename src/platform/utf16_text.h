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

}  // namespace zorvex
