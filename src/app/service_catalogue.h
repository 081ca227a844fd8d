#pragma once

#include "library/catalogue.h"

namespace zorvex {

class Service;
class SharedCatalogue;

// The library's catalogue over the LAN service's shared catalogue. Not
// owned: the service outlives every library that uses this.
class ServiceCatalogue final : public Catalogue {
public:
    explicit ServiceCatalogue(Service& service);

    int addFile(const std::string& path, int type, std::string* key) override;
    void removeFile(int type, const std::string& path) override;
    std::vector<Entry> entries(int type) override;

private:
    SharedCatalogue& shared_;
};

}  // namespace zorvex
