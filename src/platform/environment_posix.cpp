#include "platform/environment.h"

#include <cstdlib>

namespace zorvex {

std::optional<std::string> environmentVariable(const char* name) {
    // getenv races only with setenv and putenv, which nothing here calls.
    const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe)
    if (!value) return std::nullopt;
    return std::string(value);
}

}  // namespace zorvex
