#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/home_layout.h"

namespace zorvex {

// The home folder (GetModuleDir, the module directory) and the fixed paths
// below it. Set on the starting thread before the workers start and only
// read afterwards; a mutex guards it all the same, so the getters may be
// called from any thread. Paths use '/' and carry no trailing '/' unless
// stated. Where each file sits below the home folder is HomeLayout's; the
// working folders that depend on the settings are in paths.h.

// What DecideHomeFolder consults; the default reads the environment and asks
// the file system whether a folder is writable.
struct HomeEnvironment {
    std::function<std::optional<std::string>(const char* name)> variable;
    std::function<bool(const std::string& folder)> isWritableFolder;
    std::function<bool(const std::string& folder)> isFolder;  // unset: nothing exists
    static HomeEnvironment system();
};

// The home folder: the override (made absolute) when given, else the
// executable's folder when writable and not an installed copy's (one with
// ../share/zorvex beside it), else $XDG_DATA_HOME/zorvex (by default
// ~/.local/share/zorvex). Does not create it.
std::string DecideHomeFolder(const std::optional<std::string>& homeOverride,
                             const std::string& executablePath,
                             const HomeEnvironment& env = HomeEnvironment::system());

void SetModuleDir(const std::string& homeDir);
// The home folder; "" before start-up set it.
std::string GetModuleDir();

// The layout below GetModuleDir.
HomeLayout GetHomeLayout();

// home + "/appData/converted/"
std::string DefaultConvertedDir();

// The thumbnail of a catalogue key or base name: home/file_root/image/<name>.jpg;
// "" for a name HomeLayout refuses.
std::string ThumbnailPath(const std::string& baseName);

// The folder holding the running executable.
std::string GetExecutableDir();
// A shipped folder such as "SkinRes" or "ffmpeg": beside the executable, else
// in the install's share/zorvex, else in the home folder. When none exists the
// path beside the executable.
std::string FindResourceFolder(const std::string& name);

}  // namespace zorvex
