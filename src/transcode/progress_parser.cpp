#include "transcode/progress_parser.h"

#include "transcode/convert_param.h"

namespace zorvex {

namespace {
// A line longer than this is not a progress line; keep memory bounded.
constexpr std::size_t kMaxLine = std::size_t{64} * 1024;
}  // namespace

std::optional<std::uint32_t> ProgressParser::takeLine(std::string_view line) {
    auto at = line.rfind("time=");
    if (at == std::string_view::npos) return std::nullopt;
    sawProgress_ = true;
    return parseClockTime(line.substr(at + 5));
}

std::optional<std::uint32_t> ProgressParser::feed(std::string_view bytes) {
    std::optional<std::uint32_t> latest;
    for (char c : bytes) {
        if (c == '\r' || c == '\n') {
            if (auto seconds = takeLine(partial_)) latest = seconds;
            partial_.clear();
        } else if (partial_.size() < kMaxLine) {
            partial_ += c;
        }
    }
    return latest;
}

}  // namespace zorvex
