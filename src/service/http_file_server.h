#pragma once

#include <condition_variable>
#include <mutex>
#include <string>

struct mg_context;
struct mg_connection;

namespace zorvex {

// The HTTP side of the service: civetweb over <root>/file_root on port 11717.
// A request whose path names a link file is answered with the real file that
// the link names; everything else is served by civetweb's own rules (ranges,
// ETag, directory listing, WebDAV writes refused with a digest challenge).
// start and stop come from one thread; civetweb runs its own workers.
class HttpFileServer {
public:
    HttpFileServer() = default;
    ~HttpFileServer();
    HttpFileServer(const HttpFileServer&) = delete;
    HttpFileServer& operator=(const HttpFileServer&) = delete;

    // False when the address and port cannot be bound.
    bool start(const std::string& address, int port, const std::string& serviceRoot);
    void stop();
    bool running() const { return context_ != nullptr; }

private:
    static int beginRequest(mg_connection* connection);
    static int logMessage(const mg_connection* connection, const char* message);

    void pokeListener() const;

    mg_context* context_ = nullptr;
    std::string documentRoot_;
    std::string address_;
    int port_ = 0;
    std::mutex wakerMutex_;
    std::condition_variable wakerDone_;
};

// The real file behind a request path, or "" when the path is not a link
// file. Exposed for tests: the path is relative to the document root.
std::string resolveLinkTarget(const std::string& documentRoot, const std::string& uriPath,
                              bool& isLink);

}  // namespace zorvex
