#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace zorvex {

// One name in a folder listing.
struct ListedEntry {
    std::string name;
    bool folder = false;
    std::int64_t size = 0;
    std::time_t modified = 0;
};

// An open file or folder, closed with the object unless released.
class OpenedFile {
public:
    OpenedFile() = default;
    OpenedFile(int fd, const struct stat& info) : fd_(fd), info_(info) {}
    ~OpenedFile();
    OpenedFile(OpenedFile&& other) noexcept;
    OpenedFile& operator=(OpenedFile&& other) noexcept;
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const struct stat& info() const { return info_; }
    bool isFolder() const { return valid() && S_ISDIR(info_.st_mode); }
    bool isFile() const { return valid() && S_ISREG(info_.st_mode); }
    // Hands the descriptor over (to the HTTP library, which closes it).
    int release();

private:
    int fd_ = -1;
    struct stat info_ {};
};

// The folder that the file service serves, and the rule that keeps requests
// inside it: what a request opens must resolve, symlinks and all, to a path
// inside the folder. The check is made on the opened descriptor, so a link
// swapped in between cannot slip past it. Immutable; any thread may use it.
class DocumentRoot {
public:
    explicit DocumentRoot(std::string path);
    ~DocumentRoot();
    DocumentRoot(const DocumentRoot&) = delete;
    DocumentRoot& operator=(const DocumentRoot&) = delete;

    const std::string& path() const { return path_; }

    // Opens a regular file or a folder at a path relative to the root (""
    // for the root itself), whose segments the caller has already checked.
    // Invalid when it is missing, of another kind (a FIFO, a device) or
    // outside the root.
    OpenedFile open(const std::string& relative) const;

    // What a path relative to the root leads to now, links followed, without
    // open()'s check; for telling whether a file opened before is still there.
    bool stat(const std::string& relative, struct stat& info) const;

    // The entries of a folder opened by open(): names starting with '.',
    // entries that lead outside the root, and anything but files and folders
    // are left out. Sorted by name.
    std::vector<ListedEntry> list(const OpenedFile& folder) const;

    // Opens a file anywhere (a link file's target): regular files only.
    static OpenedFile openTarget(const std::string& path);

private:
    // The root with every link resolved, "" when it cannot be resolved now.
    std::string resolvedRoot() const;
    bool contains(const std::string& root, const std::string& real) const;

    const std::string path_;
    const std::string real_;  // resolved at construction; "" if the root was missing then
    const int rootFd_;        // the folder opened at construction, -1 if missing then
};

// The path a descriptor was opened at, links resolved; "" if unknown.
std::string pathOfDescriptor(int fd);

}  // namespace zorvex
