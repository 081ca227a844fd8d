#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zorvex {

struct CommandLine {
    std::vector<std::string> addresses;  // --address, in order given
    std::string home;                    // --home, empty for the default
    bool headless = false;
    std::vector<std::string> shares;    // --share FILE..., headless only
    std::vector<std::string> unshares;  // --unshare FILE..., headless only
    bool version = false;
    bool help = false;
};

struct CommandLineResult {
    std::optional<CommandLine> line;
    std::string error;  // one line, when line is empty
};

CommandLineResult parseCommandLine(const std::vector<std::string>& arguments);
const char* usageText();

}  // namespace zorvex
