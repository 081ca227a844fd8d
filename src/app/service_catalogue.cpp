#include "app/service_catalogue.h"

#include "service/link_file.h"
#include "service/service.h"

namespace zorvex {

static_assert(Catalogue::kSourceList == LIST_SOURCE);
static_assert(Catalogue::kConvertedList == LIST_CONVERTED);
static_assert(Catalogue::kListCapacity == kListCapacity);
static_assert(Catalogue::kMaxPathBytes == kMaxPathBytes);
static_assert(Catalogue::kAddNotSaved == ADD_NOT_SAVED);

ServiceCatalogue::ServiceCatalogue(Service& service) : shared_(service.catalogue()) {}

int ServiceCatalogue::addFile(const std::string& path, int type, std::string* key) {
    return shared_.addFile(path, type, key);
}

void ServiceCatalogue::removeFile(int type, const std::string& path) {
    shared_.removeFile(type, path);
}

std::vector<Catalogue::Entry> ServiceCatalogue::entries(int type) {
    std::vector<CatalogueEntry> all = shared_.entries(type);
    std::vector<Entry> copies;
    copies.reserve(all.size());
    for (CatalogueEntry& entry : all) {
        copies.push_back({std::move(entry.path), std::move(entry.key), std::move(entry.name)});
    }
    return copies;
}

}  // namespace zorvex
