#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

struct MHD_Daemon;
struct MHD_Connection;

namespace zorvex::test {

// A request as the server saw it; header names in lower case.
struct SeenRequest {
    std::string method;
    std::string uri;
    std::map<std::string, std::string> headers;
    std::string body;
};

struct CannedResponse {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
};

// libmicrohttpd on 127.0.0.1 at a port the system picks. Answers each path
// with its canned response (404 for others) and remembers every request.
class CannedHttpServer {
public:
    CannedHttpServer();
    ~CannedHttpServer();
    CannedHttpServer(const CannedHttpServer&) = delete;
    CannedHttpServer& operator=(const CannedHttpServer&) = delete;

    int port() const { return port_; }
    // "127.0.0.1:port"
    std::string host() const;
    std::string url(const std::string& path) const { return "http://" + host() + path; }
    void respond(const std::string& path, CannedResponse response);
    std::vector<SeenRequest> requests() const;

    // The library's request callback, through a shim; 0 ends the connection.
    static int handleRequest(void* cls, MHD_Connection* connection, const char* url,
                             const char* method, const char* upload, std::size_t* uploadSize,
                             void** state);

private:
    MHD_Daemon* daemon_ = nullptr;
    int port_ = 0;
    mutable std::mutex mutex_;  // guards the members below
    std::map<std::string, CannedResponse> responses_;
    std::vector<SeenRequest> requests_;
};

}  // namespace zorvex::test
