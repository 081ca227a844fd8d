#pragma once

#include <string>

namespace zorvex {

class Service;

// Restores the catalogue from every file in <home>/file_root whose name could
// be a key, oldest modification first (the order the last shutdown stamped).
// Returns how many files were offered to the service.
int LoadCatalogueFromDisk(Service& service, const std::string& home);

}  // namespace zorvex
