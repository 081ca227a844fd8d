#pragma once

#include <string>
#include <string_view>

namespace zorvex {

// 32 lowercase hexadecimal digits of the MD5 digest of the bytes given.
std::string md5Hex(std::string_view bytes);

}  // namespace zorvex
