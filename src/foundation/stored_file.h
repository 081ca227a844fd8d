#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>
#include <system_error>

namespace zorvex {

// The files we keep for the user (config.ini, ConvertList.xml,
// VideoRelation.xml) are read through here, so that a damaged one is kept
// for inspection instead of being overwritten by the next save.

// A stored file larger than this counts as damaged and is not read.
inline constexpr std::size_t kMaxStoredFileBytes = std::size_t{16} * 1024 * 1024;

enum class StoredFileStatus { Ok, Missing, Damaged };

struct StoredFile {
    StoredFileStatus status = StoredFileStatus::Missing;
    std::string data;     // the content when Ok
    std::string problem;  // why it is damaged, for the log
};

// How reading a stored list of items went; each list's load adds its items.
struct StoredItemsRead {
    StoredFileStatus status = StoredFileStatus::Missing;
    std::string problem;  // why it is Damaged, and how many items were recovered
};

// The whole file, or Damaged when it cannot be read or is larger than
// kMaxStoredFileBytes. Any thread.
StoredFile ReadStoredFile(const std::string& path);

// path + ".damaged-YYYYMMDD-HHMMSS" in local time.
std::string DamagedFileName(const std::string& path, std::time_t when);

// Renames a damaged file to DamagedFileName(path, now) (with "-2", "-3", ...
// after it should that name be taken) and logs a line naming both and the
// problem, under the tag. Returns the new path, or "" when the file could not
// be renamed (that is logged too, and error receives the cause). Any thread;
// logs through the log thread when it runs, else directly.
std::string KeepDamagedFile(const std::string& path, std::string_view problem, std::string_view tag,
                            std::error_code* error = nullptr);

}  // namespace zorvex
