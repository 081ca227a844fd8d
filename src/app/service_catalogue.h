#pragma once

#include "library/catalogue.h"

namespace zorvex {

class Service;

// The library's catalogue over the LAN service's two lists. Not owned: the
// service outlives every library that uses this.
class ServiceCatalogue final : public Catalogue {
public:
    explicit ServiceCatalogue(Service& service) : service_(service) {}

    int addFile(const std::string& path, int type, std::string* key) override;
    void removeFile(int type, const std::string& path) override;
    std::vector<Entry> entries(int type) override;

private:
    Service& service_;
};

}  // namespace zorvex
