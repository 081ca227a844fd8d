#include "foundation/paths.h"

#include <sys/stat.h>

#include <algorithm>
#include <mutex>
#include <system_error>
#include <vector>

#include "foundation/settings.h"
#include "platform/error_text.h"
#include "platform/file_util.h"

namespace zorvex {

namespace {

std::mutex g_pathsMutex;  // guards the two values below
std::string g_convertedDir;
std::string g_downloadDir;

std::mutex g_foldersMutex;  // guards the list of conversion folders on disk
// A user changes the folder now and then; a list that somehow grows keeps
// the newest.
constexpr std::size_t kMaxConversionFolders = 64;

std::vector<std::string> readConversionFolders(const std::string& file) {
    std::vector<std::string> folders;
    BoundedRead read = readFileAtMost(file, kMaxConversionFolders * 4096);
    std::size_t at = 0;
    while (read.status == BoundedRead::Status::Ok && at < read.data.size()) {
        std::size_t end = std::min(read.data.find('\n', at), read.data.size());
        std::string folder = read.data.substr(at, end - at);
        if (!folder.empty() && folder.front() == '/') folders.push_back(std::move(folder));
        at = end + 1;
    }
    return folders;
}

void writeConversionFolders(const std::string& file, const std::vector<std::string>& folders) {
    std::string text;
    std::size_t first =
        folders.size() > kMaxConversionFolders ? folders.size() - kMaxConversionFolders : 0;
    for (std::size_t i = first; i < folders.size(); ++i) text += folders[i] + "\n";
    writeFileAtomic(file, text);
}

// A folder that is absent now (a disk not mounted) is cleaned at a later start.
void cleanConversionFolders(const HomeLayout& layout) {
    std::lock_guard lock(g_foldersMutex);
    for (const std::string& folder : readConversionFolders(layout.conversionFolders()))
        removePartialLeftovers(folder);
}

// One level only; the callers create each parent first.
void makeFolder(const std::string& path) {
    if (!isDirectory(path)) ::mkdir(path.c_str(), 0755);
}

StorageStatus failure(const std::string& what, const std::string& path, int error) {
    return {false, what + " " + path + ": " + errorText(error)};
}

// A folder we keep files in: created when missing, and written to once, so
// that a read-only one is noticed now rather than by the first save.
StorageStatus usableFolder(const std::string& path) {
    std::error_code error;
    if (!makeDirectories(path, &error)) {
        return failure("cannot create the folder", path, error.value());
    }
    if (int written = probeWritableFolder(path); written != 0) {
        return failure("cannot write to the folder", path, written);
    }
    return {};
}

// The home may be any folder the user named, holding their own "thesis.tmp1":
// only the leftovers of files we write there are ours to remove.
void removeOwnLeftovers(const HomeLayout& layout) {
    static constexpr std::string_view kInHome[] = {"config.ini", "ConvertList.xml",
                                                   "VideoRelation.xml", "write-test"};
    static constexpr std::string_view kInAppData[] = {"ConvertFolders.txt", "Converting.xml",
                                                      "ConvertQueue.xml", "write-test"};
    removeTemporaryLeftovers(layout.home(), kInHome);
    removeTemporaryLeftovers(layout.appDataFolder(), kInAppData);
}

}  // namespace

StorageStatus InitWorkingDirectories(const std::string& homeDir) {
    SetModuleDir(homeDir);
    const HomeLayout layout(homeDir);
    if (StorageStatus home = usableFolder(homeDir); !home) return home;
    removeOwnLeftovers(layout);
    std::error_code settingsError;
    if (!LoadSettings(&settingsError)) {
        return failure("cannot write", GetConfigPath(), settingsError.value());
    }

    // The setting as written: GetConvertPath already stands in the default.
    std::string convertPath = g_pSettings()->ConvertPath;
    if (IsUsableConvertPath(convertPath)) {
        SetConvertedDir(convertPath, false);
    } else {
        SetConvertedDir(layout.convertedFolder(), true);
    }
    // A fresh home folder needs the default folder now; a folder the user
    // chose is never created, since it may sit on a drive that is not mounted.
    if (GetConvertedDir() == layout.convertedFolder()) makeDirectories(layout.convertedFolder());
    removePartialLeftovers(GetConvertedDir());  // conversions a crash cut short
    cleanConversionFolders(layout);             // and those in folders chosen before
    {
        std::lock_guard lock(g_pathsMutex);
        g_downloadDir = layout.downloadFolder();
    }
    makeDirectories(GetDownloadDir());
    removeTemporaryLeftovers(GetDownloadDir());  // an interrupted download's part
    return EnsureFileRootDirs();
}

void SetConvertedDir(const std::string& fullPath, bool makeDefaultFolders) {
    {
        std::lock_guard lock(g_pathsMutex);
        g_convertedDir = fullPath;
    }
    if (!makeDefaultFolders) return;
    const HomeLayout layout = GetHomeLayout();
    makeFolder(layout.appDataFolder());
    makeFolder(layout.convertedFolder());
}

StorageStatus EnsureFileRootDirs() {
    // Phones are told a shared video exists only if its link file can be
    // written here, so a root that is a file or read-only stops the start.
    const HomeLayout layout = GetHomeLayout();
    if (StorageStatus status = usableFolder(layout.documentRoot()); !status) return status;
    if (StorageStatus status = usableFolder(layout.thumbnailFolder()); !status) return status;
    removeTemporaryLeftovers(layout.documentRoot());
    return {};
}

std::string GetConvertedDir() {
    std::lock_guard lock(g_pathsMutex);
    return g_convertedDir;
}

void RememberConversionFolder(const std::string& folder) {
    std::string home = GetModuleDir();
    std::string wanted = normalizedPath(folder);
    if (home.empty() || wanted.empty() || wanted.front() != '/') return;
    std::lock_guard lock(g_foldersMutex);
    std::string file = HomeLayout(home).conversionFolders();
    std::vector<std::string> folders = readConversionFolders(file);
    if (std::find(folders.begin(), folders.end(), wanted) != folders.end()) return;
    folders.push_back(wanted);
    makeDirectories(parentFolder(file));
    writeConversionFolders(file, folders);
}

std::string GetDownloadDir() {
    std::lock_guard lock(g_pathsMutex);
    return g_downloadDir;
}

}  // namespace zorvex
