// The HTTP request path before any file is touched: the request path, the
// Range header against a size taken from the input, and the validators.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "service/http_request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace http = zorvex::http;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::int64_t fileSize = 0;
    if (size >= 8) {
        std::memcpy(&fileSize, data, 8);
        fileSize = fileSize < 0 ? -(fileSize + 1) : fileSize;
    }
    for (std::int64_t length : {fileSize, std::int64_t{0}, std::int64_t{5000}}) {
        http::RangeRequest range = http::parseRange(bytes, length);
        if (range.ranges.size() > http::kMaxRanges) __builtin_trap();
        for (const http::ByteRange& r : range.ranges) {
            if (r.first < 0 || r.last < r.first || r.last >= length) __builtin_trap();
        }
        if ((range.kind == http::RangeRequest::Kind::Satisfiable) == range.ranges.empty()) {
            __builtin_trap();
        }
    }
    if (auto path = http::parseRequestPath(bytes)) {
        for (const std::string& segment : path->segments) {
            if (segment.empty() || segment[0] == '.' || segment.find('/') != std::string::npos ||
                segment.find('\0') != std::string::npos ||
                segment.find('\\') != std::string::npos) {
                __builtin_trap();
            }
        }
    }
    http::entityTagMatches(bytes, "\"5f5e100.5000\"");
    // A date read back is written as it was read, but for the weekday.
    if (auto when = http::parseHttpDate(bytes); when && bytes.size() == 29) {
        if (http::httpDate(*when).substr(3) != bytes.substr(3)) __builtin_trap();
    }
    http::contentTypeFor(bytes);
    http::percentEncodeSegment(bytes);
    http::htmlEscape(bytes);
    return 0;
}
