#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/home_layout.h"
#include "platform/net_interfaces.h"
#include "service/catalogue_list.h"
#include "service/client_table.h"
#include "service/http_file_server.h"
#include "service/phone_protocol.h"
#include "service/shared_catalogue.h"
#include "service/start_result.h"

namespace zorvex {

// One network the service serves: its address on this machine, where its
// discovery packets go, and the adapter's name for messages.
struct ServedAddress {
    std::string address;    // dotted text
    std::string broadcast;  // empty: the address's x.y.z.255
    std::string adapter;    // empty when unknown

    bool operator==(const ServedAddress&) const = default;
};

// The address as served: with its adapter's name, and the adapter's
// broadcast address when it can broadcast, when one of them holds it.
ServedAddress servedAddressFor(const std::string& address,
                               const std::vector<NetInterface>& adapters);

// One network's parts after a change: each listens there now, or says why not.
struct AddressStatus {
    ServedAddress where;
    PartStart link;
    PartStart http;
    bool ok() const { return link.running() && http.running(); }
};

// How the descriptors the process may open are shared out: the phones'
// link slots, every network's HTTP connections together at two descriptors
// per stream (its socket and the file), and a reserve for the rest
// (conversions, thumbnails, logs, stored files, each network's listeners).
struct DescriptorBudget {
    static constexpr std::size_t kReserve = 256;
    static constexpr std::size_t kPerStream = 2;
    static constexpr std::size_t kMinConnections = 16;
    static constexpr std::size_t kMaxConnections =
        1024;  // past this, memory rather than descriptors
    static constexpr std::size_t kMaxUnfinishedHeads = 256;

    std::size_t limit = 0;  // the process's soft limit
    std::size_t httpConnections = 0;
    std::size_t unfinishedHeads = 0;

    static DescriptorBudget of(std::size_t limit);
};

// The LAN service: the shared-file catalogue (SharedCatalogue), the phones'
// list requests, and its two parts on each IPv4 address it serves: the discovery/link thread
// (one for every network, with one table of 64 phones) and an HTTP server
// per address (libmicrohttpd), all run by the same few worker threads. Sockets are opened
// on the caller's thread, so a start reports what really listens.
//
// Threads: setAddress, start, stop and destruction belong to the owner's
// thread (the UI thread); they are also safe against each other from several
// threads. The catalogue and its operations (addFile, loadLinkFile,
// removeFile, nextEntry, entries) may be used from any thread. parse runs on
// the discovery/link thread.
class Service final {
public:
    // State bits: a part's run bit is set once its sockets are open and
    // cleared when it has stopped; the stop bits while stop waits for them.
    static constexpr std::uint32_t RUN_LINK = 1;
    static constexpr std::uint32_t RUN_HTTP = 2;
    static constexpr std::uint32_t STOP_LINK = 4;
    static constexpr std::uint32_t STOP_HTTP = 8;

    // root: the home folder; link files go to root/file_root, thumbnails to
    // root/file_root/image, which is created here.
    explicit Service(std::string root);
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Moves the service to the address and says, for each part, whether it
    // listens there now and why not. Refused, with nothing changed, for a
    // text that does not start with four dotted numbers of 0 to 255, and for
    // the address it already runs on whole; on that address with a part
    // down, it tries again.
    StartResult setAddress(const std::string& address);
    // Opens both parts on every address served; refused while a part runs
    // or without an address.
    StartResult start();
    // Returns once every part has stopped. The addresses stay, for start.
    void stop();

    // Serves exactly these networks: parts on an address no longer wanted
    // close, parts that do not run yet are opened (a taken port is tried
    // again), and what runs already stays, with its phones. Says what each
    // network has now. An empty list stops everything.
    std::vector<AddressStatus> serve(const std::vector<ServedAddress>& networks);
    // The networks asked for, in order, and what each has. Any thread.
    std::vector<AddressStatus> networks() const;

    // RUN_LINK while some network's link part runs, RUN_HTTP while some
    // network's HTTP server does.
    std::uint32_t state() const { return state_.load(); }
    // Both parts listen on every address asked for. Any thread.
    bool running() const;
    // The first address asked for; "" when none. Any thread.
    std::string address() const;
    const std::string& serviceRoot() const { return home_.home(); }
    // How this process's descriptors are shared out, from the limit at construction.
    const DescriptorBudget& descriptorBudget() const { return budget_; }
    // Phones connected now; any thread may ask.
    int connectedClients() const { return connected_.load(std::memory_order_relaxed); }

    // Not owned; set before setAddress. Called on the link thread with the
    // catalogue's mutex held.
    void setListener(FileStatusChangeListener* listener) { protocol_.setListener(listener); }

    SharedCatalogue& catalogue() { return catalogue_; }
    // The catalogue's own operations, for its users' convenience.
    int addFile(const std::string& path, int type, std::string* key) {
        return catalogue_.addFile(path, type, key);
    }
    LinkFileLoad loadLinkFile(const std::string& key) { return catalogue_.loadLinkFile(key); }
    void removeFile(int type, const std::string& path) { catalogue_.removeFile(type, path); }
    bool nextEntry(int type, CatalogueEntry& out) { return catalogue_.nextEntry(type, out); }
    std::vector<CatalogueEntry> entries(int type) { return catalogue_.entries(type); }

    PhoneProtocol& protocol() { return protocol_; }
    void parse(ClientSlot& slot, int length) { protocol_.parse(slot, length); }
    std::string buildListResponse(int type, ClientSlot& slot, std::uint32_t requestStamp) {
        return protocol_.buildListResponse(type, slot, requestStamp);
    }

private:
    struct Network {
        ServedAddress where;
        std::unique_ptr<HttpFileServer> http;  // while its HTTP part runs
        PartStart link;
        PartStart httpStart;
    };

    void linkThreadMain();
    // Opens what does not run yet on each network; the link thread is parked.
    void openLocked();
    void parkLinkThread();
    void resumeLinkThread();
    void stopLocked();
    void publishLocked();
    void wakeThreads();

    // Declared first: it outlives the parts that serve it, and saves its
    // lists once they have stopped.
    SharedCatalogue catalogue_;
    PhoneProtocol protocol_{catalogue_};

    // constant after construction
    const HomeLayout home_;
    const int wakeFd_;  // eventfd that interrupts the link thread's wait
    const DescriptorBudget budget_;
    // Every network's HTTP connections, held to the budget together.
    const std::shared_ptr<ConnectionLedger> ledger_;
    // Run every network's HTTP server: their count does not grow with the networks.
    const std::shared_ptr<HttpWorkers> workers_;

    std::mutex lifecycleMutex_;  // serialises setAddress, start, stop, serve, destruction
    // guarded by lifecycleMutex_
    std::vector<Network> networks_;
    // The one table of phones. Only the link thread touches it while that
    // runs; the owner opens and closes networks' sockets while it is parked.
    std::unique_ptr<ClientTable> table_;
    std::thread linkThread_;

    mutable std::mutex addressMutex_;    // guards the copy below
    std::vector<AddressStatus> status_;  // what networks() answers
    std::atomic<std::uint32_t> state_{0};
    std::atomic<int> connected_{0};
};

}  // namespace zorvex
