#pragma once

#include <string>

namespace zorvex {

// Full path of the application's executable, "" when unknown: the running
// one (/proc/self/exe), or the one this process passes for.
std::string currentExecutablePath();

// Makes this process pass for `executable`, which exec'd it in its place:
// currentExecutablePath() answers it from now on (the home folder, the skin
// and the autostart entry stay the application's), and the process keeps
// that executable's name in ps and top. First thing in main(), before any
// thread starts.
void passForExecutable(std::string executable);

}  // namespace zorvex
