#pragma once

#include <string>

namespace zorvex {

// The XDG autostart entry that starts the program at log-in: a desktop file in
// the user's autostart folder whose Exec is the executable's path.
// Plain file operations; callable from any thread, one caller at a time.

inline constexpr const char* kAutostartFileName = "ZorvexVRClient.desktop";

// $XDG_CONFIG_HOME/autostart, else $HOME/.config/autostart; "" when neither is known.
std::string userAutostartFolder();

// The Exec value that starts exactly this path: quoted and escaped as desktop
// entries require when the path holds spaces or other reserved characters.
std::string desktopExecValue(const std::string& executablePath);

// Writes folder/ZorvexVRClient.desktop (creating the folder) atomically.
// False when the path cannot be expressed on one line or the write fails.
bool writeAutostartEntry(const std::string& folder, const std::string& appName,
                         const std::string& executablePath);

}  // namespace zorvex
