#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zorvex {

// True if the file system reports the path, file or folder.
bool pathExists(const std::string& path);
bool isRegularFile(const std::string& path);
bool isDirectory(const std::string& path);

// Creates the folder and every missing parent; true if it exists afterwards.
bool makeDirectories(const std::string& path);

// Reads at most maxBytes from the start of the file; nullopt if it cannot be opened.
std::optional<std::string> readFileHead(const std::string& path, std::size_t maxBytes);
std::optional<std::string> readWholeFile(const std::string& path);

// Writes to a temporary file beside the target and renames it over the
// target, so a crash leaves either the old or the new file, never a torn one.
bool writeFileAtomic(const std::string& path, std::string_view data);

bool removeFile(const std::string& path);

// The text before the last '/', or "" when there is none.
std::string parentFolder(const std::string& path);
// The text after the last '/', or the whole text when there is none.
std::string fileNamePart(const std::string& path);

}  // namespace zorvex
