#include "platform/autostart_entry.h"

#include <string_view>

#include "platform/environment.h"
#include "platform/file_util.h"

namespace zorvex {

namespace {

bool isReserved(char c) {
    static constexpr std::string_view kReserved = " \t\"'\\><~|&;$*?#()`";
    return kReserved.find(c) != std::string_view::npos;
}

}  // namespace

std::string userAutostartFolder() {
    auto config = environmentVariable("XDG_CONFIG_HOME");
    if (config && config->starts_with('/')) return *config + "/autostart";
    auto home = environmentVariable("HOME");
    if (home && home->starts_with('/')) return *home + "/.config/autostart";
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

}  // namespace zorvex
