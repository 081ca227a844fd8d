#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The parts of an HTTP request that the file service reads before it touches
// a file: the path, the Range header and the validators. Pure functions over
// text, no sockets and no files, so that hostile input can be tried directly.
namespace zorvex::http {

// An inclusive byte range, already cut to the representation's size.
struct ByteRange {
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::int64_t length() const { return last - first + 1; }
};

struct RangeRequest {
    enum class Kind {
        None,           // no Range, or one that is ignored: answer 200 with the whole body
        Satisfiable,    // answer 206 with `ranges`
        Unsatisfiable,  // answer 416
    };
    Kind kind = Kind::None;
    std::vector<ByteRange> ranges;  // in request order, when Satisfiable
};

// More ranges than this in one header are ignored rather than answered.
inline constexpr std::size_t kMaxRanges = 64;

// Reads a Range header field value for a representation of `size` bytes by
// the grammar of RFC 9110: "bytes" (any case), "=", then a comma-separated
// list of "first-last", "first-" and "-suffix" made of digits only. A value
// that does not follow it (a sign, a second dash, another unit) is ignored,
// as are more than kMaxRanges ranges and, as nginx does, ranges that ask for
// more bytes than the file holds (overlaps). Ranges that start past the end
// are dropped; when none is left the request is unsatisfiable.
RangeRequest parseRange(std::string_view header, std::int64_t size);

// A request path split into its decoded segments. Empty segments are
// dropped; trailingSlash tells "/image/" from "/image".
struct RequestPath {
    std::vector<std::string> segments;
    bool trailingSlash = false;
    // The segments joined with '/', without a leading one ("" for the root).
    std::string relative() const;
};

// Decodes the raw path of a request (before any "?"). nullopt for anything
// the file service must not look up: no leading '/', a broken %-escape, an
// encoded NUL, a backslash, or a segment that starts with '.' (which covers
// "." and ".." and keeps hidden and temporary files out of reach).
std::optional<RequestPath> parseRequestPath(std::string_view raw);

// The content type for a file name by its extension, "text/plain" for
// unknown ones, as the first build's server chose.
std::string_view contentTypeFor(std::string_view fileName);

// "\"<mtime in hex>.<size>\"", the form phones have cached.
std::string entityTag(std::time_t modified, std::int64_t size);
// True if an If-None-Match value names the tag (or is "*"); weak tags compare
// by their opaque part.
bool entityTagMatches(std::string_view ifNoneMatch, std::string_view tag);

// IMF-fixdate ("Sun, 06 Nov 1994 08:49:37 GMT") whatever the locale.
std::string httpDate(std::time_t when);
std::optional<std::time_t> parseHttpDate(std::string_view text);

// For listings: a name as one URL path segment, and as HTML text.
std::string percentEncodeSegment(std::string_view name);
std::string htmlEscape(std::string_view text);

}  // namespace zorvex::http
