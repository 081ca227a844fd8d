// zorvex-bench-home: a home folder holding two full lists for the
// benchmarks, every video a copy of one small sample video (the library
// drops entries that MediaInfo cannot examine). List 2 is written as link
// files that the service restores at start; list 1's videos are printed, one
// path a line, to be given to --share. The service makes the thumbnails.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/file_util.h"
#include "platform/home_layout.h"
#include "platform/md5.h"
#include "service/catalogue_list.h"
#include "service/link_file.h"

namespace {

const char* kUsage =
    "usage: zorvex-bench-home --home DIR --videos DIR --sample VIDEO [--count N]\n";

}  // namespace

int main(int argc, char** argv) {
    std::string home;
    std::string videos;
    std::string sample;
    int count = static_cast<int>(zorvex::kListCapacity);
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--home") == 0) {
            home = argv[i + 1];
        } else if (std::strcmp(argv[i], "--videos") == 0) {
            videos = argv[i + 1];
        } else if (std::strcmp(argv[i], "--sample") == 0) {
            sample = argv[i + 1];
        } else if (std::strcmp(argv[i], "--count") == 0) {
            count = std::atoi(argv[i + 1]);
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (home.empty() || videos.empty() || videos[0] != '/' || sample.empty() || count < 1 ||
        count > static_cast<int>(zorvex::kListCapacity) || argc % 2 == 0) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    auto bytes = zorvex::readWholeFile(sample);
    if (!bytes) {
        std::fprintf(stderr, "zorvex-bench-home: cannot read %s\n", sample.c_str());
        return 1;
    }
    if (!zorvex::makeDirectories(zorvex::HomeLayout(home).thumbnailFolder()) ||
        !zorvex::makeDirectories(videos)) {
        std::fprintf(stderr, "zorvex-bench-home: cannot create the folders\n");
        return 1;
    }
    for (int type : {zorvex::LIST_SOURCE, zorvex::LIST_CONVERTED}) {
        for (int n = 1; n <= count; ++n) {
            // Names of a realistic length, well inside the 60-byte limit.
            char name[64];
            std::snprintf(name, sizeof name, "list%d-benchmark-video-number-%02d.mp4", type, n);
            std::string path = videos + "/" + name;
            bool ok = zorvex::writeFileAtomic(path, *bytes);
            if (ok && type == zorvex::LIST_CONVERTED) {
                std::string key = zorvex::md5Hex(path);
                zorvex::LinkFileRecord record{type, true, false, name, key, path};
                ok = zorvex::writeFileAtomic(zorvex::HomeLayout(home).linkFile(key),
                                             zorvex::encodeLinkFile(record));
            }
            if (!ok) {
                std::fprintf(stderr, "zorvex-bench-home: cannot write %s\n", path.c_str());
                return 1;
            }
            if (type == zorvex::LIST_SOURCE) std::printf("%s\n", path.c_str());
        }
    }
    return 0;
}
