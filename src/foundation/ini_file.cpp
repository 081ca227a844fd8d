#include "foundation/ini_file.h"

#include <cctype>

#include "platform/ascii.h"
#include "platform/file_util.h"

namespace zorvex {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string_view trim(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// The section name of a header line "[name]", or nullopt for other lines.
std::optional<std::string_view> headerName(std::string_view content) {
    content = trim(content);
    if (content.empty() || content.front() != '[') return std::nullopt;
    auto close = content.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return trim(content.substr(1, close - 1));
}

// Splits "key = value"; nullopt for comments and lines without '='.
std::optional<std::pair<std::string_view, std::string_view>> keyValue(std::string_view content) {
    std::string_view trimmed = trim(content);
    if (trimmed.empty() || trimmed.front() == ';') return std::nullopt;
    auto equals = trimmed.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    return std::pair{trim(trimmed.substr(0, equals)), trim(trimmed.substr(equals + 1))};
}

std::string unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

// Quotes a value that reading would otherwise change (surrounding blanks, or
// enclosing quotes that reading would strip).
std::string storedValue(std::string_view value) {
    bool blankEdge = !value.empty() && (trim(value).size() != value.size());
    bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                  value.back() == value.front();
    if (!blankEdge && !quoted) return std::string(value);
    return "\"" + std::string(value) + "\"";
}

bool oneLine(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

}  // namespace

IniFile IniFile::parse(std::string_view text) {
    IniFile file;
    bool firstEnd = true;
    while (!text.empty()) {
        auto newline = text.find('\n');
        Line line;
        if (newline == std::string_view::npos) {
            line.content = std::string(text);
            text = {};
        } else {
            std::size_t contentEnd = newline;
            if (contentEnd > 0 && text[contentEnd - 1] == '\r') --contentEnd;
            line.content = std::string(text.substr(0, contentEnd));
            line.end = std::string(text.substr(contentEnd, newline + 1 - contentEnd));
            text.remove_prefix(newline + 1);
            if (firstEnd) file.lineEnd_ = line.end;
            firstEnd = false;
        }
        file.lines_.push_back(std::move(line));
    }
    return file;
}

IniFile IniFile::load(const std::string& path) {
    auto text = readWholeFile(path);
    return text ? parse(*text) : IniFile();
}

std::string IniFile::text() const {
    std::string text;
    for (const auto& line : lines_) text += line.content + line.end;
    return text;
}

bool IniFile::save(const std::string& path, std::error_code* error) const {
    return writeFileAtomic(path, text(), error);
}

std::size_t IniFile::findSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        std::string_view content = lines_[i].content;
        if (i == 0 && content.starts_with(kBom)) content.remove_prefix(kBom.size());
        auto name = headerName(content);
        if (name && equalsIgnoringCase(*name, trim(section))) return i;
    }
    return std::string::npos;
}

std::size_t IniFile::sectionEnd(std::size_t header) const {
    std::size_t i = header + 1;
    while (i < lines_.size() && !headerName(lines_[i].content)) ++i;
    return i;
}

std::size_t IniFile::findKey(std::size_t header, std::string_view key) const {
    std::size_t end = sectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        auto pair = keyValue(lines_[i].content);
        if (pair && equalsIgnoringCase(pair->first, trim(key))) return i;
    }
    return std::string::npos;
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
    std::size_t header = findSection(section);
    if (header == std::string::npos) return std::nullopt;
    std::size_t line = findKey(header, key);
    if (line == std::string::npos) return std::nullopt;
    return unquote(keyValue(lines_[line].content)->second);
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view fallback, std::size_t maxUnits) const {
    auto found = value(section, key);
    return truncateUtf16Units(found ? std::string_view(*found) : fallback, maxUnits);
}

std::int32_t IniFile::readInt(std::string_view section, std::string_view key,
                              std::int32_t fallback) const {
    auto found = value(section, key);
    if (!found) return fallback;
    std::string_view text = trim(*found);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text.front()))) return fallback;
    std::uint32_t number = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) break;
        number = number * 10u + static_cast<std::uint32_t>(c - '0');
    }
    if (negative) number = 0u - number;
    return static_cast<std::int32_t>(number);
}

bool IniFile::write(std::string_view section, std::string_view key, std::string_view value) {
    section = trim(section);
    key = trim(key);
    if (section.empty() || key.empty() || !oneLine(section) || !oneLine(key) || !oneLine(value) ||
        key.find('=') != std::string_view::npos || key.front() == '[' || key.front() == ';' ||
        section.find(']') != std::string_view::npos) {
        return false;
    }
    std::string content = std::string(key) + "=" + storedValue(value);

    std::size_t header = findSection(section);
    if (header != std::string::npos) {
        std::size_t line = findKey(header, key);
        if (line != std::string::npos) {
            lines_[line].content = std::move(content);
            return true;
        }
        // After the section's last non-blank line, so the blank line that
        // separates it from the next section stays where it was.
        std::size_t at = sectionEnd(header);
        while (at > header + 1 && trim(lines_[at - 1].content).empty()) --at;
        if (lines_[at - 1].end.empty()) lines_[at - 1].end = lineEnd_;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{content, lineEnd_});
        return true;
    }

    if (!lines_.empty()) {
        if (lines_.back().end.empty()) lines_.back().end = lineEnd_;
        if (!trim(lines_.back().content).empty()) lines_.push_back(Line{"", lineEnd_});
    }
    lines_.push_back(Line{"[" + std::string(section) + "]", lineEnd_});
    lines_.push_back(Line{std::move(content), lineEnd_});
    return true;
}

}  // namespace zorvex
