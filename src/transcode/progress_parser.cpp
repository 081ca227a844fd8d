#include "transcode/progress_parser.h"

#include <algorithm>
#include <cctype>

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

std::string LastErrorLine(std::string_view output) {
    constexpr std::size_t kMaxReason = 160;
    auto lower = [](std::string_view text) {
        std::string out(text);
        std::transform(out.begin(), out.end(), out.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return out;
    };
    std::string_view fallback;
    std::string_view found;
    std::size_t end = output.size();
    while (end > 0 && found.empty()) {
        std::size_t begin = output.find_last_of("\r\n", end - 1);
        begin = begin == std::string_view::npos ? 0 : begin + 1;
        std::string_view line = output.substr(begin, end - begin);
        end = begin == 0 ? 0 : begin - 1;
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
            line.remove_suffix(1);
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front())))
            line.remove_prefix(1);
        if (line.empty() || line == "Conversion failed!") continue;
        if (line.find("time=") != std::string_view::npos) continue;  // progress
        const std::string folded = lower(line);
        for (const char* word : {"error", "invalid", "no such", "not found", "denied", "unknown",
                                 "unable", "cannot", "could not", "failed"}) {
            if (folded.find(word) != std::string::npos) found = line;
        }
        if (fallback.empty()) fallback = line;
    }
    std::string reason(found.empty() ? fallback : found);
    if (reason.size() > kMaxReason) {
        std::size_t cut = kMaxReason;
        // Back to the start of a UTF-8 character.
        while (cut > 0 && (static_cast<unsigned char>(reason[cut]) & 0xC0) == 0x80) --cut;
        reason.resize(cut);
    }
    return reason;
}

}  // namespace zorvex
