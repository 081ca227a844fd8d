#include "foundation/home_folder.h"

#include <unistd.h>

#include <filesystem>
#include <mutex>

#include "platform/environment.h"
#include "platform/executable_path.h"
#include "platform/file_util.h"

namespace zorvex {

namespace {

std::mutex g_homeMutex;  // guards the value below
std::string g_moduleDir;

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

HomeEnvironment HomeEnvironment::system() {
    HomeEnvironment env;
    env.variable = [](const char* name) { return environmentVariable(name); };
    env.isWritableFolder = [](const std::string& folder) {
        return isDirectory(folder) && ::access(folder.c_str(), W_OK) == 0;
    };
    env.isFolder = [](const std::string& folder) { return isDirectory(folder); };
    return env;
}

std::string DecideHomeFolder(const std::optional<std::string>& homeOverride,
                             const std::string& executablePath, const HomeEnvironment& env) {
    if (homeOverride && !homeOverride->empty()) {
        std::error_code ignored;
        auto absolute = std::filesystem::absolute(*homeOverride, ignored).lexically_normal();
        return withoutTrailingSlash(absolute.empty() ? *homeOverride : absolute.string());
    }
    std::string exeDir = parentFolder(executablePath);
    // An installed copy keeps its data per user even where it could write
    // beside itself (run as root, or unpacked into a scratch root).
    const bool installed = env.isFolder && env.isFolder(parentFolder(exeDir) + "/share/zorvex");
    if (!exeDir.empty() && !installed && env.isWritableFolder(exeDir)) return exeDir;
    // XDG ignores relative values.
    auto dataHome = env.variable("XDG_DATA_HOME");
    if (dataHome && dataHome->starts_with('/')) return withoutTrailingSlash(*dataHome) + "/zorvex";
    auto home = env.variable("HOME");
    if (home && home->starts_with('/')) {
        return withoutTrailingSlash(*home) + "/.local/share/zorvex";
    }
    return exeDir;
}

void SetModuleDir(const std::string& homeDir) {
    std::lock_guard lock(g_homeMutex);
    g_moduleDir = homeDir;
}

std::string GetModuleDir() {
    std::lock_guard lock(g_homeMutex);
    return g_moduleDir;
}

HomeLayout GetHomeLayout() {
    return HomeLayout(GetModuleDir());
}

std::string DefaultConvertedDir() {
    return GetHomeLayout().convertedFolder();
}

std::string ThumbnailPath(const std::string& baseName) {
    return GetHomeLayout().thumbnail(baseName);
}

std::string GetExecutableDir() {
    return parentFolder(currentExecutablePath());
}

std::string FindResourceFolder(const std::string& name) {
    std::string exeDir = GetExecutableDir();
    std::string beside = exeDir + "/" + name;
    if (isDirectory(beside)) return beside;
    std::string shared = parentFolder(exeDir) + "/share/zorvex/" + name;
    if (isDirectory(shared)) return shared;
    std::string home = GetHomeLayout().shippedFolder(name);
    if (isDirectory(home)) return home;
    return beside;
}

}  // namespace zorvex
