#include "app/command_line.h"

#include "service/link_frame.h"

namespace zorvex {

const char* usageText() {
    return "usage: zorvex [--address A]... [--home DIR]\n"
           "              [--headless [--share FILE...] [--unshare FILE...]] [--version] [--help]\n"
           "  --address A     offer only these IPv4 addresses; the service starts on the first\n"
           "  --home DIR      keep settings, logs, link files and conversions in DIR\n"
           "  --headless      no windows: run the LAN service until SIGINT or SIGTERM;\n"
           "                  shared videos whose files are gone are dropped at the start\n"
           "  --share FILE    share these videos (with --headless)\n"
           "  --unshare FILE  stop sharing these videos (with --headless)\n";
}

CommandLineResult parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    auto fail = [](std::string message) {
        return CommandLineResult{std::nullopt, std::move(message)};
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= arguments.size() || arguments[i + 1].starts_with("--")) return false;
            out = arguments[++i];
            return true;
        };
        if (arg == "--address") {
            std::string address;
            unsigned parts[4];
            if (!value(address)) return fail("--address needs an IPv4 address");
            if (!wire::readDottedQuad(address, parts) || parts[0] > 255 || parts[1] > 255 ||
                parts[2] > 255 || parts[3] > 255) {
                return fail("not an IPv4 address: " + address);
            }
            line.addresses.push_back(address);
        } else if (arg == "--home") {
            if (!value(line.home) || line.home.empty()) return fail("--home needs a folder");
        } else if (arg == "--headless") {
            line.headless = true;
        } else if (arg == "--share" || arg == "--unshare") {
            auto& files = arg == "--share" ? line.shares : line.unshares;
            std::size_t before = files.size();
            while (i + 1 < arguments.size() && !arguments[i + 1].starts_with("--")) {
                files.push_back(arguments[++i]);
            }
            if (files.size() == before) return fail(arg + " needs at least one file");
        } else if (arg == "--version") {
            line.version = true;
        } else if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else {
            return fail("unknown argument: " + arg);
        }
    }
    if (!line.shares.empty() && !line.headless) return fail("--share works only with --headless");
    if (!line.unshares.empty() && !line.headless) {
        return fail("--unshare works only with --headless");
    }
    return {line, {}};
}

}  // namespace zorvex
