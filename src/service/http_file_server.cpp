#include "service/http_file_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/home_layout.h"
#include "service/console.h"
#include "service/document_root.h"
#include "service/http_listing.h"
#include "service/http_request.h"
#include "service/http_workers.h"
#include "service/link_file.h"
#include "service/shared_catalogue.h"
#include "service/wide_sendfile.h"

namespace zorvex {

// Every connection of the servers that share it, counted against one
// budget; called from the library's event-loop threads of each. A record
// lives from its accept to its close, and its socket is shut only under the
// mutex, which the close notice takes before the library closes the
// descriptor. Past a budget the newcomer takes the place of the oldest
// connection of the address holding most: a flood pays for itself, and a
// phone new to the server is never chosen while anyone holds more.
class ConnectionLedger {
public:
    ConnectionLedger(std::size_t connections, std::size_t unfinishedHeads)
        : connections_(std::max<std::size_t>(connections, 1)),
          heads_(std::max<std::size_t>(std::min(unfinishedHeads, connections_ / 2), 1)) {}

    std::size_t connections() const { return connections_; }

    struct Record {
        int fd = -1;
        std::uint32_t address = 0;
        bool open = false;
        bool waiting = false;                 // still owes a whole request head
        std::list<Record*>::iterator at;      // in all_.list while open
        std::list<Record*>::iterator waitAt;  // in waiting_.list while waiting
    };

    Record* accepted(int fd, std::uint32_t address) {
        auto record = std::make_unique<Record>();
        record->fd = fd;
        record->address = address;
        std::lock_guard lock(mutex_);
        record->open = true;
        record->at = all_.add(record.get());
        wait(*record);
        if (all_.list.size() > connections_) {
            evictOne(all_);
        } else if (waiting_.list.size() > heads_) {
            evictOne(waiting_);
        }
        return record.release();
    }
    void headComplete(Record* record) {
        if (!record) return;
        std::lock_guard lock(mutex_);
        stopWaiting(*record);
    }
    // Kept alive: the next head is owed now.
    void requestDone(Record* record) {
        if (!record) return;
        std::lock_guard lock(mutex_);
        if (record->open) wait(*record);
    }
    void closed(Record* record) {
        if (!record) return;
        {
            std::lock_guard lock(mutex_);
            forget(*record);
        }
        delete record;
    }

private:
    // Connections oldest first, and how many each address holds.
    struct Group {
        std::list<Record*> list;
        std::unordered_map<std::uint32_t, std::size_t> perAddress;

        std::list<Record*>::iterator add(Record* record) {
            ++perAddress[record->address];
            return list.insert(list.end(), record);
        }
        void remove(Record* record, std::list<Record*>::iterator at) {
            list.erase(at);
            if (--perAddress[record->address] == 0) perAddress.erase(record->address);
        }
    };

    void wait(Record& record) {
        if (record.waiting) return;
        record.waiting = true;
        record.waitAt = waiting_.add(&record);
    }
    void stopWaiting(Record& record) {
        if (!record.waiting) return;
        record.waiting = false;
        waiting_.remove(&record, record.waitAt);
    }
    void forget(Record& record) {
        stopWaiting(record);
        if (!record.open) return;
        record.open = false;
        all_.remove(&record, record.at);
    }
    void evictOne(Group& group) {
        auto most =
            std::max_element(group.perAddress.begin(), group.perAddress.end(),
                             [](const auto& a, const auto& b) { return a.second < b.second; });
        if (most == group.perAddress.end()) return;
        const std::uint32_t address = most->first;
        auto found = std::find_if(group.list.begin(), group.list.end(),
                                  [&](const Record* record) { return record->address == address; });
        if (found == group.list.end()) return;
        Record& record = **found;
        // The library sees the end of the stream and closes it as usual;
        // from now on it counts no more.
        if (record.fd >= 0) ::shutdown(record.fd, SHUT_RDWR);
        forget(record);
    }

    const std::size_t connections_;
    const std::size_t heads_;
    std::mutex mutex_;
    Group all_;      // guarded by mutex_
    Group waiting_;  // guarded by mutex_
};

std::shared_ptr<ConnectionLedger> makeConnectionLedger(std::size_t connections,
                                                       std::size_t unfinishedHeads) {
    return std::make_shared<ConnectionLedger>(connections, unfinishedHeads);
}

// The connections each peer address holds on one server whose listener
// several daemons share: the library counts them per daemon, so they are
// counted here for all of them, against the same limit. Any thread.
class AddressShares {
public:
    explicit AddressShares(unsigned limit) : limit_(std::max(limit, 1u)) {}

    bool take(std::uint32_t address) {
        std::lock_guard lock(mutex_);
        unsigned& held = held_[address];  // limit_ > 0: never left at 0
        if (held >= limit_) return false;
        ++held;
        return true;
    }
    void give(std::uint32_t address) {
        std::lock_guard lock(mutex_);
        auto found = held_.find(address);
        if (found != held_.end() && --found->second == 0) held_.erase(found);
    }

private:
    const unsigned limit_;
    std::mutex mutex_;
    std::unordered_map<std::uint32_t, unsigned> held_;  // guarded by mutex_
};

// Thumbnails answered from memory: each phone fetches every one of a list's
// at each look. An answer is kept per path and trusted while the path still
// stats as the very file read (device, inode, size, modification and change
// times): one call where opening, reading and closing it take four. A file
// modified within the last seconds is not kept, since a rewrite within the
// clock's granularity could leave its times as they were. Any thread.
class ThumbnailCache {
public:
    static constexpr std::size_t kEntries = 256;
    static constexpr std::size_t kLargest = std::size_t{32} * 1024;

    ThumbnailCache() = default;
    ~ThumbnailCache() {
        for (auto& [path, entry] : entries_) MHD_destroy_response(entry.response);
    }
    ThumbnailCache(const ThumbnailCache&) = delete;
    ThumbnailCache& operator=(const ThumbnailCache&) = delete;

    static bool keepable(const struct stat& info) {
        return S_ISREG(info.st_mode) && static_cast<std::size_t>(info.st_size) <= kLargest &&
               info.st_mtime < std::time(nullptr) - 1;
    }

    // Queues the answer kept for the path if the file is still the one read;
    // nullopt when there is none to give.
    std::optional<MHD_Result> answer(MHD_Connection* connection, const DocumentRoot& root,
                                     const std::string& relative) {
        struct stat now {};
        const bool there = root.stat(relative, now);
        std::lock_guard lock(mutex_);
        auto found = entries_.find(relative);
        if (found == entries_.end()) return std::nullopt;
        if (!there || !same(found->second.info, now)) {
            MHD_destroy_response(found->second.response);
            entries_.erase(found);
            return std::nullopt;
        }
        return MHD_queue_response(connection, MHD_HTTP_OK, found->second.response);
    }

    // The whole file as a body that can be kept; null when it cannot be read whole.
    static MHD_Response* body(const OpenedFile& file) {
        const auto size = static_cast<std::size_t>(file.info().st_size);
        auto* bytes = static_cast<char*>(std::malloc(std::max<std::size_t>(size, 1)));
        if (!bytes) return nullptr;
        std::size_t got = 0;
        while (got < size) {
            ssize_t n = ::pread(file.fd(), bytes + got, size - got, static_cast<off_t>(got));
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        MHD_Response* response = got == size ? MHD_create_response_from_buffer_with_free_callback(
                                                   size, bytes, [](void* kept) { std::free(kept); })
                                             : nullptr;
        if (!response) std::free(bytes);
        return response;
    }

    // Takes over the caller's reference to a whole answer made from body().
    void keep(const std::string& relative, const struct stat& info, MHD_Response* response) {
        std::lock_guard lock(mutex_);
        auto found = entries_.find(relative);
        if (found != entries_.end()) {
            MHD_destroy_response(found->second.response);
            entries_.erase(found);
        } else if (entries_.size() >= kEntries) {
            MHD_destroy_response(entries_.begin()->second.response);
            entries_.erase(entries_.begin());
        }
        entries_.emplace(relative, Entry{info, response});
    }

private:
    struct Entry {
        struct stat info;
        MHD_Response* response;  // one reference is the cache's
    };

    static bool same(const struct stat& a, const struct stat& b) {
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
               a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
               a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
    }

    std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;  // guarded by mutex_
};

struct Site {
    Site(std::string path, std::shared_ptr<ConnectionLedger> ledger, SharedCatalogue* shared)
        : root(std::move(path)), connections(std::move(ledger)), catalogue(shared) {}
    DocumentRoot root;
    const std::shared_ptr<ConnectionLedger> connections;
    SharedCatalogue* const catalogue;       // null: keys are looked up in their link files
    mutable ThumbnailCache thumbnails;      // guards itself
    std::unique_ptr<AddressShares> shares;  // while several daemons share the listener
};

namespace {

// Bodies up to this size are copied and leave with their header in one
// write; larger ones go by sendfile from the open file.
constexpr std::size_t kSmallBody = std::size_t{32} * 1024;
// A PROPFIND's XML body is read and dropped so that the connection can stay
// open; one larger than this is not waited for.
constexpr std::size_t kMaxIgnoredBody = std::size_t{64} * 1024;
// A ledger's connections past which the library itself refuses: room for
// those given way to and not closed yet.
constexpr unsigned kLedgerSlack = 16;
constexpr const char* kServedMethods = "GET, HEAD, OPTIONS, PROPFIND";
constexpr char kNotFoundBody[] = "Error 404: Not Found\nError: File not found";

bool isWriteMethod(std::string_view method) {
    for (std::string_view write :
         {"PUT", "DELETE", "MKCOL", "MOVE", "COPY", "PATCH", "PROPPATCH", "LOCK", "UNLOCK"}) {
        if (method == write) return true;
    }
    return false;
}

const char* header(MHD_Connection* connection, const char* name) {
    return MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
}

MHD_Response* bufferResponse(std::string_view body) {
    return MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()),
                                           MHD_RESPMEM_MUST_COPY);
}

MHD_Result queue(MHD_Connection* connection, unsigned status, MHD_Response* response) {
    if (!response) return MHD_NO;
    MHD_Result result = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return result;
}

MHD_Result answerText(MHD_Connection* connection, unsigned status, std::string_view body,
                      const char* type) {
    MHD_Response* response = bufferResponse(body);
    if (response) MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    return queue(connection, status, response);
}

MHD_Result notFound(MHD_Connection* connection) {
    return answerText(connection, MHD_HTTP_NOT_FOUND, kNotFoundBody, "text/plain; charset=utf-8");
}

// No WebDAV password file exists, so every write is asked for credentials
// that cannot be given.
MHD_Result refuseWrite(MHD_Connection* connection) {
    static std::atomic<std::uint64_t> counter{0};
    char challenge[128];
    std::snprintf(challenge, sizeof challenge,
                  "Digest qop=\"auth\", realm=\"mydomain.com\", nonce=\"%" PRIx64 "%" PRIx64 "\"",
                  static_cast<std::uint64_t>(std::time(nullptr)), counter.fetch_add(1) + 1);
    MHD_Response* response = bufferResponse("Error 401: Unauthorized");
    if (response) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE,
                                "text/plain; charset=utf-8");
        MHD_add_response_header(response, MHD_HTTP_HEADER_WWW_AUTHENTICATE, challenge);
    }
    return queue(connection, MHD_HTTP_UNAUTHORIZED, response);
}

int socketOf(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    return info ? info->connect_fd : -1;
}

// The body of one range: small ones copied, larger ones by sendfile. The
// file is handed to the library in that case.
MHD_Response* rangeBody(MHD_Connection* connection, OpenedFile& file, std::int64_t offset,
                        std::int64_t length, bool head) {
    if (!head && length <= static_cast<std::int64_t>(kSmallBody)) {
        char buffer[kSmallBody];
        std::size_t got = 0;
        while (got < static_cast<std::size_t>(length)) {
            ssize_t n = ::pread(file.fd(), buffer + got, static_cast<std::size_t>(length) - got,
                                offset + static_cast<std::int64_t>(got));
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        // A file cut short meanwhile: sendfile then ends the connection early,
        // as the length already promised cannot be kept.
        if (got == static_cast<std::size_t>(length)) {
            return bufferResponse(std::string_view(buffer, got));
        }
    }
    int fd = file.release();
    if (!head && length > 0) {
        noteFileBody(socketOf(connection), fd, static_cast<std::uint64_t>(offset + length));
    }
    MHD_Response* response = MHD_create_response_from_fd_at_offset64(
        static_cast<std::uint64_t>(length), fd, static_cast<std::uint64_t>(offset));
    if (!response) ::close(fd);
    return response;
}

// Several ranges in one multipart/byteranges body, laid out as nginx does.
struct Multipart {
    struct Piece {
        std::uint64_t at = 0;  // where the piece starts in the body
        std::uint64_t length = 0;
        std::string text;              // a part header or the closing line
        std::int64_t fileOffset = -1;  // else: bytes of the file from here
    };
    int fd = -1;
    std::vector<Piece> pieces;
    std::uint64_t size = 0;

    ~Multipart() {
        if (fd >= 0) ::close(fd);
    }

    void add(std::string text) {
        Piece piece;
        piece.at = size;
        piece.length = text.size();
        piece.text = std::move(text);
        size += piece.length;
        pieces.push_back(std::move(piece));
    }
    void add(std::int64_t offset, std::int64_t length) {
        Piece piece;
        piece.at = size;
        piece.length = static_cast<std::uint64_t>(length);
        piece.fileOffset = offset;
        size += piece.length;
        pieces.push_back(std::move(piece));
    }

    static ssize_t read(void* cls, std::uint64_t pos, char* buffer, std::size_t max) {
        auto* self = static_cast<Multipart*>(cls);
        auto next =
            std::upper_bound(self->pieces.begin(), self->pieces.end(), pos,
                             [](std::uint64_t p, const Piece& piece) { return p < piece.at; });
        if (next == self->pieces.begin()) return MHD_CONTENT_READER_END_WITH_ERROR;
        const Piece& piece = *(next - 1);
        std::uint64_t into = pos - piece.at;
        std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(max, piece.length - into));
        if (piece.fileOffset < 0) {
            std::memcpy(buffer, piece.text.data() + into, want);
            return static_cast<ssize_t>(want);
        }
        ssize_t n =
            ::pread(self->fd, buffer, want, piece.fileOffset + static_cast<std::int64_t>(into));
        return n > 0 ? n : MHD_CONTENT_READER_END_WITH_ERROR;
    }
    static void free(void* cls) { delete static_cast<Multipart*>(cls); }
};

MHD_Response* multipartBody(OpenedFile& file, const std::vector<http::ByteRange>& ranges,
                            std::string_view type, std::int64_t size, std::string& contentType) {
    static std::atomic<std::uint64_t> boundaries{0};
    char boundary[24];
    std::snprintf(boundary, sizeof boundary, "%020" PRIu64, boundaries.fetch_add(1) + 1);
    contentType = std::string("multipart/byteranges; boundary=") + boundary;
    auto body = std::make_unique<Multipart>();
    for (const http::ByteRange& range : ranges) {
        char line[96];
        std::snprintf(line, sizeof line,
                      "\r\nContent-Range: bytes %" PRId64 "-%" PRId64 "/%" PRId64 "\r\n\r\n",
                      range.first, range.last, size);
        body->add("\r\n--" + std::string(boundary) + "\r\nContent-Type: " + std::string(type) +
                  line);
        body->add(range.first, range.length());
    }
    body->add("\r\n--" + std::string(boundary) + "--\r\n");
    body->fd = file.release();
    std::uint64_t total = body->size;
    MHD_Response* response = MHD_create_response_from_callback(
        total, std::size_t{64} * 1024, &Multipart::read, body.get(), &Multipart::free);
    if (response) static_cast<void>(body.release());  // the response frees it now
    return response;
}

// GET or HEAD of a regular file: validators, 304, ranges, the body.
// A thumbnail's path, under which its whole answer may be kept.
struct KeptAs {
    ThumbnailCache& cache;
    const std::string& relative;
};

MHD_Result serveFile(MHD_Connection* connection, OpenedFile file, std::string_view name, bool head,
                     const KeptAs* kept = nullptr) {
    const struct stat& info = file.info();
    const std::int64_t size = info.st_size;
    const std::time_t modifiedAt = info.st_mtime;
    std::string tag = http::entityTag(modifiedAt, size);
    std::string modified = http::httpDate(modifiedAt);
    const char* ifNoneMatch = header(connection, MHD_HTTP_HEADER_IF_NONE_MATCH);
    const char* ifModifiedSince = header(connection, MHD_HTTP_HEADER_IF_MODIFIED_SINCE);
    bool notModified = false;
    if (ifNoneMatch) {
        notModified = http::entityTagMatches(ifNoneMatch, tag);
    } else if (ifModifiedSince) {
        auto since = http::parseHttpDate(ifModifiedSince);
        notModified = since && *since >= modifiedAt;
    }
    auto addValidators = [&](MHD_Response* response) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "max-age=3600");
        MHD_add_response_header(response, MHD_HTTP_HEADER_LAST_MODIFIED, modified.c_str());
        MHD_add_response_header(response, MHD_HTTP_HEADER_ETAG, tag.c_str());
    };
    if (notModified) {
        MHD_Response* response = bufferResponse({});
        if (response) addValidators(response);
        return queue(connection, MHD_HTTP_NOT_MODIFIED, response);
    }

    const char* rangeHeader = header(connection, MHD_HTTP_HEADER_RANGE);
    http::RangeRequest range = http::parseRange(rangeHeader ? rangeHeader : "", size);
    if (range.kind == http::RangeRequest::Kind::Unsatisfiable) {
        MHD_Response* response = bufferResponse({});
        if (response) {
            std::string contentRange = "bytes */" + std::to_string(size);
            MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_RANGE, contentRange.c_str());
        }
        return queue(connection, MHD_HTTP_RANGE_NOT_SATISFIABLE, response);
    }
    std::string_view type = http::contentTypeFor(name);
    std::string contentType(type);
    std::string contentRange;
    MHD_Response* response = nullptr;
    unsigned status = MHD_HTTP_OK;
    MHD_Response* keptBody = nullptr;
    if (range.kind == http::RangeRequest::Kind::None) {
        if (kept && !head && ThumbnailCache::keepable(info)) {
            response = keptBody = ThumbnailCache::body(file);
        }
        if (!response) response = rangeBody(connection, file, 0, size, head);
    } else if (range.ranges.size() == 1) {
        const http::ByteRange& only = range.ranges.front();
        char text[96];
        std::snprintf(text, sizeof text, "bytes %" PRId64 "-%" PRId64 "/%" PRId64, only.first,
                      only.last, size);
        contentRange = text;
        response = rangeBody(connection, file, only.first, only.length(), head);
        status = MHD_HTTP_PARTIAL_CONTENT;
    } else {
        response = multipartBody(file, range.ranges, type, size, contentType);
        status = MHD_HTTP_PARTIAL_CONTENT;
    }
    if (!response) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, contentType.c_str());
    addValidators(response);
    MHD_add_response_header(response, MHD_HTTP_HEADER_ACCEPT_RANGES, "bytes");
    if (!contentRange.empty()) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_RANGE, contentRange.c_str());
    }
    if (response == keptBody) {
        // Queued first: once kept, another thread may drop it.
        MHD_Result result = MHD_queue_response(connection, status, response);
        kept->cache.keep(kept->relative, info, response);
        return result;
    }
    return queue(connection, status, response);
}

std::string encodedPath(const http::RequestPath& path, bool folder) {
    std::string out = "/";
    for (const std::string& segment : path.segments) {
        out += http::percentEncodeSegment(segment);
        out += '/';
    }
    if (!folder && out.size() > 1) out.pop_back();
    return out;
}

MHD_Result serveGet(const Site& site, MHD_Connection* connection, std::string_view url, bool head) {
    auto path = http::parseRequestPath(url);
    if (!path) return notFound(connection);
    // Link files sit in file_root under their key; nothing else needs reading to tell.
    if (path->segments.size() == 1 && isCatalogueKey(path->segments[0])) {
        if (site.catalogue) {
            if (auto shared = site.catalogue->find(path->segments[0])) {
                // The real file counts only as a file, never as a folder to list.
                OpenedFile target = DocumentRoot::openTarget(*shared);
                if (!target.valid()) return notFound(connection);
                return serveFile(connection, std::move(target), *shared, head);
            }
        }
        // One the catalogue does not hold (left on disk by a full list,
        // damaged) is read as it always was.
        OpenedFile link = site.root.open(path->segments[0]);
        if (link.isFile()) {
            char bytes[kLinkFileReadLimit];
            ssize_t got = ::pread(link.fd(), bytes, sizeof bytes, 0);
            auto record =
                got > 0 ? parseLinkFile(std::string_view(bytes, static_cast<std::size_t>(got)))
                        : std::nullopt;
            if (!record) {
                // Not a link, or a damaged one: served as the small file it is.
                return serveFile(connection, std::move(link), path->segments[0], head);
            }
            // The real file counts only as a file, never as a folder to list.
            OpenedFile target = DocumentRoot::openTarget(record->path);
            if (!target.valid()) return notFound(connection);
            return serveFile(connection, std::move(target), record->path, head);
        }
    }
    const std::string relative = path->relative();
    const bool thumbnail = !head && path->segments.size() == 2 && path->segments[0] == "image";
    // Only a plain GET is answered from memory; the kept answer is the whole file.
    if (thumbnail && !header(connection, MHD_HTTP_HEADER_RANGE) &&
        !header(connection, MHD_HTTP_HEADER_IF_NONE_MATCH) &&
        !header(connection, MHD_HTTP_HEADER_IF_MODIFIED_SINCE)) {
        if (auto answered = site.thumbnails.answer(connection, site.root, relative)) {
            return *answered;
        }
    }
    OpenedFile file = site.root.open(relative);
    if (file.isFile()) {
        std::string name = path->segments.empty() ? "" : path->segments.back();
        KeptAs keptAs{site.thumbnails, relative};
        return serveFile(connection, std::move(file), name, head, thumbnail ? &keptAs : nullptr);
    }
    if (!file.isFolder()) return notFound(connection);
    std::string folderPath = encodedPath(*path, true);
    if (!path->segments.empty() && !path->trailingSlash) {
        MHD_Response* response = bufferResponse({});
        if (response)
            MHD_add_response_header(response, MHD_HTTP_HEADER_LOCATION, folderPath.c_str());
        return queue(connection, MHD_HTTP_MOVED_PERMANENTLY, response);
    }
    // The listing shows names as they are, not as the URL encodes them.
    std::string shownPath = "/";
    shownPath += path->relative();
    if (!path->segments.empty()) shownPath += '/';
    return answerText(connection, MHD_HTTP_OK, http::htmlListing(shownPath, site.root.list(file)),
                      "text/html; charset=utf-8");
}

MHD_Result servePropfind(const Site& site, MHD_Connection* connection, std::string_view url) {
    auto path = http::parseRequestPath(url);
    if (!path) return notFound(connection);
    OpenedFile file = site.root.open(path->relative());
    if (!file.valid()) return notFound(connection);
    ListedEntry self;
    self.name = path->segments.empty() ? "" : path->segments.back();
    self.folder = file.isFolder();
    self.size = file.info().st_size;
    self.modified = file.info().st_mtime;
    std::vector<ListedEntry> children;
    const char* depth = header(connection, "Depth");
    if (self.folder && !(depth && std::string_view(depth) == "0")) children = site.root.list(file);
    return answerText(connection, MHD_HTTP_MULTI_STATUS,
                      http::multistatus(encodedPath(*path, self.folder), self, children),
                      "text/xml; charset=utf-8");
}

// Per-request state: kStarted once the head has been seen, an IgnoredBody
// while a body is read and dropped.
struct IgnoredBody {
    std::size_t bytes = 0;
};
char kStarted;

MHD_Result dispatch(const Site& site, MHD_Connection* connection, const char* url,
                    std::string_view verb) {
    if (verb == MHD_HTTP_METHOD_GET || verb == MHD_HTTP_METHOD_HEAD) {
        return serveGet(site, connection, url, verb == MHD_HTTP_METHOD_HEAD);
    }
    if (verb == MHD_HTTP_METHOD_PROPFIND) return servePropfind(site, connection, url);
    if (verb == MHD_HTTP_METHOD_OPTIONS) {
        MHD_Response* response = bufferResponse({});
        if (response) {
            MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, kServedMethods);
            MHD_add_response_header(response, "DAV", "1");
        }
        return queue(connection, MHD_HTTP_OK, response);
    }
    MHD_Response* response = bufferResponse("Error 405: Method Not Allowed");
    if (response) MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, kServedMethods);
    return queue(connection, MHD_HTTP_METHOD_NOT_ALLOWED, response);
}

ConnectionLedger::Record* ledgerRecord(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info ? static_cast<ConnectionLedger::Record*>(info->socket_context) : nullptr;
}

MHD_Result answer(void* cls, MHD_Connection* connection, const char* url, const char* method,
                  const char*, const char*, std::size_t* uploadSize, void** state) {
    Site& site = *static_cast<Site*>(cls);
    std::string_view verb(method);
    if (!*state) {
        site.connections->headComplete(ledgerRecord(connection));
        // Refused before its body is read; the library then closes the connection.
        if (isWriteMethod(verb)) return refuseWrite(connection);
        // Answered on the next call, once the library knows the request is
        // whole: a response queued now would end the connection.
        *state = &kStarted;
        return MHD_YES;
    }
    if (*uploadSize > 0) {
        // Bodies (a PROPFIND's XML) are not needed: read and dropped, so that
        // the connection can stay open, up to a bound.
        if (*state == &kStarted) *state = new IgnoredBody;
        auto* body = static_cast<IgnoredBody*>(*state);
        body->bytes += *uploadSize;
        *uploadSize = 0;
        if (body->bytes <= kMaxIgnoredBody) return MHD_YES;
    }
    return dispatch(site, connection, url, verb);
}

void requestDone(void* cls, MHD_Connection* connection, void** state, MHD_RequestTerminationCode) {
    if (*state != &kStarted) delete static_cast<IgnoredBody*>(*state);
    *state = nullptr;
    static_cast<Site*>(cls)->connections->requestDone(ledgerRecord(connection));
}

void connectionNotice(void* cls, MHD_Connection* connection, void** context,
                      MHD_ConnectionNotificationCode code) {
    Site& site = *static_cast<Site*>(cls);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        int fd = -1;
        std::uint32_t address = 0;
        if (const MHD_ConnectionInfo* info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD)) {
            fd = info->connect_fd;
        }
        if (const MHD_ConnectionInfo* info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS)) {
            if (info->client_addr && info->client_addr->sa_family == AF_INET) {
                address = reinterpret_cast<const sockaddr_in*>(info->client_addr)->sin_addr.s_addr;
            }
        }
        // Past its share the library closes a connection as it comes; this
        // one is shut at once, so nothing reaches it, and counts nowhere.
        if (site.shares && !site.shares->take(address)) {
            if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
            *context = nullptr;
            return;
        }
        noteSocketOpened(fd);
        *context = site.connections->accepted(fd, address);
    } else if (auto* record = static_cast<ConnectionLedger::Record*>(*context)) {
        noteSocketClosed(record->fd);
        if (site.shares) site.shares->give(record->address);
        site.connections->closed(record);
        *context = nullptr;
    }
}

// The path is decoded by http::parseRequestPath, which refuses what the
// library's own decoding would let through (an encoded NUL).
std::size_t keepEscapes(void*, MHD_Connection*, char* text) {
    return std::strlen(text);
}

// The library's messages (a refused connection, a full table) can come at
// the rate an attacker connects: a few a minute are enough to tell.
void logMessage(void*, const char* format, va_list args) {
    static std::mutex mutex;
    static OutputBudget budget(10, std::chrono::minutes(1));
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    std::size_t length = std::strlen(text);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) text[--length] = 0;
    std::lock_guard lock(mutex);
    switch (budget.take(1, OutputBudget::Clock::now())) {
        case OutputBudget::Verdict::Allowed:
            consolePrintf("http: %s\n", text);
            break;
        case OutputBudget::Verdict::RanOut:
            consoleWrite("http: more messages this minute are left out\n");
            break;
        case OutputBudget::Verdict::Refused:
            break;
    }
}

}  // namespace

HttpFileServer::Limits HttpFileServer::defaultLimits() {
    Limits limits;
    limits.threads = std::clamp(std::thread::hardware_concurrency(), 2u, 8u);
    return limits;
}

HttpFileServer::HttpFileServer() = default;

HttpFileServer::~HttpFileServer() {
    stop();
}

namespace {

// Why the library could not listen: the same bind, tried once more here,
// gives the reason the library only logs.
PartStart whyNoListener(const sockaddr_in& at) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return partFailure(errno);
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    int error = ::bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 ? errno : 0;
    ::close(fd);
    return error != 0 ? partFailure(error) : PartStart{};
}

}  // namespace

PartStart HttpFileServer::start(const std::string& address, int port,
                                const std::string& serviceRoot, const Limits& limits,
                                SharedCatalogue* catalogue) {
    if (daemon_) return partFailure(EALREADY);
    sockaddr_in bind{};
    bind.sin_family = AF_INET;
    bind.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, address.c_str(), &bind.sin_addr) != 1) {
        PartStart bad;
        bad.cause = StartCause::BadAddress;
        return bad;
    }
    std::shared_ptr<ConnectionLedger> ledger =
        limits.ledger ? limits.ledger
                      : makeConnectionLedger(limits.maxConnections, limits.unfinishedHeads);
    const auto connections = static_cast<unsigned>(ledger->connections());
    auto site = std::make_unique<Site>(HomeLayout(serviceRoot).documentRoot(), std::move(ledger),
                                       catalogue);
    const unsigned lanes = std::max(1u, limits.threads);
    const unsigned perAddress = std::min(limits.perAddress, connections);
    // 0 leaves addresses unlimited, to the library as here.
    if (lanes > 1 && perAddress > 0) site->shares = std::make_unique<AddressShares>(perAddress);
    std::shared_ptr<HttpWorkers> workers =
        limits.workers ? limits.workers : std::make_shared<HttpWorkers>(lanes);
    // Each lane is a daemon on the one listener, as the library's own thread
    // pool shares it, and takes its part of the connections; none has a
    // thread of its own: the workers run them.
    const unsigned total = connections + kLedgerSlack;
    Site* const served = site.get();
    auto startLane = [&](unsigned lane, auto listenOption, auto listener) {
        return MHD_start_daemon(
            MHD_USE_EPOLL | MHD_USE_ERROR_LOG, static_cast<std::uint16_t>(port), nullptr, nullptr,
            &answer, served, MHD_OPTION_EXTERNAL_LOGGER, &logMessage, nullptr,
            MHD_OPTION_SIGPIPE_HANDLED_BY_APP, 1, listenOption, listener,
            MHD_OPTION_CONNECTION_LIMIT, total / lanes + (lane < total % lanes ? 1 : 0),
            MHD_OPTION_PER_IP_CONNECTION_LIMIT, perAddress, MHD_OPTION_CONNECTION_TIMEOUT,
            limits.timeoutSeconds, MHD_OPTION_UNESCAPE_CALLBACK, &keepEscapes, nullptr,
            MHD_OPTION_NOTIFY_COMPLETED, &requestDone, served, MHD_OPTION_NOTIFY_CONNECTION,
            &connectionNotice, served, MHD_OPTION_END);
    };
    // Asked first, so that a port held for a while (tried again every few
    // seconds) does not have the library say so each time.
    if (PartStart free = whyNoListener(bind); !free.running()) return free;
    daemon_ = startLane(0, MHD_OPTION_SOCK_ADDR, reinterpret_cast<sockaddr*>(&bind));
    if (!daemon_) {
        PartStart why = whyNoListener(bind);
        // The bind works now, so something else failed (epoll, memory).
        if (why.running()) why.cause = StartCause::Failed;
        return why;
    }
    workers_ = std::move(workers);
    site_ = std::move(site);
    bool started = workers_->add(daemon_);
    const MHD_DaemonInfo* listener = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_LISTEN_FD);
    for (unsigned lane = 1; started && lane < lanes; ++lane) {
        MHD_Daemon* more = listener ? startLane(lane, MHD_OPTION_LISTEN_SOCKET,
                                                static_cast<MHD_socket>(listener->listen_fd))
                                    : nullptr;
        if (more) lanes_.push_back(more);
        started = more && workers_->add(more);
    }
    if (!started) {
        stop();
        return partFailure(EAGAIN);
    }
    return {};
}

void HttpFileServer::stop() {
    if (!daemon_) return;
    for (MHD_Daemon* lane : lanes_) workers_->remove(lane);
    workers_->remove(daemon_);
    // The listener is the first lane's, to be closed with it.
    for (MHD_Daemon* lane : lanes_) {
        MHD_quiesce_daemon(lane);
        MHD_stop_daemon(lane);
    }
    lanes_.clear();
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    workers_.reset();
    site_.reset();
}

int HttpFileServer::port() const {
    if (!daemon_) return 0;
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
    return info ? info->port : 0;
}

}  // namespace zorvex
