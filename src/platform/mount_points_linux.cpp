#include "platform/mount_points.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>

#include "platform/file_util.h"

namespace zorvex {

namespace {

// Both files escape a blank, a tab, a line break and a backslash as \ooo.
std::string unescaped(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() &&
            std::all_of(field.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                        field.begin() + static_cast<std::ptrdiff_t>(i) + 4,
                        [](char c) { return c >= '0' && c <= '7'; })) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// The index-th blank-separated field of each line that has one.
std::vector<std::string> fieldOfLines(std::string_view text, std::size_t index) {
    std::vector<std::string> found;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        std::size_t at = line.find_first_not_of(" \t");
        if (at == std::string_view::npos || line[at] == '#') continue;
        for (std::size_t n = 0; at != std::string_view::npos; ++n) {
            std::size_t stop = line.find_first_of(" \t", at);
            std::string_view field =
                line.substr(at, stop == std::string_view::npos ? stop : stop - at);
            if (n == index) {
                found.push_back(unescaped(field));
                break;
            }
            at = stop == std::string_view::npos ? stop : line.find_first_not_of(" \t", stop);
        }
    }
    return found;
}

// "/a/b/" and "/a/b" name one folder.
std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool contains(const std::vector<std::string>& points, const std::string& folder) {
    return std::find(points.begin(), points.end(), folder) != points.end();
}

bool isEmptyFolder(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return false;
    bool empty = true;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the stream is this call's own
    while (dirent* item = ::readdir(dir)) {
        std::string_view name = item->d_name;
        if (name != "." && name != "..") {
            empty = false;
            break;
        }
    }
    ::closedir(dir);
    return empty;
}

}  // namespace

std::vector<std::string> ParseMountinfoPoints(std::string_view text) {
    return fieldOfLines(text, 4);
}

std::vector<std::string> ParseFstabPoints(std::string_view text) {
    std::vector<std::string> points = fieldOfLines(text, 1);
    std::erase_if(points, [](const std::string& point) { return !point.starts_with('/'); });
    return points;
}

bool DiskMayBeAbsent(const std::string& folder) {
    if (!isDirectory(folder)) return true;
    std::vector<std::string> mounted =
        ParseMountinfoPoints(readWholeFile("/proc/self/mountinfo").value_or(""));
    std::vector<std::string> declared = ParseFstabPoints(readWholeFile("/etc/fstab").value_or(""));
    for (std::string& point : mounted) point = withoutTrailingSlash(point);
    for (std::string& point : declared) point = withoutTrailingSlash(point);
    // Mount points are listed with links resolved.
    char* resolved = ::realpath(folder.c_str(), nullptr);
    const std::string real = withoutTrailingSlash(resolved ? resolved : folder);
    std::free(resolved);
    // The nearest mount point at or above the folder decides: mounted, its
    // disk is there; declared but not mounted, the folder lies on the disk
    // below it instead of its own.
    std::string here = real;
    for (;;) {
        if (contains(mounted, here)) break;
        if (contains(declared, here)) return true;
        std::size_t slash = here.rfind('/');
        if (here.size() <= 1 || slash == std::string::npos) break;
        here.resize(slash == 0 ? 1 : slash);  // "/a" goes up to "/"
    }
    if (contains(mounted, real)) return false;
    return isEmptyFolder(real);
}

}  // namespace zorvex
