#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "service/start_result.h"

struct MHD_Daemon;

namespace zorvex {

struct Site;
class ConnectionLedger;
class HttpWorkers;
class SharedCatalogue;

// The connections of every server that shares it, held to one budget: past
// it a newcomer takes the place of the oldest connection of the address
// holding most. Likewise the connections still owing a whole request head
// (new or kept alive), at most half of all, so that trickling heads never
// fill the table for a new phone.
std::shared_ptr<ConnectionLedger> makeConnectionLedger(std::size_t connections,
                                                       std::size_t unfinishedHeads);

// The HTTP side of the service: libmicrohttpd over <root>/file_root on port
// 11717. A request for /<key> that the catalogue shares (or, without one,
// whose link file names a real video) is answered with that video; thumbnails and other files
// inside file_root are served as they are, folders as an HTML listing (GET) or a multistatus
// (PROPFIND). Every WebDAV write is refused with a digest challenge. Nothing whose name starts with
// '.' and nothing that a symlink or ".." leads out of file_root is served or listed.
//
// Threads: start and stop come from one thread (the service's owner); the
// listener is bound before start returns, and requests are answered on a
// thread of the HttpWorkers given (shared by the service's servers), which
// share the constant document root and the thumbnails kept in memory (under
// a mutex of their own).
class HttpFileServer {
public:
    struct Limits {
        // Daemons on the one listener, each run by one thread at a time:
        // about the core count.
        unsigned threads = 2;
        // Run the daemons; shared with the service's other servers, and
        // without them, workers of its own with `threads` threads.
        std::shared_ptr<HttpWorkers> workers;
        unsigned perAddress = 128;     // one busy phone, or wrk -c64, fits well
        unsigned timeoutSeconds = 30;  // a connection that does nothing for this long is closed
        // Shared with the service's other servers; without one, a ledger of
        // its own from the two numbers below.
        std::shared_ptr<ConnectionLedger> ledger;
        unsigned maxConnections = 1024;  // over all peers
        unsigned unfinishedHeads = 256;
    };
    static Limits defaultLimits();

    HttpFileServer();
    ~HttpFileServer();
    HttpFileServer(const HttpFileServer&) = delete;
    HttpFileServer& operator=(const HttpFileServer&) = delete;

    // Listens on the address and port, or says why it cannot. Port 0 picks
    // a free one. The catalogue, when given, must outlive the server.
    PartStart start(const std::string& address, int port, const std::string& serviceRoot,
                    const Limits& limits = defaultLimits(), SharedCatalogue* catalogue = nullptr);
    void stop();
    bool running() const { return daemon_ != nullptr; }
    // The port listened on, 0 when not running.
    int port() const;

private:
    MHD_Daemon* daemon_ = nullptr;          // the first lane, which owns the listener
    std::vector<MHD_Daemon*> lanes_;        // the others
    std::shared_ptr<HttpWorkers> workers_;  // run the lanes
    std::unique_ptr<Site> site_;            // what the request handler reads; outlives the daemon
};

}  // namespace zorvex
