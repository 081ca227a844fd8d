#pragma once

#include <string_view>

namespace zorvex {

// The LAN service's diagnostics go to standard output only. Whole lines are
// written under one lock, so the service threads never interleave a line.
void consoleWrite(std::string_view text);
void consolePrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zorvex
