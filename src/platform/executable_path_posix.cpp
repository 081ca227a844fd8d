#include "platform/executable_path.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <vector>

namespace zorvex {

namespace {

// Set once before any thread starts, read only afterwards.
std::string& passedFor() {
    static std::string executable;
    return executable;
}

}  // namespace

std::string currentExecutablePath() {
    if (!passedFor().empty()) return passedFor();
    std::vector<char> buffer(4096);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return {};
        if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
        buffer.resize(buffer.size() * 2);  // readlink truncates silently
    }
}

void passForExecutable(std::string executable) {
    const std::string name = executable.substr(executable.rfind('/') + 1);
    ::prctl(PR_SET_NAME, name.c_str(), 0, 0, 0);  // the kernel keeps 15 bytes of it
    passedFor() = std::move(executable);
}

}  // namespace zorvex
