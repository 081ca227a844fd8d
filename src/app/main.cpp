#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/headless_runner.h"
#include "platform/file_util.h"
#include "platform/utf8_locale.h"

namespace {

std::string executableFolder() {
    char path[4096];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    return zorvex::parentFolder(std::string(path, static_cast<std::size_t>(n)));
}

}  // namespace

int main(int argc, char** argv) {
    zorvex::EnsureUtf8Locale();
    std::vector<std::string> arguments(argv + 1, argv + argc);
    auto parsed = zorvex::parseCommandLine(arguments);
    if (!parsed.line) {
        std::fprintf(stderr, "zorvex: %s\n%s", parsed.error.c_str(), zorvex::usageText());
        return 2;
    }
    const zorvex::CommandLine& line = *parsed.line;
    if (line.help) {
        std::fputs(zorvex::usageText(), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("zorvex %s\n", ZORVEX_VERSION);
        return 0;
    }
    std::string home = line.home.empty() ? executableFolder() : line.home;
    if (!zorvex::makeDirectories(home)) {
        std::fprintf(stderr, "zorvex: cannot create the home folder %s\n", home.c_str());
        return 1;
    }
    // Until the windows exist, every start runs headless.
    return zorvex::runHeadless(line, home);
}
