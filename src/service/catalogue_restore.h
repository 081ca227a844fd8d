#pragma once

#include <functional>
#include <string>

namespace zorvex {

class SharedCatalogue;

// A file in file_root named like a key that is no link file (truncated,
// overwritten, or for another key).
struct DamagedLinkFile {
    std::string path;
    std::string problem;    // for the log
    std::string thumbnail;  // the thumbnail of its key, "" when there is none
};

// Told of each damaged link file; called on the restoring thread.
using DamagedLinkFileHandler = std::function<void(const DamagedLinkFile&)>;

// Restores the catalogue from every file in <home>/file_root whose name could
// be a key, oldest modification first (the order the last shutdown stamped).
// Damaged ones go to onDamaged, when given, and are otherwise left where
// they are. Returns how many files were offered to the service.
int LoadCatalogueFromDisk(SharedCatalogue& catalogue, const std::string& home,
                          const DamagedLinkFileHandler& onDamaged = {});

}  // namespace zorvex
