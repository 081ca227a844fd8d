#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

namespace zorvex {

// True if the file system reports the path, file or folder.
bool pathExists(const std::string& path);
bool isRegularFile(const std::string& path);
bool isDirectory(const std::string& path);
// A regular file this process can open for reading (permissions, ACLs and
// all); opened and closed again without waiting.
bool isReadableFile(const std::string& path);
// True only when the file system says nothing is there (ENOENT), not when it
// cannot tell (no permission, an I/O error).
bool pathIsAbsent(const std::string& path);

// Creates the folder and every missing parent; true if it exists afterwards.
// error, when given, receives the cause of a failure (ENOTDIR when a file
// stands where a folder should be).
bool makeDirectories(const std::string& path, std::error_code* error = nullptr);

// Reads at most maxBytes from the start of the file; nullopt if it cannot be opened.
std::optional<std::string> readFileHead(const std::string& path, std::size_t maxBytes);
std::optional<std::string> readWholeFile(const std::string& path);

// A whole file, unless it is larger than a bound: a damaged or hostile file
// must not be read into memory whole.
struct BoundedRead {
    enum class Status { Ok, Missing, TooLarge, Failed };
    Status status = Status::Failed;
    int error = 0;     // errno when Failed (or Missing: ENOENT, ENOTDIR)
    std::string data;  // the content when Ok
};
BoundedRead readFileAtMost(const std::string& path, std::size_t maxBytes);

// Writes to a temporary file beside the target and renames it over the
// target, so a crash leaves either the old or the new file, never a torn one.
// The data is flushed before the rename and the folder after it, so a power
// cut after a save cannot bring the old file back. The temporary file is
// TemporaryNameFor(target), made with O_EXCL. error, when given, receives the
// cause of a failure.
bool writeFileAtomic(const std::string& path, std::string_view data,
                     std::error_code* error = nullptr);

// "." + name + ".tmp-" + six random letters or digits: dot-prefixed, so that
// the file service never lists or serves a half-written file.
std::string TemporaryNameFor(std::string_view name);
// Creates TemporaryNameFor(target's name) beside target with O_EXCL, open
// for writing; the descriptor, or -1 with errno set. tempPath receives its path.
int createTemporaryFile(const std::string& target, std::string* tempPath);
// True for a file name that an interrupted atomic write leaves behind: the
// form above, or the "<name>.tmpNNNNNN" of earlier builds (".tmp" and one to
// six digits, as those builds did not pad the number).
bool isTemporaryLeftover(std::string_view name);
// The name whose write left name behind; nothing when it is no leftover.
std::optional<std::string_view> temporaryLeftoverOf(std::string_view name);
// Removes the regular files in folder (not below it) that isTemporaryLeftover
// names. Given ownNames, only leftovers of those: a folder that is not ours
// alone may hold the user's own "thesis.tmp1". Returns how many were removed.
int removeTemporaryLeftovers(const std::string& folder,
                             std::span<const std::string_view> ownNames = {});

// "." + name + ".part-" + six random letters or digits: where an output that
// takes long to make (a conversion) grows until it is complete, hidden from
// the file service and from a user looking for the finished file.
std::string PartialNameFor(std::string_view name);
// Creates PartialNameFor(target's name) beside target with O_EXCL, mode
// 0644; the open descriptor, or -1 with errno set. partialPath receives its path.
int createPartialFile(const std::string& target, std::string* partialPath);
// True for a name of that form.
bool isPartialLeftover(std::string_view name);
// Removes the regular files in folder (not below it) that isPartialLeftover
// names. Returns how many were removed.
int removePartialLeftovers(const std::string& folder);
// Flushes a complete partial file and renames it to target, unless target
// exists; then flushes the folder. 0, or the errno (EEXIST when target exists).
int commitPartialFile(const std::string& partialPath, const std::string& target);
// An existing folder this process may create files in.
bool isWritableFolder(const std::string& path);

// Creates and removes a temporary file in folder: 0 when the folder can be
// written, else the errno of the failure.
int probeWritableFolder(const std::string& folder);

bool removeFile(const std::string& path);

// A file held open for reading, closed with the object. alias() names the
// same file in ASCII (/proc/self/fd/N), for a library that opens files only
// by names it can decode; "" when the file could not be opened.
class OpenedForReading {
public:
    explicit OpenedForReading(const std::string& path);
    ~OpenedForReading();
    OpenedForReading(const OpenedForReading&) = delete;
    OpenedForReading& operator=(const OpenedForReading&) = delete;

    std::string alias() const;

private:
    int fd_;
};

// The bytes an unprivileged writer may still put on the file system that
// holds path (a file or folder); nullopt when it cannot be asked.
std::optional<std::uint64_t> availableDiskSpace(const std::string& path);

// A file's modification time in nanoseconds since the epoch; nullopt when it
// cannot be read.
std::optional<std::int64_t> modificationTime(const std::string& path);
// Sets it (the access time too); false when it cannot be set.
bool setModificationTime(const std::string& path, std::int64_t nanoseconds);

// The path with each run of '/' made one and each "." component dropped
// ("a//b/./c" -> "a/b/c"); ".." stays, since a link may stand before it.
std::string normalizedPath(std::string_view path);

// The text before the last '/', or "" when there is none.
std::string parentFolder(const std::string& path);
// The text after the last '/', or the whole text when there is none.
std::string fileNamePart(const std::string& path);

}  // namespace zorvex
