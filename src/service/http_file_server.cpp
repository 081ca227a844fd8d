#include "service/http_file_server.h"

#include <arpa/inet.h>
#include <civetweb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <cstring>
#include <mutex>
#include <vector>

#include "platform/file_util.h"
#include "service/console.h"
#include "service/link_file.h"

namespace zorvex {

namespace {

// civetweb's workers block in poll; enough of them for 64 phones streaming
// at once, each with a spare connection for a thumbnail.
constexpr const char* kWorkerThreads = "128";

void initLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mg_init_library(0); });
}

// Rejects any path that could climb out of the document root.
bool isContainedPath(const std::string& uri) {
    if (uri.empty() || uri[0] != '/' || uri.find('\0') != std::string::npos ||
        uri.find('\\') != std::string::npos) {
        return false;
    }
    std::size_t start = 1;
    while (start <= uri.size()) {
        std::size_t end = uri.find('/', start);
        if (end == std::string::npos) end = uri.size();
        std::string_view segment(uri.data() + start, end - start);
        if (segment == "..") return false;
        start = end + 1;
    }
    return true;
}

bool isWriteMethod(const char* method) {
    for (const char* write : {"PUT", "DELETE", "MKCOL", "MOVE", "COPY", "PATCH", "PROPPATCH", "LOCK",
                              "UNLOCK"}) {
        if (std::strcmp(method, write) == 0) return true;
    }
    return false;
}

}  // namespace

std::string resolveLinkTarget(const std::string& documentRoot, const std::string& uriPath,
                              bool& isLink) {
    isLink = false;
    if (!isContainedPath(uriPath)) return {};
    std::string mapped = documentRoot + uriPath;
    if (!isRegularFile(mapped)) return {};
    auto head = readFileHead(mapped, kLinkFileReadLimit);
    if (!head) return {};
    auto record = parseLinkFile(*head);
    if (!record) return {};  // not a link, or a damaged one: served as the small file it is
    isLink = true;
    return record->path;
}

HttpFileServer::~HttpFileServer() {
    stop();
}

bool HttpFileServer::start(const std::string& address, int port, const std::string& serviceRoot) {
    if (context_) return false;
    initLibraryOnce();
    documentRoot_ = serviceRoot + "/file_root";
    address_ = address;
    port_ = port;
    std::string listening = address + ":" + std::to_string(port);
    const char* options[] = {
        "document_root", documentRoot_.c_str(),
        "listening_ports", listening.c_str(),
        "enable_directory_listing", "yes",
        "enable_keep_alive", "yes",
        "tcp_nodelay", "1",
        "num_threads", kWorkerThreads,
        nullptr,
    };
    mg_callbacks callbacks{};
    callbacks.begin_request = &HttpFileServer::beginRequest;
    callbacks.log_message = &HttpFileServer::logMessage;
    context_ = mg_start(&callbacks, this, options);
    return context_ != nullptr;
}

void HttpFileServer::stop() {
    if (!context_) return;
    // civetweb's listening thread notices its stop flag only when its poll
    // returns, after up to two seconds; a connection wakes it at once.
    std::atomic<bool> stopped{false};
    std::thread waker([&] {
        while (!stopped.load()) {
            pokeListener();
            std::unique_lock lock(wakerMutex_);
            wakerDone_.wait_for(lock, std::chrono::milliseconds(20), [&] { return stopped.load(); });
        }
    });
    mg_stop(context_);
    {
        std::lock_guard lock(wakerMutex_);
        stopped = true;
    }
    wakerDone_.notify_all();
    waker.join();
    context_ = nullptr;
}

void HttpFileServer::pokeListener() const {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port_));
    if (::inet_pton(AF_INET, address_.c_str(), &to.sin_addr) != 1) return;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
    ::close(fd);
}

int HttpFileServer::beginRequest(mg_connection* connection) {
    const mg_request_info* request = mg_get_request_info(connection);
    auto* self = static_cast<HttpFileServer*>(request->user_data);
    if (!self || !request->local_uri) return 0;
    const char* method = request->request_method;
    if (isWriteMethod(method)) {
        // No WebDAV password file exists, so every write is asked for
        // credentials that cannot be given. civetweb would answer some of
        // these methods with 400 instead.
        mg_send_digest_access_authentication_request(connection, nullptr);
        return 401;
    }
    if (std::strcmp(method, "GET") != 0 && std::strcmp(method, "HEAD") != 0) {
        return 0;  // civetweb lists folders (PROPFIND) and answers the rest itself
    }
    bool isLink = false;
    std::string target = resolveLinkTarget(self->documentRoot_, request->local_uri, isLink);
    if (!isLink) return 0;
    // The real file counts only as a file, never as a folder to list.
    if (!isRegularFile(target)) {
        mg_send_http_error(connection, 404, "%s", "Error: File not found");
        return 404;
    }
    mg_send_file(connection, target.c_str());
    return 200;
}

int HttpFileServer::logMessage(const mg_connection*, const char* message) {
    consolePrintf("http: %s\n", message);
    return 1;
}

}  // namespace zorvex
