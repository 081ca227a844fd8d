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
#include "service/start_result.h"

namespace zorvex {

// ADD_NOT_SAVED: the link file could not be written (a full disk), so the
// share would not outlive this run; nothing was added.
enum AddResult { ADD_OK = 0, ADD_FULL = 1, ADD_REJECTED = 2, ADD_NOT_SAVED = 3 };

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

enum class LinkFileLoad {
    Restored,
    NotAKey,     // the name is not 32 lowercase hex digits: not one of ours
    Unreadable,  // missing, or it cannot be opened
    Damaged,     // not a link file, or one for another key
    ListFull,
};

// The LAN service: the shared-file catalogue, the phones' list requests, and
// its two parts on each IPv4 address it serves: the discovery/link thread
// (one for every network, with one table of 64 phones) and an HTTP server
// per address (libmicrohttpd, with threads of its own). Sockets are opened
// on the caller's thread, so a start reports what really listens.
//
// Threads: setAddress, start, stop and destruction belong to the owner's
// thread (the UI thread); they are also safe against each other from several
// threads. The catalogue operations (addFile, loadLinkFile, removeFile,
// nextEntry, entries) may be called from any thread: each takes the
// catalogue mutex, which stays inside. parse runs on the discovery/link thread.
class Service final : public ParserHandler {
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
    ~Service() override;
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
    // catalogue mutex held.
    void setListener(FileStatusChangeListener* listener) { listener_ = listener; }

    // Shares a file in list 1 or 2 and writes its link file; key receives
    // md5Hex(path). ADD_REJECTED for a path without '/', an empty name, a
    // path over kMaxPathBytes, or another type; ADD_FULL when the list holds
    // 35; ADD_NOT_SAVED when its link file cannot be written. key is set
    // only on ADD_OK. The entry keeps the whole name; phones are shown
    // phoneName of it.
    int addFile(const std::string& path, int type, std::string* key);
    // Restores one entry from its link file. Damaged files (unreadable as a
    // link file, or naming another key) and those beyond a list's capacity
    // are skipped and stay on disk; the caller decides what becomes of them.
    LinkFileLoad loadLinkFile(const std::string& key);
    // Drops the first entry of list 1 or 2 with exactly this path, with its
    // link file and thumbnail (never the shared file). Any thread.
    void removeFile(int type, const std::string& path);
    // A walk over one list, as CatalogueList::nextEntry. Any thread.
    bool nextEntry(int type, CatalogueEntry& out);
    // A copy of one list in catalogue order; empty for another type. Any thread.
    std::vector<CatalogueEntry> entries(int type);

    void parse(ClientSlot& slot, int length) override;
    // The response laid out for a list request, or empty for an unknown type.
    std::string buildListResponse(int type, ClientSlot& slot, std::uint32_t requestStamp);

private:
    struct Network {
        ServedAddress where;
        std::unique_ptr<HttpFileServer> http;  // while its HTTP part runs
        PartStart link;
        PartStart httpStart;
    };

    CatalogueList* list(int type);
    void linkThreadMain();
    // Opens what does not run yet on each network; the link thread is parked.
    void openLocked();
    void parkLinkThread();
    void resumeLinkThread();
    void stopLocked();
    void publishLocked();
    void wakeThreads();

    // constant after construction
    const HomeLayout home_;
    const int wakeFd_;  // eventfd that interrupts the link thread's wait
    const DescriptorBudget budget_;
    // Every network's HTTP connections, held to the budget together.
    const std::shared_ptr<ConnectionLedger> ledger_;

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

    // guarded by catalogueMutex_
    std::mutex catalogueMutex_;
    CatalogueList source_;
    CatalogueList converted_;
    std::size_t pendingAdds_[2] = {0, 0};  // addFile calls holding a place in a list
    ClientTable* clients_ = nullptr;       // the link thread's table while it runs

    FileStatusChangeListener* listener_ = nullptr;
    std::string scratch_;  // the list body being answered; link thread only
};

}  // namespace zorvex
