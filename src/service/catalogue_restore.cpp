#include "service/catalogue_restore.h"

#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/file_util.h"
#include "service/service.h"

namespace zorvex {

int LoadCatalogueFromDisk(Service& service, const std::string& home) {
    const std::string root = home + "/file_root/";
    DIR* folder = ::opendir(root.c_str());
    if (!folder) return 0;
    std::vector<std::pair<std::int64_t, std::string>> files;  // modified, name
    // readdir races only on a shared stream; this one is ours alone.
    while (dirent* item = ::readdir(folder)) {  // NOLINT(concurrency-mt-unsafe)
        std::string name = item->d_name;
        if (name == "." || name == ".." || name.size() != 32) continue;
        if (item->d_type == DT_DIR) continue;
        files.emplace_back(modificationTime(root + name).value_or(0), std::move(name));
    }
    ::closedir(folder);
    // The folder's own order is the file system's (a hash on ext4): the
    // times the last shutdown stamped, or those of the adds, keep the
    // user's order from one start to the next.
    std::sort(files.begin(), files.end());
    for (const auto& file : files) service.loadLinkFile(file.second);
    return static_cast<int>(files.size());
}

}  // namespace zorvex
