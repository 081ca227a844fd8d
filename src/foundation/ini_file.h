#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/utf16_text.h"

namespace zorvex {

// An INI document that reads and writes like the Windows private-profile
// functions, so a config.ini edited by hand or carried over keeps working:
// section and key names match regardless of ASCII case and surrounding blanks,
// a value loses its surrounding blanks and one pair of enclosing quotes, the
// first of duplicate sections or keys wins, and a write replaces or appends
// one key while every other line (comments, unknown keys, line ends) stays
// byte for byte. Not thread-safe; UTF-8 text.
class IniFile {
public:
    IniFile() = default;
    static IniFile parse(std::string_view text);
    // A missing or unreadable file gives an empty document.
    static IniFile load(const std::string& path);

    std::string text() const;
    // Atomic: a crash leaves the old file or the new one. error, when given,
    // receives the cause of a failure.
    bool save(const std::string& path, std::error_code* error = nullptr) const;

    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    // The value, or fallback when the key is missing; cut to maxUnits UTF-16
    // code units (a buffer of maxUnits + 1 characters on Windows).
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view fallback, std::size_t maxUnits) const;
    // Leading blanks, an optional sign and the leading digits, wrapping at 32
    // bits; fallback when the key is missing, empty or starts with no digit.
    std::int32_t readInt(std::string_view section, std::string_view key,
                         std::int32_t fallback) const;

    // Replaces the key's line or appends the key to its section (the section to
    // the file). False, with the document unchanged, for text that cannot be
    // stored on one line: a line break or NUL in any part, '=' in the key, ']'
    // in the section.
    bool write(std::string_view section, std::string_view key, std::string_view value);

private:
    struct Line {
        std::string content;  // without its line end
        std::string end;      // "\r\n", "\n" or "" for a last line without one
    };
    // Index of the section's header line, or npos.
    std::size_t findSection(std::string_view section) const;
    // Index of the key's line in the section starting at header, or npos.
    std::size_t findKey(std::size_t header, std::string_view key) const;
    std::size_t sectionEnd(std::size_t header) const;  // index after its last line

    std::vector<Line> lines_;
    std::string lineEnd_ = "\n";  // for new lines: the document's own style
};

}  // namespace zorvex
