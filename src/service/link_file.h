#pragma once

#include <optional>
#include <string>
#include <string_view>

// The link file file_root/<key>: it leads the HTTP server from a key to the
// real video and lets the catalogue be rebuilt at start. Pure byte layout.
namespace zorvex {

inline constexpr std::size_t kMaxPathBytes = 1023;
inline constexpr std::size_t kLinkFileReadLimit = 4096;

struct LinkFileRecord {
    int type = 0;  // 1 or 2
    bool exists = false;
    bool hasThumbnail = false;
    std::string name;
    std::string key;
    std::string path;
};

// magic, type, exists, hasThumbnail, then name, key and path each behind a 16-bit length.
std::string encodeLinkFile(const LinkFileRecord& record);

// Reads a link file defensively: nullopt for a missing magic, lengths reaching
// past the end, an empty name or one longer than a path may be (the whole
// file name is stored, not what phones are shown), a key that is not 32
// lowercase hex digits, a type other than 1 or 2, or an empty or over-long
// path. Only the first 4096 bytes are looked at, as the server reads no more.
std::optional<LinkFileRecord> parseLinkFile(std::string_view bytes);

bool isCatalogueKey(std::string_view text);

}  // namespace zorvex
