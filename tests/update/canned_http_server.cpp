#include "canned_http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace zorvex::test {

namespace {

// The body in pieces, so the client sees it arrive in parts.
constexpr std::size_t kPiece = 8192;

struct Body {
    std::string bytes;
    static ssize_t read(void* cls, std::uint64_t pos, char* buffer, std::size_t max) {
        auto* self = static_cast<Body*>(cls);
        std::size_t n = std::min({max, kPiece, self->bytes.size() - static_cast<std::size_t>(pos)});
        std::memcpy(buffer, self->bytes.data() + pos, n);
        return static_cast<ssize_t>(n);
    }
    static void free(void* cls) { delete static_cast<Body*>(cls); }
};

MHD_Result collectHeader(void* cls, MHD_ValueKind, const char* key, const char* value) {
    std::string name = key;
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    (*static_cast<std::map<std::string, std::string>*>(cls))[name] = value ? value : "";
    return MHD_YES;
}

MHD_Result dispatch(void* cls, MHD_Connection* connection, const char* url, const char* method,
                    const char*, const char* upload, std::size_t* uploadSize, void** state) {
    int handled =
        CannedHttpServer::handleRequest(cls, connection, url, method, upload, uploadSize, state);
    return handled ? MHD_YES : MHD_NO;
}

void requestDone(void*, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
    delete static_cast<SeenRequest*>(*state);
    *state = nullptr;
}

}  // namespace

CannedHttpServer::CannedHttpServer() {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    daemon_ = MHD_start_daemon(MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL | MHD_USE_ITC, 0,
                               nullptr, nullptr, &dispatch, this, MHD_OPTION_SOCK_ADDR,
                               reinterpret_cast<sockaddr*>(&at), MHD_OPTION_NOTIFY_COMPLETED,
                               &requestDone, nullptr, MHD_OPTION_END);
    const MHD_DaemonInfo* info =
        daemon_ ? MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT) : nullptr;
    if (!info || info->port == 0) throw std::runtime_error("test server did not start");
    port_ = info->port;
}

CannedHttpServer::~CannedHttpServer() {
    if (daemon_) MHD_stop_daemon(daemon_);
}

std::string CannedHttpServer::host() const {
    return "127.0.0.1:" + std::to_string(port_);
}

void CannedHttpServer::respond(const std::string& path, CannedResponse response) {
    std::lock_guard lock(mutex_);
    responses_[path] = std::move(response);
}

std::vector<SeenRequest> CannedHttpServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

int CannedHttpServer::handleRequest(void* cls, MHD_Connection* connection, const char* url,
                                    const char* method, const char* upload, std::size_t* uploadSize,
                                    void** state) {
    auto* self = static_cast<CannedHttpServer*>(cls);
    if (!*state) {
        auto seen = std::make_unique<SeenRequest>();
        seen->method = method;
        seen->uri = url;
        MHD_get_connection_values(connection, MHD_HEADER_KIND, &collectHeader, &seen->headers);
        *state = seen.release();
        return 1;
    }
    auto* seen = static_cast<SeenRequest*>(*state);
    if (*uploadSize > 0) {
        seen->body.append(upload, *uploadSize);
        *uploadSize = 0;
        return 1;
    }
    CannedResponse response{404, "not here", "text/plain"};
    {
        std::lock_guard lock(self->mutex_);
        if (auto found = self->responses_.find(seen->uri); found != self->responses_.end()) {
            response = found->second;
        }
        self->requests_.push_back(*seen);
    }
    auto body = std::make_unique<Body>();
    body->bytes = response.body;
    MHD_Response* reply = MHD_create_response_from_callback(body->bytes.size(), kPiece, &Body::read,
                                                            body.get(), &Body::free);
    if (!reply) return 0;
    body.release();
    MHD_add_response_header(reply, MHD_HTTP_HEADER_CONTENT_TYPE, response.contentType.c_str());
    MHD_add_response_header(reply, MHD_HTTP_HEADER_CONNECTION, "close");
    MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(response.status), reply);
    MHD_destroy_response(reply);
    return queued == MHD_YES;
}

}  // namespace zorvex::test
