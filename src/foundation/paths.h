#pragma once

#include <string>

#include "foundation/home_folder.h"

namespace zorvex {

// The working folders below the home folder, as start-up prepares them from
// the settings. Set on the starting thread before the workers start and only
// read afterwards; a mutex guards them all the same, so the getters may be
// called from any thread.

// Whether the home folder and the document root can be used; when not, one
// line naming the path and the reason, for the console or a message box.
struct StorageStatus {
    bool ok = true;
    std::string message;
    explicit operator bool() const { return ok; }
};

// Start-up, before the old logs are removed and the log thread and the LAN
// service start: makes homeDir the module directory (creating it), removes
// what interrupted atomic writes left there, loads the settings (creating
// config.ini on a first start), records the conversion and download folders
// and creates them when they are the default ones (clearing the download
// folder of an interrupted download, and each folder conversions were ever
// written into of the partial outputs a crash left), then the document root
// (cleared of such leftovers too). Fails when the home folder or the
// document root cannot be created or written, or config.ini cannot be made.
StorageStatus InitWorkingDirectories(const std::string& homeDir);

// Stores fullPath as the conversion folder; with makeDefaultFolders creates
// the home's appData and appData/converted, one level each.
void SetConvertedDir(const std::string& fullPath, bool makeDefaultFolders);
// Creates home/file_root/ and home/file_root/image/; fails when either is no
// writable folder afterwards.
StorageStatus EnsureFileRootDirs();

// Where finished conversions go, as start-up found it: ConvertPath as
// written, or the default home + "/appData/converted/" (with its trailing
// '/') when the setting is not IsUsableConvertPath.
std::string GetConvertedDir();
// home + "/appData/download/", always with its trailing '/'.
std::string GetDownloadDir();

// Adds a folder a conversion is about to write into to the home's list
// (HomeLayout::conversionFolders) unless it is there; start-up removes the
// partial outputs a crash left in every folder of that list. Does nothing
// before a home folder is set. Any thread.
void RememberConversionFolder(const std::string& folder);

}  // namespace zorvex
