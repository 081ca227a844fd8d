#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvex {

// Follows FFmpeg's progress through its whole output, line by line: FFmpeg
// ends progress lines with a carriage return, other lines with a line feed,
// and a read may end in the middle of either.
class ProgressParser {
public:
    // Feeds the next bytes of output; returns the seconds of the last whole
    // line in them that holds "time=HH:MM:SS", if any.
    std::optional<std::uint32_t> feed(std::string_view bytes);
    // True once any line held "time=", readable or not (N/A, negative).
    bool sawProgress() const { return sawProgress_; }

private:
    std::optional<std::uint32_t> takeLine(std::string_view line);

    std::string partial_;
    bool sawProgress_ = false;
};

// The line of FFmpeg's output that says why it failed: the last one that
// names an error, else the last that is neither progress nor FFmpeg's own
// closing "Conversion failed!"; at most 160 bytes, cut at a character. Empty
// when there is none.
std::string LastErrorLine(std::string_view output);

}  // namespace zorvex
