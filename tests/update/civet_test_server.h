#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

struct mg_context;
struct mg_connection;

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

// civetweb on 127.0.0.1 at a port the system picks. Answers each path with
// its canned response (404 for others) and remembers every request.
class CivetTestServer {
public:
    CivetTestServer();
    ~CivetTestServer();
    CivetTestServer(const CivetTestServer&) = delete;
    CivetTestServer& operator=(const CivetTestServer&) = delete;

    int port() const { return port_; }
    // "127.0.0.1:port"
    std::string host() const;
    std::string url(const std::string& path) const { return "http://" + host() + path; }
    void respond(const std::string& path, CannedResponse response);
    std::vector<SeenRequest> requests() const;

private:
    static int handle(mg_connection* connection);

    mg_context* context_ = nullptr;
    int port_ = 0;
    mutable std::mutex mutex_;  // guards the members below
    std::map<std::string, CannedResponse> responses_;
    std::vector<SeenRequest> requests_;
};

}  // namespace zorvex::test
