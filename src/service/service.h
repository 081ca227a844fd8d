#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/home_layout.h"
#include "service/catalogue_list.h"
#include "service/client_table.h"
#include "service/http_file_server.h"
#include "service/start_result.h"

namespace zorvex {

enum AddResult { ADD_OK = 0, ADD_FULL = 1, ADD_REJECTED = 2 };

enum class LinkFileLoad {
    Restored,
    NotAKey,     // the name is not 32 lowercase hex digits: not one of ours
    Unreadable,  // missing, or it cannot be opened
    Damaged,     // not a link file, or one for another key
    ListFull,
};

// The LAN service: the shared-file catalogue, the phones' list requests, and
// its two parts on one IPv4 address: the discovery/link thread and the HTTP
// server (libmicrohttpd, with threads of its own). Both parts open their
// sockets on the caller's thread, so a start reports what really listens.
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
    // Opens both parts on the address; refused while a part runs or
    // without an address.
    StartResult start();
    // Returns once both parts have stopped.
    void stop();

    std::uint32_t state() const { return state_.load(); }
    // Both parts listen on the address. Any thread.
    bool running() const {
        return (state_.load() & (RUN_LINK | RUN_HTTP | STOP_LINK | STOP_HTTP)) ==
               (RUN_LINK | RUN_HTTP);
    }
    std::string address() const;
    const std::string& serviceRoot() const { return home_.home(); }
    // Phones connected now; any thread may ask.
    int connectedClients() const { return connected_.load(std::memory_order_relaxed); }

    // Not owned; set before setAddress. Called on the link thread with the
    // catalogue mutex held.
    void setListener(FileStatusChangeListener* listener) { listener_ = listener; }

    // Shares a file in list 1 or 2 and writes its link file; key receives
    // md5Hex(path). ADD_REJECTED for a path without '/', an empty name, a
    // path over kMaxPathBytes, or another type; ADD_FULL when the list holds
    // 35. The entry keeps the whole name; phones are shown phoneName of it.
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
    CatalogueList* list(int type);
    void linkThreadMain(std::unique_ptr<ClientTable> table);
    std::string boundAddress() const;
    StartResult startLocked();
    void stopLocked();
    void wakeThreads();

    // constant after construction
    const HomeLayout home_;
    const int wakeFd_;  // eventfd that interrupts the link thread's wait

    std::mutex lifecycleMutex_;  // serialises setAddress, start, stop, destruction
    std::string address_;        // guarded by lifecycleMutex_ (written), addressMutex_ (read)
    mutable std::mutex addressMutex_;
    std::thread linkThread_;
    std::unique_ptr<HttpFileServer> http_;  // while the HTTP part runs
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
