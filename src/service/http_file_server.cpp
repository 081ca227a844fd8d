#include "service/http_file_server.h"

#include <arpa/inet.h>
#include <civetweb.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
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
    for (const char* write :
         {"PUT", "DELETE", "MKCOL", "MOVE", "COPY", "PATCH", "PROPPATCH", "LOCK", "UNLOCK"}) {
        if (std::strcmp(method, write) == 0) return true;
    }
    return false;
}

std::string httpDate(time_t when) {
    // Each request wants the current second and its file's date; both repeat
    // from request to request, and strftime is not free.
    struct Cached {
        time_t when = -1;
        std::string text;
    };
    thread_local Cached cache[2];
    thread_local int next = 0;
    for (const Cached& entry : cache) {
        if (entry.when == when) return entry.text;
    }
    tm parts{};
    gmtime_r(&when, &parts);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &parts);
    cache[next] = {when, text};
    next ^= 1;
    return text;
}

// The one range civetweb understands, "bytes=A-B" or "bytes=A-", plus a
// suffix "bytes=-N"; false when there is none or it cannot be met.
enum class RangeResult { None, Ok, Unsatisfiable };
RangeResult parseRange(const char* header, std::int64_t size, std::int64_t& first,
                       std::int64_t& last) {
    if (!header || std::strncmp(header, "bytes=", 6) != 0) return RangeResult::None;
    const char* p = header + 6;
    char* end = nullptr;
    if (*p == '-') {
        long long suffix = std::strtoll(p + 1, &end, 10);
        if (end == p + 1 || suffix <= 0) return RangeResult::None;
        if (size == 0) return RangeResult::Unsatisfiable;
        first = suffix >= size ? 0 : size - suffix;
        last = size - 1;
        return RangeResult::Ok;
    }
    long long a = std::strtoll(p, &end, 10);
    if (end == p || *end != '-' || a < 0) return RangeResult::None;
    p = end + 1;
    long long b = size - 1;
    if (*p >= '0' && *p <= '9') b = std::strtoll(p, &end, 10);
    if (a >= size) return RangeResult::Unsatisfiable;
    if (b < a) return RangeResult::None;
    first = a;
    last = b >= size ? size - 1 : b;
    return RangeResult::Ok;
}

bool keepAlive(const mg_request_info* request) {
    const char* connection = nullptr;
    for (int i = 0; i < request->num_headers; ++i) {
        if (strcasecmp(request->http_headers[i].name, "Connection") == 0) {
            connection = request->http_headers[i].value;
        }
    }
    bool http11 = request->http_version && std::strcmp(request->http_version, "1.1") == 0;
    if (!connection) return http11;
    return strcasecmp(connection, "keep-alive") == 0 ||
           (http11 && strcasecmp(connection, "close") != 0);
}

// civetweb's own error page takes its date from gmtime(), whose one buffer its
// workers share; ours is made on the caller's stack.
int sendNotFound(mg_connection* connection, const mg_request_info* request) {
    static constexpr char kBody[] = "Error 404: Not Found\nError: File not found";
    std::string head =
        "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain; charset=utf-8\r\n"
        "Content-Length: " +
        std::to_string(sizeof kBody - 1) + "\r\nDate: " + httpDate(std::time(nullptr)) +
        "\r\nConnection: " + (keepAlive(request) ? "keep-alive" : "close") + "\r\n\r\n";
    if (std::strcmp(request->request_method, "HEAD") != 0) head += kBody;
    mg_write(connection, head.data(), head.size());
    return 404;
}

// Answers GET or HEAD for a regular file as civetweb would (ETag, Last-Modified,
// 304, one range), but with the header in one write and the body in large
// writes: civetweb 1.15 sends each header line as its own TCP segment, and
// once sendfile meets a full socket buffer it copies the rest 8 KiB at a time.
int serveFile(mg_connection* connection, const mg_request_info* request, const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (fd >= 0) ::close(fd);
        return sendNotFound(connection, request);
    }
    const std::int64_t size = info.st_size;
    char etag[64];
    // civetweb's form, so that phones' cached validators stay good.
    std::snprintf(etag, sizeof etag, "\"%lx.%" PRId64 "\"",
                  static_cast<unsigned long>(info.st_mtime), size);
    std::string modified = httpDate(info.st_mtime);
    const char* connectionText = keepAlive(request) ? "keep-alive" : "close";

    const char* ifNoneMatch = mg_get_header(connection, "If-None-Match");
    const char* ifModifiedSince = mg_get_header(connection, "If-Modified-Since");
    bool notModified = false;
    if (ifNoneMatch) {
        notModified = strcasecmp(ifNoneMatch, etag) == 0;
    } else if (ifModifiedSince) {
        tm parts{};
        if (strptime(ifModifiedSince, "%a, %d %b %Y %H:%M:%S GMT", &parts)) {
            notModified = timegm(&parts) >= info.st_mtime;
        }
    }
    std::string head;
    head.reserve(512);
    char line[160];
    if (notModified) {
        ::close(fd);
        head = "HTTP/" + std::string(request->http_version ? request->http_version : "1.1") +
               " 304 Not Modified\r\nCache-Control: max-age=3600\r\nLast-Modified: " + modified +
               "\r\nEtag: " + etag + "\r\nDate: " + httpDate(std::time(nullptr)) +
               "\r\nConnection: " + connectionText + "\r\n\r\n";
        mg_write(connection, head.data(), head.size());
        return 304;
    }
    std::int64_t first = 0;
    std::int64_t last = size - 1;
    RangeResult range = parseRange(mg_get_header(connection, "Range"), size, first, last);
    if (range == RangeResult::Unsatisfiable) {
        ::close(fd);
        std::snprintf(line, sizeof line,
                      "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */%" PRId64
                      "\r\nContent-Length: 0\r\nConnection: %s\r\n\r\n",
                      size, connectionText);
        mg_write(connection, line, std::strlen(line));
        return 416;
    }
    const std::int64_t length = size == 0 ? 0 : last - first + 1;
    const char* type = mg_get_builtin_mime_type(path.c_str());
    head = "HTTP/" + std::string(request->http_version ? request->http_version : "1.1") +
           (range == RangeResult::Ok ? " 206 Partial Content" : " 200 OK") +
           "\r\nCache-Control: max-age=3600\r\nContent-Type: " + type +
           "\r\nLast-Modified: " + modified + "\r\nEtag: " + etag + "\r\n";
    std::snprintf(line, sizeof line, "Content-Length: %" PRId64 "\r\nAccept-Ranges: bytes\r\n",
                  length);
    head += line;
    if (range == RangeResult::Ok) {
        std::snprintf(line, sizeof line,
                      "Content-Range: bytes %" PRId64 "-%" PRId64 "/%" PRId64 "\r\n", first, last,
                      size);
        head += line;
    }
    head +=
        "Date: " + httpDate(std::time(nullptr)) + "\r\nConnection: " + connectionText + "\r\n\r\n";
    int status = range == RangeResult::Ok ? 206 : 200;
    if (std::strcmp(request->request_method, "HEAD") == 0) {
        ::close(fd);
        mg_write(connection, head.data(), head.size());
        return status;
    }
    // A small file goes out with its header in one write; a large one in
    // 256 KiB writes, which civetweb completes however full the socket is.
    constexpr std::int64_t kChunk = 256 * 1024;
    std::size_t capacity =
        static_cast<std::size_t>(std::min<std::int64_t>(length, kChunk)) + head.size();
    std::unique_ptr<char[]> buffer(new char[capacity]);
    std::memcpy(buffer.get(), head.data(), head.size());
    std::size_t filled = head.size();
    std::int64_t offset = first;
    std::int64_t left = length;
    for (;;) {
        std::size_t want = static_cast<std::size_t>(
            std::min<std::int64_t>(left, static_cast<std::int64_t>(capacity - filled)));
        ssize_t got = want > 0 ? ::pread(fd, buffer.get() + filled, want, offset) : 0;
        if (got < 0) break;
        filled += static_cast<std::size_t>(got);
        offset += got;
        left -= got;
        if (filled > 0 && mg_write(connection, buffer.get(), filled) <= 0) break;
        filled = 0;
        if (left <= 0 || got == 0) break;
    }
    ::close(fd);
    return status;
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
        "document_root",
        documentRoot_.c_str(),
        "listening_ports",
        listening.c_str(),
        "enable_directory_listing",
        "yes",
        "enable_keep_alive",
        "yes",
        "tcp_nodelay",
        "1",
        "num_threads",
        kWorkerThreads,
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
            wakerDone_.wait_for(lock, std::chrono::milliseconds(20),
                                [&] { return stopped.load(); });
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
    // Link files sit in file_root under their key; nothing else needs reading to tell.
    std::string target;
    if (isCatalogueKey(std::string_view(request->local_uri).substr(1))) {
        target = resolveLinkTarget(self->documentRoot_, request->local_uri, isLink);
    }
    if (!isLink) {
        // Plain files in file_root (thumbnails); civetweb keeps folders,
        // hidden files and the rest.
        std::string uri = request->local_uri;
        std::string mapped = self->documentRoot_ + uri;
        if (!isContainedPath(uri) || uri.find("/.") != std::string::npos ||
            !isRegularFile(mapped)) {
            return 0;
        }
        return serveFile(connection, request, mapped);
    }
    // The real file counts only as a file, never as a folder to list:
    // serveFile answers 404 for anything else.
    return serveFile(connection, request, target);
}

int HttpFileServer::logMessage(const mg_connection*, const char* message) {
    consolePrintf("http: %s\n", message);
    return 1;
}

}  // namespace zorvex
