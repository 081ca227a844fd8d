#pragma once

#include <string>

#include "app/command_line.h"
#include "platform/instance_doorbell.h"

namespace zorvex {

// Opens the window once the home folder's lock is ours and runs it to the
// end; returns the exit code (runWindowed).
using WindowRunner = int (*)(const CommandLine& line, const std::string& home,
                             InstanceDoorbell doorbell, int& argc, char** argv);

// main() of both programs: the command line, one copy per home folder (a
// second start rings the first), then the headless runner or the window.
// `openWindow` is the window program's; zorvex, which maps no Qt library,
// passes none and turns a windowed start into the window program at once,
// before it takes anything, keeping its process and arguments. Returns the
// exit code: 2 for bad arguments, 3 when another copy holds the home folder.
int runProgram(int argc, char** argv, WindowRunner openWindow);

}  // namespace zorvex
