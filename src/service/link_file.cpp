#include "service/link_file.h"

#include <cstring>

#include "service/link_frame.h"

namespace zorvex {

using wire::getU16;
using wire::putU16;

std::string encodeLinkFile(const LinkFileRecord& record) {
    std::string out(wire::kMagic, 4);
    out += static_cast<char>(record.type);
    out += static_cast<char>(record.exists ? 1 : 0);
    out += static_cast<char>(record.hasThumbnail ? 1 : 0);
    for (const std::string* field : {&record.name, &record.key, &record.path}) {
        putU16(out, static_cast<std::uint16_t>(field->size()));
        out += *field;
    }
    return out;
}

bool isCatalogueKey(std::string_view text) {
    if (text.size() != 32) return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

std::optional<LinkFileRecord> parseLinkFile(std::string_view bytes) {
    bytes = bytes.substr(0, std::min(bytes.size(), kLinkFileReadLimit));
    if (bytes.size() < 13 || std::memcmp(bytes.data(), wire::kMagic, 4) != 0) return std::nullopt;
    auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    LinkFileRecord record;
    record.type = p[4];
    record.exists = p[5] != 0;
    record.hasThumbnail = p[6] != 0;
    if (record.type != 1 && record.type != 2) return std::nullopt;

    std::size_t pos = 7;
    std::string* fields[] = {&record.name, &record.key, &record.path};
    for (std::string* field : fields) {
        if (bytes.size() < pos + 2) return std::nullopt;
        std::size_t length = getU16(p + pos);
        pos += 2;
        if (bytes.size() < pos + length) return std::nullopt;
        field->assign(bytes.substr(pos, length));
        pos += length;
    }
    if (record.name.empty() || record.name.size() > kMaxPathBytes || !isCatalogueKey(record.key) ||
        record.path.empty() || record.path.size() > kMaxPathBytes ||
        record.path.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return record;
}

}  // namespace zorvex
