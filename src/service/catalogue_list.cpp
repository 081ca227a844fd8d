#include "service/catalogue_list.h"

#include "platform/file_util.h"
#include "platform/gbk_text.h"
#include "service/link_file.h"

namespace zorvex {

std::string phoneName(std::string_view fileName) {
    static constexpr std::string_view kEllipsis = "\xA1\xAD";  // "…" in GBK
    std::string name = utf8ToGbk(fileName);
    if (name.size() <= kMaxPhoneNameBytes) return name;
    // No trail byte of GBK is a '.', so the last one is the extension's.
    // An extension that leaves no room for a character before it is not kept.
    std::string_view extension;
    std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0 &&
        name.size() - dot + kEllipsis.size() + 2 <= kMaxPhoneNameBytes) {
        extension = std::string_view(name).substr(dot);
    }
    const std::size_t room = kMaxPhoneNameBytes - kEllipsis.size() - extension.size();
    std::size_t end = 0;
    while (end < name.size()) {
        std::size_t length = isGbkLeadByte(static_cast<unsigned char>(name[end])) ? 2 : 1;
        if (end + length > room) break;
        end += length;
    }
    std::string shortened = name.substr(0, end);
    shortened += kEllipsis;
    shortened += extension;
    return shortened;
}

bool fileExists(const std::string& path) {
    return pathExists(path);
}

bool fileServable(const std::string& path) {
    return isReadableFile(path);
}

bool makePath(const std::string& folder) {
    return makeDirectories(folder);
}

bool saveLinkFile(const HomeLayout& home, CatalogueEntry& entry, std::error_code* error) {
    if (entry.name.empty() || entry.path.empty() || entry.key.size() != 32) {
        if (error) *error = std::make_error_code(std::errc::invalid_argument);
        return false;
    }
    entry.exists = fileServable(entry.path);
    entry.hasThumbnail = fileExists(home.thumbnail(entry.key));
    LinkFileRecord record{entry.type, entry.exists, entry.hasThumbnail,
                          entry.name, entry.key,    entry.path};
    std::string bytes = encodeLinkFile(record);
    std::string target = home.linkFile(entry.key);
    if (writeFileAtomic(target, bytes, error)) return true;
    std::error_code folderError;
    if (!makeDirectories(parentFolder(target), &folderError)) {
        if (error) *error = folderError;
        return false;
    }
    return writeFileAtomic(target, bytes, error);
}

CatalogueList::CatalogueList(int type, std::string home) : type_(type), home_(std::move(home)) {}

void CatalogueList::append(CatalogueEntry entry) {
    folders_.watch(parentFolder(entry.path));
    folders_.watch(home_.thumbnailFolder());
    entries_.push_back(std::move(entry));
    ++version_;
    nextCheck_ = {};  // a restored entry's flags are as old as its link file
}

std::optional<std::string> CatalogueList::remove(const std::string& path) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->path != path) continue;
        std::string link = home_.linkFile(it->key);
        std::string thumbnail = home_.thumbnail(it->key);
        if (fileExists(link)) removeFile(link);
        if (fileExists(thumbnail)) removeFile(thumbnail);
        std::size_t index = static_cast<std::size_t>(it - entries_.begin());
        if (index < cursor_) --cursor_;  // a walk in progress keeps its place
        std::string key = std::move(it->key);
        entries_.erase(it);
        ++version_;
        nextCheck_ = {};
        return key;
    }
    return std::nullopt;
}

bool CatalogueList::retest(CatalogueEntry& entry) {
    if (entry.name.empty() || entry.key.size() != 32) return false;
    bool changed = false;
    bool exists = fileServable(entry.path);
    bool hasThumbnail = fileExists(home_.thumbnail(entry.key));
    if (exists != entry.exists) {
        entry.exists = exists;
        changed = true;
    }
    if (hasThumbnail != entry.hasThumbnail) {
        entry.hasThumbnail = hasThumbnail;
        changed = true;
    }
    return changed;
}

void CatalogueList::refresh(FileStatusChangeListener* listener) {
    constexpr auto kCheckInterval = std::chrono::seconds(1);
    auto now = std::chrono::steady_clock::now();
    // Drained first: a file removed before the request shows in this answer.
    if (!folders_.changed() && now < nextCheck_) return;
    nextCheck_ = now + kCheckInterval;
    for (CatalogueEntry& entry : entries_) {
        if (!retest(entry)) continue;
        // A change renews the phones' stamps even when nobody listens.
        ++version_;
        if (listener)
            listener->onFileStatusChanged(entry.type, entry.exists, entry.hasThumbnail, entry.name,
                                          entry.key, entry.path);
    }
}

bool CatalogueList::nextEntry(CatalogueEntry& out) {
    if (rewind_) {
        rewind_ = false;
        cursor_ = 0;
    }
    if (cursor_ >= entries_.size()) {
        rewind_ = true;
        return false;
    }
    out = entries_[cursor_++];
    return true;
}

void CatalogueList::saveAndClear(std::int64_t& stamp) {
    for (CatalogueEntry& entry : entries_) {
        saveLinkFile(home_, entry);
        setModificationTime(home_.linkFile(entry.key), stamp);
        stamp += 1000;
    }
    entries_.clear();
    ++version_;
    nextCheck_ = {};
    cursor_ = 0;
    rewind_ = true;
}

}  // namespace zorvex
