#pragma once

#include <string>

namespace zorvex {

// Full path of the running executable (/proc/self/exe), "" when unknown.
std::string currentExecutablePath();

}  // namespace zorvex
