#include "civet_test_server.h"

#include <civetweb.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "raw_test_server.h"

namespace zorvex::test {

CivetTestServer::CivetTestServer() {
    static std::once_flag once;
    std::call_once(once, [] { mg_init_library(0); });
    const char* options[] = {"listening_ports", "127.0.0.1:0", "num_threads", "4", nullptr};
    mg_callbacks callbacks{};
    callbacks.begin_request = &CivetTestServer::handle;
    context_ = mg_start(&callbacks, this, options);
    mg_server_port ports[1]{};
    if (!context_ || mg_get_server_ports(context_, 1, ports) != 1 || ports[0].port == 0) {
        throw std::runtime_error("test server did not start");
    }
    port_ = ports[0].port;
}

CivetTestServer::~CivetTestServer() {
    if (!context_) return;
    // civetweb's listener sees its stop flag only when its poll returns,
    // after up to two seconds; connections wake it at once.
    std::atomic<bool> stopped{false};
    std::thread waker([&] {
        while (!stopped) {
            RawTestServer::poke(port_);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    mg_stop(context_);
    stopped = true;
    waker.join();
}

std::string CivetTestServer::host() const {
    return "127.0.0.1:" + std::to_string(port_);
}

void CivetTestServer::respond(const std::string& path, CannedResponse response) {
    std::lock_guard lock(mutex_);
    responses_[path] = std::move(response);
}

std::vector<SeenRequest> CivetTestServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

int CivetTestServer::handle(mg_connection* connection) {
    const mg_request_info* info = mg_get_request_info(connection);
    auto* self = static_cast<CivetTestServer*>(info->user_data);
    SeenRequest seen;
    seen.method = info->request_method;
    seen.uri = info->local_uri ? info->local_uri : "";
    for (int i = 0; i < info->num_headers; ++i) {
        std::string name = info->http_headers[i].name;
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        seen.headers[name] = info->http_headers[i].value;
    }
    char buffer[4096];
    for (int n; (n = mg_read(connection, buffer, sizeof buffer)) > 0;) seen.body.append(buffer, n);

    CannedResponse response{404, "not here", "text/plain"};
    {
        std::lock_guard lock(self->mutex_);
        if (auto found = self->responses_.find(seen.uri); found != self->responses_.end()) {
            response = found->second;
        }
        self->requests_.push_back(std::move(seen));
    }
    mg_printf(connection,
              "HTTP/1.1 %d Canned\r\nContent-Type: %s\r\nContent-Length: %zu\r\n"
              "Connection: close\r\n\r\n",
              response.status, response.contentType.c_str(), response.body.size());
    // Several writes, so the client sees the body arrive in parts.
    constexpr std::size_t kPiece = 8192;
    for (std::size_t at = 0; at < response.body.size(); at += kPiece) {
        std::size_t piece = std::min(kPiece, response.body.size() - at);
        if (mg_write(connection, response.body.data() + at, piece) <= 0) break;
    }
    return response.status;
}

}  // namespace zorvex::test
