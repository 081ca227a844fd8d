#include "platform/file_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>

namespace zorvex {

namespace {

bool statPath(const std::string& path, struct stat* st) {
    return !path.empty() && ::stat(path.c_str(), st) == 0;
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// A FIFO or a device would block open() or read() for good (a FIFO in the
// document root once hung the start): stored files are regular files, so
// nothing else is opened, and the open itself never waits for a writer.
int openRegularForReading(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0) st.st_mode = 0;
    if (!S_ISREG(st.st_mode)) {
        int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        return -1;
    }
    // Regular files ignore O_NONBLOCK; cleared all the same for whoever reads.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}  // namespace

bool pathExists(const std::string& path) {
    struct stat st;
    return statPath(path, &st);
}

bool isRegularFile(const std::string& path) {
    struct stat st;
    return statPath(path, &st) && S_ISREG(st.st_mode);
}

bool isDirectory(const std::string& path) {
    struct stat st;
    return statPath(path, &st) && S_ISDIR(st.st_mode);
}

bool isReadableFile(const std::string& path) {
    int fd = openRegularForReading(path);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool pathIsAbsent(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) != 0 && errno == ENOENT;
}

bool makeDirectories(const std::string& path, std::error_code* error) {
    auto fail = [error](int value) {
        if (error) *error = std::error_code(value, std::generic_category());
        return false;
    };
    if (path.empty()) return fail(ENOENT);
    if (isDirectory(path)) return true;
    for (std::size_t pos = path.find('/', 1); pos != std::string::npos;
         pos = path.find('/', pos + 1)) {
        std::string prefix = path.substr(0, pos);
        if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return fail(errno);
    }
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return fail(errno);
    return isDirectory(path) || fail(ENOTDIR);
}

std::optional<std::string> readFileHead(const std::string& path, std::size_t maxBytes) {
    int fd = openRegularForReading(path);
    if (fd < 0) return std::nullopt;
    std::string data(maxBytes, '\0');
    std::size_t got = 0;
    while (got < maxBytes) {
        ssize_t n = ::read(fd, data.data() + got, maxBytes - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    data.resize(got);
    return data;
}

std::optional<std::string> readWholeFile(const std::string& path) {
    int fd = openRegularForReading(path);
    if (fd < 0) return std::nullopt;
    std::string data;
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        data.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return data;
}

namespace {

constexpr std::string_view kTemporaryMark = ".tmp-";
constexpr std::string_view kPartialMark = ".part-";
constexpr std::size_t kUniqueCharacters = 6;
constexpr std::size_t kMaxFileName = NAME_MAX;

void setError(std::error_code* error, int value) {
    if (error) *error = std::error_code(value, std::generic_category());
}

// A new file named by namer(path's name) beside path, made with O_EXCL.
int createTemporary(const std::string& path, std::string& temp,
                    std::string (*namer)(std::string_view) = TemporaryNameFor) {
    std::string folder = parentFolder(path);
    std::string prefix = folder.empty() && path.find('/') == std::string::npos ? "" : folder + "/";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = prefix + namer(fileNamePart(path));
        int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// After a rename the new name lives in the folder's entries, which have a
// flush of their own. A folder that cannot be flushed (some file systems
// refuse) leaves the new file in place all the same.
void syncFolderOf(const std::string& path) {
    std::string folder = parentFolder(path);
    if (folder.empty()) folder = path.starts_with('/') ? "/" : ".";
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool allDigits(std::string_view text) {
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

}  // namespace

BoundedRead readFileAtMost(const std::string& path, std::size_t maxBytes) {
    BoundedRead result;
    int fd = openRegularForReading(path);
    if (fd < 0) {
        result.error = errno;
        bool missing = errno == ENOENT || errno == ENOTDIR;
        result.status = missing ? BoundedRead::Status::Missing : BoundedRead::Status::Failed;
        return result;
    }
    struct stat st;
    if (::fstat(fd, &st) == 0 && st.st_size > 0 &&
        static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
        ::close(fd);
        result.status = BoundedRead::Status::TooLarge;
        return result;
    }
    // The size is checked again while reading: the file may grow meanwhile.
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            result.error = errno;
            ::close(fd);
            result.data.clear();
            return result;
        }
        if (n == 0) break;
        if (result.data.size() + static_cast<std::size_t>(n) > maxBytes) {
            ::close(fd);
            result.data.clear();
            result.status = BoundedRead::Status::TooLarge;
            return result;
        }
        result.data.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    result.status = BoundedRead::Status::Ok;
    return result;
}

namespace {

// "." + name + mark + six random letters or digits, within NAME_MAX.
std::string hiddenNameFor(std::string_view name, std::string_view mark) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
    // The temporary name must stay within the file system's limit too.
    std::size_t room = kMaxFileName - 1 - mark.size() - kUniqueCharacters;
    std::string temp = "." + std::string(name.substr(0, room)) + std::string(mark);
    for (std::size_t i = 0; i < kUniqueCharacters; ++i) temp += kAlphabet[pick(random)];
    return temp;
}

bool hasHiddenForm(std::string_view name, std::string_view mark) {
    const std::size_t tail = mark.size() + kUniqueCharacters;
    if (name.size() <= tail + 1 || name.front() != '.' ||
        name.substr(name.size() - tail, mark.size()) != mark) {
        return false;
    }
    for (char c : name.substr(name.size() - kUniqueCharacters)) {
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

int removeMatching(const std::string& folder,
                   const std::function<bool(std::string_view)>& matches) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return 0;
    int removed = 0;
    // readdir races only on a shared stream; this one is ours alone.
    while (dirent* item = ::readdir(dir)) {  // NOLINT(concurrency-mt-unsafe)
        std::string_view name = item->d_name;
        if (!matches(name)) continue;
        std::string path = folder + "/" + std::string(name);
        if (isRegularFile(path) && ::unlink(path.c_str()) == 0) ++removed;
    }
    ::closedir(dir);
    return removed;
}

}  // namespace

std::string TemporaryNameFor(std::string_view name) {
    return hiddenNameFor(name, kTemporaryMark);
}

std::string PartialNameFor(std::string_view name) {
    return hiddenNameFor(name, kPartialMark);
}

std::optional<std::string_view> temporaryLeftoverOf(std::string_view name) {
    // ".NAME.tmp-XXXXXX"
    if (hasHiddenForm(name, kTemporaryMark))
        return name.substr(1, name.size() - 1 - kTemporaryMark.size() - kUniqueCharacters);
    // "NAME.tmpN" to "NAME.tmpNNNNNN"
    auto mark = name.rfind(".tmp");
    if (mark == std::string_view::npos || mark == 0) return std::nullopt;
    std::string_view digits = name.substr(mark + 4);
    if (digits.empty() || digits.size() > kUniqueCharacters || !allDigits(digits))
        return std::nullopt;
    return name.substr(0, mark);
}

bool isTemporaryLeftover(std::string_view name) {
    return temporaryLeftoverOf(name).has_value();
}

bool isPartialLeftover(std::string_view name) {
    return hasHiddenForm(name, kPartialMark);
}

int removeTemporaryLeftovers(const std::string& folder,
                             std::span<const std::string_view> ownNames) {
    if (ownNames.empty()) return removeMatching(folder, isTemporaryLeftover);
    return removeMatching(folder, [ownNames](std::string_view name) {
        auto of = temporaryLeftoverOf(name);
        return of && std::find(ownNames.begin(), ownNames.end(), *of) != ownNames.end();
    });
}

int removePartialLeftovers(const std::string& folder) {
    return removeMatching(folder, isPartialLeftover);
}

int createPartialFile(const std::string& target, std::string* partialPath) {
    std::string partial;
    int fd = createTemporary(target, partial, PartialNameFor);
    if (partialPath) *partialPath = fd >= 0 ? partial : std::string();
    return fd;
}

namespace {

int renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without the flag: a hard link fails on an existing name too.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno == EEXIST) return EEXIST;
    // Nor links (FAT): the check and the rename are then two steps.
    if (pathExists(to)) return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace

int commitPartialFile(const std::string& partialPath, const std::string& target) {
    // On disk before its name says it is complete, as for the stored files.
    int fd = ::open(partialPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    int failure = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    if (failure == 0) failure = renameNoReplace(partialPath, target);
    if (failure == 0) syncFolderOf(target);
    return failure;
}

bool isWritableFolder(const std::string& path) {
    return isDirectory(path) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

int createTemporaryFile(const std::string& target, std::string* tempPath) {
    std::string temp;
    int fd = createTemporary(target, temp);
    if (tempPath) *tempPath = fd >= 0 ? temp : std::string();
    return fd;
}

int probeWritableFolder(const std::string& folder) {
    std::string temp;
    int fd = createTemporary(folder + "/write-test", temp);
    if (fd < 0) return errno;
    ::close(fd);
    ::unlink(temp.c_str());
    return 0;
}

bool writeFileAtomic(const std::string& path, std::string_view data, std::error_code* error) {
    std::string temp;
    int fd = createTemporary(path, temp);
    if (fd < 0) {
        setError(error, errno);
        return false;
    }
    int failure = 0;
    if (!writeAll(fd, data) || ::fsync(fd) != 0) failure = errno;
    if (::close(fd) != 0 && failure == 0) failure = errno;
    if (failure == 0 && ::rename(temp.c_str(), path.c_str()) != 0) failure = errno;
    if (failure != 0) {
        ::unlink(temp.c_str());
        setError(error, failure);
        return false;
    }
    syncFolderOf(path);
    return true;
}

OpenedForReading::OpenedForReading(const std::string& path) : fd_(openRegularForReading(path)) {}

OpenedForReading::~OpenedForReading() {
    if (fd_ >= 0) ::close(fd_);
}

std::string OpenedForReading::alias() const {
    return fd_ < 0 ? std::string() : "/proc/self/fd/" + std::to_string(fd_);
}

bool removeFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

std::optional<std::uint64_t> availableDiskSpace(const std::string& path) {
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

std::string normalizedPath(std::string_view path) {
    std::string result;
    result.reserve(path.size());
    std::size_t at = 0;
    while (at <= path.size()) {
        std::size_t end = std::min(path.find('/', at), path.size());
        std::string_view part = path.substr(at, end - at);
        bool last = end == path.size();
        if (!part.empty() && part != ".") {
            result += part;
            if (!last) result += '/';
        } else if (at == 0 && part.empty() && !last) {
            result += '/';  // the root
        }
        at = end + 1;
    }
    // "a/." and "a/" keep no trailing '/', but "/" stays the root.
    if (result.size() > 1 && result.back() == '/') result.pop_back();
    if (result.empty() && !path.empty()) result = path.front() == '/' ? "/" : ".";
    return result;
}

std::string parentFolder(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string fileNamePart(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<std::int64_t> modificationTime(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
}

bool setModificationTime(const std::string& path, std::int64_t nanoseconds) {
    timespec times[2];
    times[0].tv_sec = static_cast<time_t>(nanoseconds / 1'000'000'000);
    times[0].tv_nsec = static_cast<long>(nanoseconds % 1'000'000'000);
    times[1] = times[0];
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace zorvex
