#include "app/headless_unshare.h"

#include <algorithm>

#include "platform/file_util.h"
#include "platform/mount_points.h"

namespace zorvex {

UnshareResult UnshareAtStart(VideoLibrary& library, const std::vector<std::string>& unshare) {
    UnshareResult result;
    std::vector<std::string> asked = unshare;
    // Earlier builds stored conversions as "converted//clip.mp4"; those
    // files stay as they are, so both sides are compared normalised.
    auto same = [](const std::string& stored) {
        return [wanted = normalizedPath(stored)](const std::string& path) {
            return normalizedPath(path) == wanted;
        };
    };
    bool any = false;
    library.SetAllChecked(false);
    for (const VIDEOINFO_ST& item : library.items()) {
        if (std::find_if(asked.begin(), asked.end(), same(item.path)) != asked.end()) {
            result.unshared.push_back(item.path);
            asked.erase(std::remove_if(asked.begin(), asked.end(), same(item.path)), asked.end());
        } else if (!pathIsAbsent(item.path)) {
            continue;
        } else if (DiskMayBeAbsent(parentFolder(item.path))) {
            result.kept.push_back(item.path);
            continue;
        } else {
            result.dropped.push_back(item.path);
        }
        item.card->setChecked(true);
        any = true;
    }
    result.notShared = std::move(asked);
    if (any) library.DeleteItems();
    return result;
}

}  // namespace zorvex
