#include "platform/guid.h"

#include <cstdint>
#include <cstdio>
#include <random>

namespace zorvex {

std::string NewGuid() {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    std::uint64_t high = random(), low = random();
    // Version 4, variant 1, as a GUID generator would make it.
    high = (high & ~0xF000ull) | 0x4000ull;
    low = (low & 0x3FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%012llX}",
                  static_cast<unsigned>(high >> 32), static_cast<unsigned>((high >> 16) & 0xFFFF),
                  static_cast<unsigned>(high & 0xFFFF), static_cast<unsigned>(low >> 48),
                  static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFull));
    return text;
}

}  // namespace zorvex
