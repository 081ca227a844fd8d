#include "service/document_root.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace zorvex {

namespace {

std::string resolve(const std::string& path) {
    char real[PATH_MAX];
    if (path.empty() || !::realpath(path.c_str(), real)) return {};
    return real;
}

// O_NONBLOCK so that a FIFO planted in the folder cannot hold the opening
// thread. Reads and sendfile of regular files do not heed it, so it stays.
constexpr int kOpenFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

OpenedFile keepFilesAndFolders(int fd) {
    if (fd < 0) return {};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))) {
        ::close(fd);
        return {};
    }
    return OpenedFile(fd, info);
}

OpenedFile openChecked(const std::string& path) {
    return keepFilesAndFolders(::open(path.c_str(), kOpenFlags));
}

}  // namespace

OpenedFile::~OpenedFile() {
    if (fd_ >= 0) ::close(fd_);
}

OpenedFile::OpenedFile(OpenedFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), info_(other.info_) {}

OpenedFile& OpenedFile::operator=(OpenedFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        info_ = other.info_;
    }
    return *this;
}

int OpenedFile::release() {
    return std::exchange(fd_, -1);
}

std::string pathOfDescriptor(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char real[PATH_MAX];
    ssize_t n = ::readlink(link, real, sizeof real - 1);
    if (n <= 0) return {};
    return std::string(real, static_cast<std::size_t>(n));
}

DocumentRoot::DocumentRoot(std::string path)
    : path_(std::move(path)),
      real_(resolve(path_)),
      rootFd_(::open(path_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {}

DocumentRoot::~DocumentRoot() {
    if (rootFd_ >= 0) ::close(rootFd_);
}

std::string DocumentRoot::resolvedRoot() const {
    return real_.empty() ? resolve(path_) : real_;
}

bool DocumentRoot::contains(const std::string& root, const std::string& real) const {
    if (root.empty() || real.size() < root.size() || real.compare(0, root.size(), root) != 0) {
        return false;
    }
    return real.size() == root.size() || real[root.size()] == '/' || root == "/";
}

OpenedFile DocumentRoot::open(const std::string& relative) const {
    if (rootFd_ >= 0) {
        // The kernel walks the path from the root and refuses any step out
        // of it: one call where the check below takes three.
        open_how how{};
        how.flags = kOpenFlags;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
        long fd = ::syscall(SYS_openat2, rootFd_, relative.empty() ? "." : relative.c_str(), &how,
                            sizeof how);
        if (fd >= 0) return keepFilesAndFolders(static_cast<int>(fd));
        // EXDEV: a step out, or an absolute link, which may still lead back
        // inside; ENOSYS: a kernel before 5.6. Both are decided below.
        if (errno != EXDEV && errno != ENOSYS) return {};
    }
    std::string root = resolvedRoot();
    if (root.empty()) return {};
    OpenedFile file = openChecked(relative.empty() ? root : root + "/" + relative);
    if (!file.valid() || !contains(root, pathOfDescriptor(file.fd()))) return {};
    return file;
}

bool DocumentRoot::stat(const std::string& relative, struct stat& info) const {
    return rootFd_ >= 0 && !relative.empty() &&
           ::fstatat(rootFd_, relative.c_str(), &info, AT_NO_AUTOMOUNT) == 0;
}

OpenedFile DocumentRoot::openTarget(const std::string& path) {
    OpenedFile file = openChecked(path);
    if (!file.isFile()) return {};
    return file;
}

std::vector<ListedEntry> DocumentRoot::list(const OpenedFile& folder) const {
    std::vector<ListedEntry> entries;
    std::string root = resolvedRoot();
    std::string here = pathOfDescriptor(folder.fd());
    if (!folder.isFolder() || !contains(root, here)) return entries;
    int fd = ::dup(folder.fd());
    if (fd < 0) return entries;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return entries;
    }
    ::rewinddir(dir);
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the stream is this call's own
    while (dirent* item = ::readdir(dir)) {
        std::string name = item->d_name;
        if (name.empty() || name[0] == '.') continue;
        struct stat own {};
        struct stat info {};
        if (::fstatat(folder.fd(), name.c_str(), &own, AT_SYMLINK_NOFOLLOW) != 0 ||
            ::fstatat(folder.fd(), name.c_str(), &info, 0) != 0) {
            continue;  // vanished, or a link to nothing
        }
        if (!(S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))) continue;
        if (S_ISLNK(own.st_mode)) {
            std::string target = here;
            target.append("/").append(name);
            if (!contains(root, resolve(target))) continue;
        }
        entries.push_back(
            {name, S_ISDIR(info.st_mode), S_ISDIR(info.st_mode) ? 0 : info.st_size, info.st_mtime});
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const ListedEntry& a, const ListedEntry& b) { return a.name < b.name; });
    return entries;
}

}  // namespace zorvex
