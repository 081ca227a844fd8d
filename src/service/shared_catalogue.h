#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/folder_watch.h"
#include "platform/home_layout.h"
#include "service/catalogue_list.h"

namespace zorvex {

// ADD_NOT_SAVED: the link file could not be written (a full disk), so the
// share would not outlive this run; nothing was added.
enum AddResult { ADD_OK = 0, ADD_FULL = 1, ADD_REJECTED = 2, ADD_NOT_SAVED = 3 };

enum class LinkFileLoad {
    Restored,
    NotAKey,     // the name is not 32 lowercase hex digits: not one of ours
    Unreadable,  // missing, or it cannot be opened
    Damaged,     // not a link file, or one for another key
    ListFull,
};

// The two shared lists with their link files (file_root/<key>) and
// thumbnails: what is shared, whatever protocol or transport tells phones
// about it. The link files stay the record on disk, for restarts and other
// tools; HTTP finds a key here instead of reading its link file.
//
// Threads: every method may be called from any thread; each takes the
// catalogue mutex, which stays inside. At destruction every link file is
// rewritten and stamped in list order, for the next start's restore.
class SharedCatalogue {
public:
    // home: the home folder; thumbnails' folder is created here.
    explicit SharedCatalogue(std::string home);
    ~SharedCatalogue();
    SharedCatalogue(const SharedCatalogue&) = delete;
    SharedCatalogue& operator=(const SharedCatalogue&) = delete;

    const HomeLayout& home() const { return home_; }

    // Shares a file in list 1 or 2 and writes its link file; key receives
    // md5Hex(path). ADD_REJECTED for a path without '/', an empty name, a
    // path over kMaxPathBytes, or another type; ADD_FULL when the list holds
    // 35; ADD_NOT_SAVED when its link file cannot be written. key is set
    // only on ADD_OK. The entry keeps the whole name; phones are shown
    // phoneName of it.
    int addFile(const std::string& path, int type, std::string* key);
    // Restores one entry from its link file. Damaged files (unreadable as a
    // link file, or naming another key) and those beyond a list's capacity
    // are skipped and stay on disk; the caller decides what becomes of them.
    LinkFileLoad loadLinkFile(const std::string& key);
    // Drops the first entry of list 1 or 2 with exactly this path, with its
    // link file and thumbnail (never the shared file).
    void removeFile(int type, const std::string& path);
    // A walk over one list, as CatalogueList::nextEntry.
    bool nextEntry(int type, CatalogueEntry& out);
    // A copy of one list in catalogue order; empty for another type.
    std::vector<CatalogueEntry> entries(int type);

    // The shared file a key leads to while its link file is in place; nullopt
    // for a key not shared here (its file_root entry, if any, is then served
    // as what it is). Whether the file is there is the caller's to find out.
    std::optional<std::string> find(std::string_view key);

    // Re-tests one list's flags when they may have changed (the listener
    // hears of each change, under the catalogue mutex) and gives the list's
    // version, which moves on with every add, remove and flag change;
    // entries receives the list when that is not `known`. nullopt for
    // another type.
    std::optional<std::uint64_t> refresh(int type, FileStatusChangeListener* listener,
                                         std::uint64_t known, std::vector<CatalogueEntry>& entries);

private:
    CatalogueList* list(int type);
    void relink();  // the caller holds mutex_
    struct SharedFile {
        std::string path;
        bool linked = true;  // its link file is on disk
    };

    // constant after construction
    const HomeLayout home_;

    std::mutex mutex_;
    // guarded by mutex_
    CatalogueList source_;
    CatalogueList converted_;
    std::size_t pendingAdds_[2] = {0, 0};                 // addFile calls holding a place in a list
    std::unordered_map<std::string, SharedFile> shared_;  // by key

    // A link file deleted behind the catalogue's back hides its video until
    // it is back, as when HTTP read the file itself; told by the alarm's
    // thread, so that a look-up makes no system call. Set in the
    // constructor, once the folder is there; the first member destroyed.
    std::optional<FolderAlarm> linkAlarm_;
};

}  // namespace zorvex
