#include "platform/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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

bool makeDirectories(const std::string& path) {
    if (path.empty()) return false;
    if (isDirectory(path)) return true;
    for (std::size_t pos = path.find('/', 1); pos != std::string::npos;
         pos = path.find('/', pos + 1)) {
        std::string prefix = path.substr(0, pos);
        if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return false;
    return isDirectory(path);
}

std::optional<std::string> readFileHead(const std::string& path, std::size_t maxBytes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
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
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
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

bool writeFileAtomic(const std::string& path, std::string_view data) {
    static thread_local std::mt19937 random{std::random_device{}()};
    std::string temp = path + ".tmp" + std::to_string(random() % 1000000);
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = writeAll(fd, data) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return true;
    ::unlink(temp.c_str());
    return false;
}

bool removeFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

std::string parentFolder(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string fileNamePart(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace zorvex
