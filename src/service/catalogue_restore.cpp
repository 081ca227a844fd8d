#include "service/catalogue_restore.h"

#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/file_util.h"
#include "platform/home_layout.h"
#include "service/catalogue_list.h"
#include "service/link_file.h"
#include "service/link_frame.h"
#include "service/shared_catalogue.h"

namespace zorvex {

namespace {

// For the log: what the file holds instead of a link file.
std::string damageOf(const std::string& path) {
    std::string head = readFileHead(path, kLinkFileReadLimit).value_or("");
    std::string size = std::to_string(head.size()) + " bytes";
    if (head.empty()) return "empty";
    if (head.find_first_not_of('\0') == std::string::npos) return size + ", all zero";
    if (auto record = parseLinkFile(head)) return "written for the key " + record->key;
    if (head.compare(0, 4, wire::kMagic, 4) == 0) return "a broken link file, " + size;
    return "not a link file, " + size;
}

}  // namespace

int LoadCatalogueFromDisk(SharedCatalogue& catalogue, const std::string& home,
                          const DamagedLinkFileHandler& onDamaged) {
    const HomeLayout layout(home);
    DIR* folder = ::opendir(layout.documentRoot().c_str());
    if (!folder) return 0;
    std::vector<std::pair<std::int64_t, std::string>> files;  // modified, name
    // readdir races only on a shared stream; this one is ours alone.
    while (dirent* item = ::readdir(folder)) {  // NOLINT(concurrency-mt-unsafe)
        std::string name = item->d_name;
        if (name == "." || name == ".." || name.size() != 32) continue;
        if (item->d_type == DT_DIR) continue;
        files.emplace_back(modificationTime(layout.linkFile(name)).value_or(0), std::move(name));
    }
    ::closedir(folder);
    // The folder's own order is the file system's (a hash on ext4): the
    // times the last shutdown stamped, or those of the adds, keep the
    // user's order from one start to the next.
    std::sort(files.begin(), files.end());
    for (const auto& [modified, key] : files) {
        if (catalogue.loadLinkFile(key) != LinkFileLoad::Damaged || !onDamaged) continue;
        std::string file = layout.linkFile(key), thumbnail = layout.thumbnail(key);
        onDamaged({file, damageOf(file), fileExists(thumbnail) ? thumbnail : ""});
    }
    return static_cast<int>(files.size());
}

}  // namespace zorvex
