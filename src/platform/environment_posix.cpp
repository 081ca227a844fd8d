#include "platform/environment.h"

#include <cstdlib>
#include <string_view>

namespace zorvex {

std::optional<std::string> environmentVariable(const char* name) {
    // getenv races only with setenv and putenv, which nothing here calls.
    const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe)
    if (!value) return std::nullopt;
    return std::string(value);
}

std::vector<std::string> programCandidates(const std::string& program) {
    if (program.find('/') != std::string::npos) return {program};
    const std::string path = environmentVariable("PATH").value_or("/bin:/usr/bin");
    std::string_view rest = path;
    std::vector<std::string> candidates;
    for (;;) {
        auto colon = rest.find(':');
        std::string_view folder = rest.substr(0, colon);
        candidates.push_back(folder.empty() ? program : std::string(folder) + "/" + program);
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    return candidates;
}

}  // namespace zorvex
