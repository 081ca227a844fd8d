#pragma once

#include <optional>
#include <string>

namespace zorvex {

// The value of an environment variable; nullopt when it is not set. Any
// thread: the program never changes its own environment.
std::optional<std::string> environmentVariable(const char* name);

}  // namespace zorvex
