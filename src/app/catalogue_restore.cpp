#include "app/catalogue_restore.h"

#include <dirent.h>

#include "service/service.h"

namespace zorvex {

int LoadCatalogueFromDisk(Service& service, const std::string& home) {
    std::string root = home + "/file_root";
    DIR* folder = ::opendir(root.c_str());
    if (!folder) return 0;
    int offered = 0;
    // readdir races only on a shared stream; this one is ours alone.
    while (dirent* item = ::readdir(folder)) {  // NOLINT(concurrency-mt-unsafe)
        std::string name = item->d_name;
        if (name == "." || name == ".." || name.size() != 32) continue;
        if (item->d_type == DT_DIR) continue;
        service.loadLinkFile(name);
        ++offered;
    }
    ::closedir(folder);
    return offered;
}

}  // namespace zorvex
