#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zorvex {

// The value of an environment variable; nullopt when it is not set. Any
// thread: the program never changes its own environment.
std::optional<std::string> environmentVariable(const char* name);

// The files a search of $PATH for a program tries, in order, as execvp
// would: a name with a slash is itself, an empty entry the working folder,
// and an unset PATH "/bin:/usr/bin". Any thread.
std::vector<std::string> programCandidates(const std::string& program);

}  // namespace zorvex
