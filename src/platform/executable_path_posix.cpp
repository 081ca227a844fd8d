#include "platform/executable_path.h"

#include <unistd.h>

#include <vector>

namespace zorvex {

std::string currentExecutablePath() {
    std::vector<char> buffer(4096);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return {};
        if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
        buffer.resize(buffer.size() * 2);  // readlink truncates silently
    }
}

}  // namespace zorvex
