#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/folder_watch.h"
#include "platform/home_layout.h"

namespace zorvex {

inline constexpr int LIST_SOURCE = 1;
inline constexpr int LIST_CONVERTED = 2;
inline constexpr std::size_t kListCapacity = 35;
// The most a name takes in a list body, in GBK bytes: 30 Chinese characters.
inline constexpr std::size_t kMaxPhoneNameBytes = 60;

// Told when a re-test finds that a shared file or its thumbnail appeared
// or vanished. Called on the link thread with the catalogue mutex held, so an
// implementation must only hand the news on, never block.
class FileStatusChangeListener {
public:
    virtual ~FileStatusChangeListener() = default;
    virtual void onFileStatusChanged(int type, bool exists, bool hasThumbnail,
                                     const std::string& name, const std::string& key,
                                     const std::string& path) = 0;
};

struct CatalogueEntry {
    int type = 0;
    bool exists = false;
    bool hasThumbnail = false;
    std::string name;  // the path after its last '/', whole; phones get phoneName(name)
    std::string key;   // md5Hex of the path
    std::string path;
};

// The name phones are shown for a file name: GBK, as phones made for
// Chinese Windows decode it ('?' for what GBK lacks and for broken UTF-8),
// within kMaxPhoneNameBytes. A longer one is cut at a character and keeps
// its extension behind "…". Phones fetch by key, so the name is only shown.
std::string phoneName(std::string_view fileName);

// True if the file system reports the path, file or folder.
bool fileExists(const std::string& path);
// The exists flag of a shared file: true only when the file service can
// serve it (a regular file this process may read), so that phones are
// never shown a video that a fetch then answers with 404.
bool fileServable(const std::string& path);
// Creates the folder with every missing parent; true when it exists afterwards.
bool makePath(const std::string& folder);

// Writes the entry's link file after re-testing its flags. False when it was
// not written: the entry lacks a name, a path or a proper key (EINVAL), or
// the file could not be written (a full disk); error receives the cause.
bool saveLinkFile(const HomeLayout& home, CatalogueEntry& entry, std::error_code* error = nullptr);

// One list of the catalogue. Not thread-safe: SharedCatalogue guards every
// list with its mutex.
class CatalogueList {
public:
    // home: the home folder, whose layout places the link files and thumbnails.
    CatalogueList(int type, std::string home);
    CatalogueList(const CatalogueList&) = delete;
    CatalogueList& operator=(const CatalogueList&) = delete;

    int type() const { return type_; }
    std::uint32_t count() const { return static_cast<std::uint32_t>(entries_.size()); }
    // Moves on with every add, remove and flag change.
    std::uint64_t version() const { return version_; }
    const std::vector<CatalogueEntry>& entries() const { return entries_; }

    void append(CatalogueEntry entry);

    // Drops the first entry with exactly this path, with its link file and
    // thumbnail; the shared file itself stays. Returns the entry's key.
    std::optional<std::string> remove(const std::string& path);

    // Re-tests every entry's flags when they may have changed; the listener
    // hears of each change.
    void refresh(FileStatusChangeListener* listener);

    // A walk: true with the next entry copied out, false at the end, after
    // which the next call starts again from the head.
    bool nextEntry(CatalogueEntry& out);

    // Rewrites every entry's link file, then empties the list. The files'
    // modification times are set to stamp, stamp + 1 µs, ... in list order
    // (stamp moves on), so that the next start restores the same order.
    void saveAndClear(std::int64_t& stamp);

private:
    // True when a flag changed.
    bool retest(CatalogueEntry& entry);

    // constant after construction
    const int type_;
    const HomeLayout home_;

    std::vector<CatalogueEntry> entries_;
    // The flags are re-tested when a watched folder (a video's or the
    // thumbnails') saw a file come or go, and at least once a second for
    // folders that report nothing (network shares); not on every request,
    // which with 64 phones would stat every file thousands of times a second.
    FolderWatch folders_;
    std::chrono::steady_clock::time_point nextCheck_{};
    std::size_t cursor_ = 0;
    bool rewind_ = true;
    std::uint64_t version_ = 0;
};

}  // namespace zorvex
