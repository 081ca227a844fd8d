#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

#include "service/catalogue_list.h"
#include "service/client_table.h"

namespace zorvex {

class SharedCatalogue;

// Protocol 1 of the phone link: request frames in, list responses out, over
// the catalogue's lists. The lists' wire forms (names in GBK) are kept here
// and laid out again only for what changed; so is each connection's list
// stamp, renewed for every phone when a list changes. A second protocol
// would sit beside this one, over the same catalogue.
//
// Threads: parse runs on the link thread; buildListResponse and attach may
// come from any thread, serialised inside.
class PhoneProtocol final : public ParserHandler {
public:
    explicit PhoneProtocol(SharedCatalogue& catalogue) : catalogue_(catalogue) {}
    PhoneProtocol(const PhoneProtocol&) = delete;
    PhoneProtocol& operator=(const PhoneProtocol&) = delete;

    // Not owned; set before the link runs. Called on the link thread with
    // the catalogue's mutex held.
    void setListener(FileStatusChangeListener* listener) { listener_ = listener; }
    // The table of phones that hear of changes, null while none runs. A
    // change made meanwhile is told to the next table's phones.
    void attach(ClientTable* clients);

    void parse(ClientSlot& slot, int length) override;
    // The response laid out for a list request, or empty for an unknown type.
    std::string buildListResponse(int type, ClientSlot& slot, std::uint32_t requestStamp);

private:
    struct WireForm {
        bool exists = false;
        bool hasThumbnail = false;
        std::string name;  // whole, as the catalogue has it
        std::string wire;
    };
    struct ListBody {
        bool built = false;
        std::uint64_t version = 0;    // of the catalogue's list the body shows
        std::uint64_t announced = 0;  // the version phones' stamps were renewed for
        std::string body;             // count and wire forms
        std::unordered_map<std::string, WireForm> forms;  // by key
    };
    struct Stamp {
        std::uint64_t connection = 0;  // the slot's connection it was given to
        std::uint32_t value = 0;
    };

    // Lays the body out again when the catalogue's list moved on.
    void refreshLocked(int type, ListBody& list);
    std::uint32_t& stampLocked(const ClientSlot& slot);
    // The clock's stamp, moved on until no open connection holds it.
    std::uint32_t freshStampLocked();

    SharedCatalogue& catalogue_;
    FileStatusChangeListener* listener_ = nullptr;

    std::mutex mutex_;
    // guarded by mutex_
    ClientTable* clients_ = nullptr;
    ListBody lists_[2];
    std::unordered_map<const ClientSlot*, Stamp> stamps_;
};

}  // namespace zorvex
