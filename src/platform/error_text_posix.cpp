#include "platform/error_text.h"

#include <string.h>

namespace zorvex {

namespace {

// strerror_r comes in two forms; each overload takes the one this C library has.
[[maybe_unused]] std::string fromResult(const char* text, const char*) {
    return text;
}
[[maybe_unused]] std::string fromResult(int failed, const char* buffer) {
    return failed == 0 ? std::string(buffer) : std::string();
}

}  // namespace

std::string errorText(int error) {
    char buffer[256] = {};
    std::string text = fromResult(::strerror_r(error, buffer, sizeof buffer), buffer);
    return text.empty() ? "error " + std::to_string(error) : text;
}

}  // namespace zorvex
