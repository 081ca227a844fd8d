#include "service/shared_catalogue.h"

#include <chrono>
#include <utility>

#include "platform/file_util.h"
#include "platform/md5.h"
#include "service/console.h"
#include "service/link_file.h"

namespace zorvex {

SharedCatalogue::SharedCatalogue(std::string home)
    : home_(std::move(home)),
      source_(LIST_SOURCE, home_.home()),
      converted_(LIST_CONVERTED, home_.home()) {
    makePath(home_.thumbnailFolder());  // and the link files' folder
    linkAlarm_.emplace(home_.documentRoot(), [this] {
        std::lock_guard lock(mutex_);
        relink();
    });
}

SharedCatalogue::~SharedCatalogue() {
    std::lock_guard lock(mutex_);
    // One sequence over both lists: the restore sorts all link files by it.
    std::int64_t stamp = std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
    source_.saveAndClear(stamp);
    converted_.saveAndClear(stamp);
}

CatalogueList* SharedCatalogue::list(int type) {
    if (type == LIST_SOURCE) return &source_;
    if (type == LIST_CONVERTED) return &converted_;
    return nullptr;
}

int SharedCatalogue::addFile(const std::string& path, int type, std::string* key) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ADD_REJECTED;
    std::string name = path.substr(slash + 1);
    // A long name is no reason to refuse: phones are shown it shortened.
    if (name.empty() || path.size() > kMaxPathBytes) return ADD_REJECTED;
    CatalogueList* target = list(type);
    if (!target) return ADD_REJECTED;
    std::size_t& pending = pendingAdds_[type - 1];
    {
        // The place is taken under the lock, so concurrent adds can never
        // push a list past its capacity.
        std::lock_guard lock(mutex_);
        if (target->count() + pending >= kListCapacity) return ADD_FULL;
        ++pending;
    }
    CatalogueEntry entry;
    entry.type = type;
    entry.name = std::move(name);
    entry.key = md5Hex(path);
    entry.path = path;
    std::error_code error;
    // Listed without its link file, the share would vanish at the next start
    // while phones and the user took it as made.
    if (!saveLinkFile(home_, entry, &error)) {  // also tests the file and its thumbnail
        consolePrintf("%s not shared: its link file cannot be written (%s)\n", path.c_str(),
                      error.message().c_str());
        std::lock_guard lock(mutex_);
        --pending;
        return ADD_NOT_SAVED;
    }
    if (key) *key = entry.key;

    std::lock_guard lock(mutex_);
    --pending;
    shared_[entry.key] = {entry.path, true};
    target->append(std::move(entry));
    return ADD_OK;
}

LinkFileLoad SharedCatalogue::loadLinkFile(const std::string& key) {
    if (!isCatalogueKey(key)) return LinkFileLoad::NotAKey;
    std::string file = home_.linkFile(key);
    auto bytes = readFileHead(file, kLinkFileReadLimit);
    if (!bytes) return LinkFileLoad::Unreadable;
    auto record = parseLinkFile(*bytes);
    // A record for another key would be saved under that key at shutdown
    // and leave this file behind for ever.
    if (!record || record->key != key) {
        consolePrintf("skipped damaged link file %s\n", file.c_str());
        return LinkFileLoad::Damaged;
    }
    CatalogueList* target = list(record->type);
    CatalogueEntry entry;
    entry.type = record->type;
    entry.exists = record->exists;
    entry.hasThumbnail = record->hasThumbnail;
    entry.name = std::move(record->name);
    entry.key = std::move(record->key);
    entry.path = std::move(record->path);

    std::lock_guard lock(mutex_);
    if (target->count() + pendingAdds_[record->type - 1] >= kListCapacity) {
        consolePrintf("list %d is full, link file %s left on disk\n", record->type, file.c_str());
        return LinkFileLoad::ListFull;
    }
    shared_[entry.key] = {entry.path, true};
    target->append(std::move(entry));
    return LinkFileLoad::Restored;
}

void SharedCatalogue::removeFile(int type, const std::string& path) {
    CatalogueList* target = list(type);
    if (!target) return;
    std::lock_guard lock(mutex_);
    if (auto key = target->remove(path)) shared_.erase(*key);
}

std::vector<CatalogueEntry> SharedCatalogue::entries(int type) {
    CatalogueList* target = list(type);
    if (!target) return {};
    std::lock_guard lock(mutex_);
    return target->entries();
}

bool SharedCatalogue::nextEntry(int type, CatalogueEntry& out) {
    CatalogueList* target = list(type);
    if (!target) return false;
    // The link thread re-tests the entries' flags while the library walks.
    std::lock_guard lock(mutex_);
    return target->nextEntry(out);
}

std::optional<std::string> SharedCatalogue::find(std::string_view key) {
    std::lock_guard lock(mutex_);
    if (!linkAlarm_->live()) relink();  // no one tells: every look-up looks
    auto found = shared_.find(std::string(key));
    if (found == shared_.end() || !found->second.linked) return std::nullopt;
    return found->second.path;
}

void SharedCatalogue::relink() {
    for (auto& [key, file] : shared_) file.linked = fileExists(home_.linkFile(key));
}

std::optional<std::uint64_t> SharedCatalogue::refresh(int type, FileStatusChangeListener* listener,
                                                      std::uint64_t known,
                                                      std::vector<CatalogueEntry>& entries) {
    CatalogueList* target = list(type);
    if (!target) return std::nullopt;
    std::lock_guard lock(mutex_);
    target->refresh(listener);
    if (target->version() != known) entries = target->entries();
    return target->version();
}

}  // namespace zorvex
