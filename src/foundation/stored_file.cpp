#include "foundation/stored_file.h"

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "foundation/log_recorder.h"
#include "platform/error_text.h"
#include "platform/file_util.h"

namespace zorvex {

namespace {

void logLine(const std::string& text, std::string_view tag) {
    if (!PostLog(text, tag)) WriteLogNow(LogMessage(text, tag));
}

}  // namespace

StoredFile ReadStoredFile(const std::string& path) {
    BoundedRead read = readFileAtMost(path, kMaxStoredFileBytes);
    switch (read.status) {
        case BoundedRead::Status::Ok:
            return {StoredFileStatus::Ok, std::move(read.data), {}};
        case BoundedRead::Status::Missing:
            return {StoredFileStatus::Missing, {}, {}};
        case BoundedRead::Status::TooLarge:
            return {StoredFileStatus::Damaged, {}, "larger than 16 MiB"};
        case BoundedRead::Status::Failed:
            break;
    }
    return {StoredFileStatus::Damaged, {}, errorText(read.error)};
}

std::string DamagedFileName(const std::string& path, std::time_t when) {
    std::tm local{};
    ::localtime_r(&when, &local);
    char stamp[32];
    std::size_t length = std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    return path + ".damaged-" + std::string(stamp, length);
}

std::string KeepDamagedFile(const std::string& path, std::string_view problem, std::string_view tag,
                            std::error_code* error) {
    std::string base = DamagedFileName(path, std::time(nullptr));
    std::string kept = base;
    for (int n = 2; pathExists(kept) && n < 100; ++n) kept = base + "-" + std::to_string(n);
    int failure = pathExists(kept) ? EEXIST : 0;
    if (failure == 0 && std::rename(path.c_str(), kept.c_str()) != 0) failure = errno;
    if (failure != 0) {
        logLine(path + " cannot be read (" + std::string(problem) +
                    ") nor kept aside: " + errorText(failure),
                tag);
        if (error) *error = std::error_code(failure, std::generic_category());
        return {};
    }
    logLine(path + " cannot be read (" + std::string(problem) + "); kept as " + kept, tag);
    return kept;
}

}  // namespace zorvex
