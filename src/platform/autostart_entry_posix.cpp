#include "platform/autostart_entry.h"

#include <cstdlib>
#include <string_view>

#include "platform/file_util.h"

namespace zorvex {

namespace {

bool isReserved(char c) {
    static constexpr std::string_view kReserved = " \t\"'\\><~|&;$*?#()`";
    return kReserved.find(c) != std::string_view::npos;
}

}  // namespace

std::string userAutostartFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return std::string(config) + "/autostart";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.config/autostart";
    return {};
}

std::string desktopExecValue(const std::string& executablePath) {
    bool quote = false;
    for (char c : executablePath) quote = quote || isReserved(c);
    std::string value;
    if (quote) value += '"';
    for (char c : executablePath) {
        if (c == '%') {
            value += "%%";  // a lone % would start a field code
        } else if (quote && c == '\\') {
            // Escaped once for the quoting rule and once more for the string value.
            value += "\\\\\\\\";
        } else if (quote && (c == '"' || c == '`' || c == '$')) {
            value += "\\\\";
            value += c;
        } else {
            value += c;
        }
    }
    if (quote) value += '"';
    return value;
}

bool writeAutostartEntry(const std::string& folder, const std::string& appName,
                         const std::string& executablePath) {
    if (folder.empty() || executablePath.empty()) return false;
    for (char c : executablePath + appName) {
        if (c == '\n' || c == '\r') return false;
    }
    if (!makeDirectories(folder)) return false;
    std::string text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=" +
        appName +
        "\n"
        "Exec=" +
        desktopExecValue(executablePath) +
        "\n"
        "Terminal=false\n"
        "X-GNOME-Autostart-enabled=true\n";
    return writeFileAtomic(folder + "/" + kAutostartFileName, text);
}

bool removeAutostartEntry(const std::string& folder) {
    if (folder.empty()) return false;
    std::string path = folder + "/" + kAutostartFileName;
    return removeFile(path) || !pathExists(path);
}

}  // namespace zorvex
