#pragma once

#include <string>

namespace zorvex {

// The system's text for an errno value, e.g. "Permission denied". Safe on
// any thread, unlike strerror.
std::string errorText(int error);

}  // namespace zorvex
