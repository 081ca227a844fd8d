#pragma once

#include <string>

#include "app/command_line.h"

namespace zorvex {

// Whether Qt can find a display: DISPLAY, WAYLAND_DISPLAY or an explicit
// QT_QPA_PLATFORM. Without one the window cannot open.
bool HasDisplay();

// Opens the main window over the application's core and runs until the
// window closes for good, then shuts down in order. Returns the process
// exit code: 1 when there is no display or the home folder cannot be used.
// Called from main() on the main thread, once.
int runWindowed(const CommandLine& line, const std::string& home, int& argc, char** argv);

}  // namespace zorvex
