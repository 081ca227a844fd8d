#include "service/http_request.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/ascii.h"

namespace zorvex::http {

namespace {

constexpr std::int64_t kMaxOffset = std::numeric_limits<std::int64_t>::max();

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

// 1*DIGIT, saturating: a position past any file is as good as infinity.
std::optional<std::int64_t> readDigits(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (!isDigit(c)) return std::nullopt;
        int digit = c - '0';
        value = value > (kMaxOffset - digit) / 10 ? kMaxOffset : value * 10 + digit;
    }
    return value;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

RangeRequest parseRange(std::string_view header, std::int64_t size) {
    RangeRequest none;
    auto equals = header.find('=');
    if (equals == std::string_view::npos ||
        !equalsIgnoringCase(header.substr(0, equals), "bytes")) {
        return none;
    }
    std::string_view set = header.substr(equals + 1);
    RangeRequest result;
    std::size_t specs = 0;
    while (true) {
        auto comma = set.find(',');
        std::string_view spec = trim(set.substr(0, comma));
        if (!spec.empty()) {
            if (++specs > kMaxRanges) return none;
            auto dash = spec.find('-');
            if (dash == std::string_view::npos) return none;
            std::string_view before = spec.substr(0, dash);
            std::string_view after = spec.substr(dash + 1);
            if (before.empty()) {
                auto suffix = readDigits(after);
                if (!suffix) return none;
                if (*suffix > 0 && size > 0) {
                    result.ranges.push_back({std::max<std::int64_t>(0, size - *suffix), size - 1});
                }
            } else {
                auto first = readDigits(before);
                if (!first) return none;
                std::int64_t last = kMaxOffset;
                if (!after.empty()) {
                    auto given = readDigits(after);
                    if (!given || *given < *first) return none;
                    last = *given;
                }
                if (*first < size) result.ranges.push_back({*first, std::min(last, size - 1)});
            }
        }
        if (comma == std::string_view::npos) break;
        set.remove_prefix(comma + 1);
    }
    if (specs == 0) return none;
    if (result.ranges.empty()) {
        result.kind = RangeRequest::Kind::Unsatisfiable;
        return result;
    }
    // Overlapping ranges would let a short request ask for the file many times.
    std::int64_t total = 0;
    for (const ByteRange& range : result.ranges) {
        total += range.length();
        if (result.ranges.size() > 1 && total > size) return none;
    }
    result.kind = RangeRequest::Kind::Satisfiable;
    return result;
}

std::string RequestPath::relative() const {
    std::string out;
    for (const std::string& segment : segments) {
        if (!out.empty()) out += '/';
        out += segment;
    }
    return out;
}

std::optional<RequestPath> parseRequestPath(std::string_view raw) {
    if (raw.empty() || raw.front() != '/') return std::nullopt;
    std::string decoded;
    decoded.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '%') {
            if (i + 2 >= raw.size()) return std::nullopt;
            int high = hexValue(raw[i + 1]);
            int low = hexValue(raw[i + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            c = static_cast<char>(high * 16 + low);
            i += 2;
        }
        if (c == '\0' || c == '\\') return std::nullopt;
        decoded += c;
    }
    RequestPath path;
    path.trailingSlash = decoded.size() > 1 && decoded.back() == '/';
    std::string_view rest(decoded);
    while (!rest.empty()) {
        auto slash = rest.find('/');
        std::string_view segment = rest.substr(0, slash);
        if (!segment.empty()) {
            if (segment.front() == '.') return std::nullopt;
            path.segments.emplace_back(segment);
        }
        if (slash == std::string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }
    return path;
}

std::string_view contentTypeFor(std::string_view fileName) {
    struct Type {
        const char* extension;
        const char* type;
    };
    static constexpr Type kTypes[] = {
        {"3gp", "video/3gpp"},        {"aac", "audio/aac"},
        {"avi", "video/x-msvideo"},   {"bmp", "image/bmp"},
        {"css", "text/css"},          {"flac", "audio/flac"},
        {"flv", "video/x-flv"},       {"gif", "image/gif"},
        {"htm", "text/html"},         {"html", "text/html"},
        {"ico", "image/x-icon"},      {"jpeg", "image/jpeg"},
        {"jpg", "image/jpeg"},        {"js", "application/javascript"},
        {"json", "application/json"}, {"m3u8", "application/x-mpegurl"},
        {"m4a", "audio/mp4"},         {"m4v", "video/x-m4v"},
        {"mkv", "video/x-matroska"},  {"mov", "video/quicktime"},
        {"mp3", "audio/mpeg"},        {"mp4", "video/mp4"},
        {"mpeg", "video/mpeg"},       {"mpg", "video/mpeg"},
        {"oga", "audio/ogg"},         {"ogg", "application/ogg"},
        {"ogv", "video/ogg"},         {"pdf", "application/pdf"},
        {"png", "image/png"},         {"svg", "image/svg+xml"},
        {"ts", "video/mp2t"},         {"txt", "text/plain"},
        {"wav", "audio/x-wav"},       {"webm", "video/webm"},
        {"webp", "image/webp"},       {"wmv", "video/x-ms-wmv"},
        {"xml", "text/xml"},          {"zip", "application/zip"},
    };
    auto dot = fileName.rfind('.');
    auto slash = fileName.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return "text/plain";
    }
    std::string_view extension = fileName.substr(dot + 1);
    for (const Type& type : kTypes) {
        if (equalsIgnoringCase(extension, type.extension)) return type.type;
    }
    return "text/plain";
}

std::string entityTag(std::time_t modified, std::int64_t size) {
    char tag[64];
    std::snprintf(tag, sizeof tag, "\"%lx.%" PRId64 "\"", static_cast<unsigned long>(modified),
                  size);
    return tag;
}

bool entityTagMatches(std::string_view ifNoneMatch, std::string_view tag) {
    auto opaque = [](std::string_view t) {
        t = trim(t);
        if (t.size() >= 2 && (t[0] == 'W' || t[0] == 'w') && t[1] == '/') t.remove_prefix(2);
        return t;
    };
    std::string_view want = opaque(tag);
    while (true) {
        auto comma = ifNoneMatch.find(',');
        std::string_view candidate = trim(ifNoneMatch.substr(0, comma));
        if (candidate == "*" || (!candidate.empty() && opaque(candidate) == want)) return true;
        if (comma == std::string_view::npos) return false;
        ifNoneMatch.remove_prefix(comma + 1);
    }
}

std::string httpDate(std::time_t when) {
    // Each answer wants the current second and its file's date; both repeat
    // from request to request.
    struct Cached {
        std::time_t when = -1;
        std::string text;
    };
    thread_local Cached cache[2];
    thread_local int next = 0;
    for (const Cached& entry : cache) {
        if (entry.when == when) return entry.text;
    }
    std::tm parts{};
    gmtime_r(&when, &parts);
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT",
                  kDays[parts.tm_wday % 7], parts.tm_mday, kMonths[parts.tm_mon % 12],
                  parts.tm_year + 1900, parts.tm_hour, parts.tm_min, parts.tm_sec);
    cache[next] = {when, text};
    next ^= 1;
    return text;
}

std::optional<std::time_t> parseHttpDate(std::string_view text) {
    // "Sun, 06 Nov 1994 08:49:37 GMT": fixed widths, English names.
    text = trim(text);
    if (text.size() != 29 || text.substr(3, 2) != ", " || text.substr(25) != " GMT") {
        return std::nullopt;
    }
    auto number = [&](std::size_t at, std::size_t width) -> int {
        int value = 0;
        for (std::size_t i = at; i < at + width; ++i) {
            if (!isDigit(text[i])) return -1;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    std::tm parts{};
    parts.tm_mday = number(5, 2);
    parts.tm_mon = -1;
    for (int m = 0; m < 12; ++m) {
        if (text.substr(8, 3) == kMonths[m]) parts.tm_mon = m;
    }
    parts.tm_year = number(12, 4) - 1900;
    parts.tm_hour = number(17, 2);
    parts.tm_min = number(20, 2);
    parts.tm_sec = number(23, 2);
    if (parts.tm_mday < 1 || parts.tm_mday > 31 || parts.tm_mon < 0 || parts.tm_year < 70 ||
        parts.tm_hour < 0 || parts.tm_hour > 23 || parts.tm_min < 0 || parts.tm_min > 59 ||
        parts.tm_sec < 0 || parts.tm_sec > 59 || text[7] != ' ' || text[11] != ' ' ||
        text[16] != ' ' || text[19] != ':' || text[22] != ':') {
        return std::nullopt;
    }
    std::tm asked = parts;
    std::time_t when = timegm(&parts);
    // timegm moves "31 Feb" on to March; such a day does not exist.
    if (parts.tm_mday != asked.tm_mday || parts.tm_mon != asked.tm_mon) return std::nullopt;
    return when;
}

std::string percentEncodeSegment(std::string_view name) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : name) {
        auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || isDigit(c) ||
            std::string_view("-._~").find(c) != std::string_view::npos) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

std::string htmlEscape(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace zorvex::http
