#include "foundation/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "foundation/constants.h"
#include "foundation/settings.h"
#include "platform/executable_path.h"
#include "platform/file_util.h"

namespace zorvex {

namespace {

std::mutex g_pathsMutex;  // guards the three values below
std::string g_moduleDir;
std::string g_convertedDir;
std::string g_downloadDir;

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// One level only; the callers create each parent first.
void makeFolder(const std::string& path) {
    if (!isDirectory(path)) ::mkdir(path.c_str(), 0755);
}

}  // namespace

HomeEnvironment HomeEnvironment::system() {
    HomeEnvironment env;
    env.variable = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        if (!value) return std::nullopt;
        return std::string(value);
    };
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
    std::lock_guard lock(g_pathsMutex);
    g_moduleDir = homeDir;
}

std::string GetModuleDir() {
    std::lock_guard lock(g_pathsMutex);
    return g_moduleDir;
}

bool InitWorkingDirectories(const std::string& homeDir) {
    SetModuleDir(homeDir);
    bool ok = makeDirectories(homeDir);
    LoadSettings();

    std::string convertPath = GetConvertPath();
    if (!convertPath.empty()) {
        SetConvertedDir(convertPath, "", "");
    } else {
        SetConvertedDir(DefaultConvertedDir(), "/appData", "/converted");
    }
    // Conversions write into these folders without creating them, so a fresh
    // home folder needs them now; a folder the user chose is left alone, since
    // it may sit on a drive that is not mounted.
    if (GetConvertedDir() == DefaultConvertedDir()) makeDirectories(DefaultConvertedDir());
    {
        std::lock_guard lock(g_pathsMutex);
        g_downloadDir = homeDir + "/appData/download/";
    }
    makeDirectories(GetDownloadDir());
    EnsureFileRootDirs();
    return ok;
}

void SetConvertedDir(const std::string& fullPath, const std::string& parentName,
                     const std::string& childName) {
    {
        std::lock_guard lock(g_pathsMutex);
        g_convertedDir = fullPath;
    }
    if (parentName.empty() || childName.empty()) return;
    std::string parent = GetModuleDir() + parentName;
    makeFolder(parent);
    makeFolder(parent + childName + "/");
}

void EnsureFileRootDirs() {
    std::string root = GetModuleDir() + "/file_root/";
    makeFolder(root);
    makeFolder(root + "image/");
}

std::string GetConvertedDir() {
    std::lock_guard lock(g_pathsMutex);
    return g_convertedDir;
}

std::string GetDownloadDir() {
    std::lock_guard lock(g_pathsMutex);
    return g_downloadDir;
}

std::string DefaultConvertedDir() {
    return GetModuleDir() + "/appData/converted/";
}

std::string ThumbnailPath(const std::string& baseName) {
    return GetModuleDir() + "/" + kThumbnailFolder + baseName + kThumbnailExtension;
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
    std::string home = GetModuleDir() + "/" + name;
    if (isDirectory(home)) return home;
    return beside;
}

}  // namespace zorvex
