#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zorvex {

// The shared-file catalogue as the library sees it: the LAN service's two
// lists, which app/ connects it to. Every call takes the catalogue's lock
// itself and may come from any thread (cards register from their workers).
class Catalogue {
public:
    // The catalogue's list numbers, as phones ask for them.
    static constexpr int kSourceList = 1;
    static constexpr int kConvertedList = 2;
    // What one list takes: beyond it, or with a longer path, a path is
    // refused. Names are not limited: phones are shown long ones shortened.
    static constexpr std::size_t kListCapacity = 35;
    static constexpr std::size_t kMaxPathBytes = 1023;
    // addFile's result when the share could not be stored (a full disk).
    static constexpr int kAddNotSaved = 3;

    struct Entry {
        std::string path;
        std::string key;   // the catalogue key: md5 of the path
        std::string name;  // the path after its last '/', whole
    };

    virtual ~Catalogue() = default;
    // Shares path in list 1 or 2; key receives its catalogue key, and stays
    // untouched when the catalogue refuses the path (list full, path too
    // long, its link file not written). Returns the catalogue's result code.
    virtual int addFile(const std::string& path, int type, std::string* key) = 0;
    // Drops the first entry of the list with exactly this path.
    virtual void removeFile(int type, const std::string& path) = 0;
    // A walk of one list: a copy of its entries in catalogue order.
    virtual std::vector<Entry> entries(int type) = 0;
};

}  // namespace zorvex
