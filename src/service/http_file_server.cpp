#include "service/http_file_server.h"

#include <civetweb.h>

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
    mg_stop(context_);
    context_ = nullptr;
}

int HttpFileServer::beginRequest(mg_connection* connection) {
    const mg_request_info* request = mg_get_request_info(connection);
    auto* self = static_cast<HttpFileServer*>(request->user_data);
    if (!self || !request->local_uri) return 0;
    if (std::strcmp(request->request_method, "GET") != 0 &&
        std::strcmp(request->request_method, "HEAD") != 0) {
        return 0;  // civetweb refuses writes and lists folders itself
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
