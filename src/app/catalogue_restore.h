#pragma once

#include <string>

namespace zorvex {

class Service;

// Restores the catalogue from every file in <home>/file_root whose name could
// be a key, in the order of the folder enumeration. Returns how many files
// were offered to the service.
int LoadCatalogueFromDisk(Service& service, const std::string& home);

}  // namespace zorvex
