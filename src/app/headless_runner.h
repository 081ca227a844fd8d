#pragma once

#include "app/command_line.h"

namespace zorvex {

// Runs the LAN service without windows until SIGINT or SIGTERM, then shuts
// down in order (link files rewritten). Returns the process exit code.
// Must be called from main() before any other thread exists, as it blocks
// the two signals for the whole process.
int runHeadless(const CommandLine& line, const std::string& home);

}  // namespace zorvex
