#include "service/link_frame.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace zorvex::wire {

void putU16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

void putU32(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xFF);
}

std::uint16_t getU16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t getU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

namespace {

bool startsWithMagic(std::string_view bytes, const char (&magic)[4]) {
    return bytes.size() >= 4 && std::memcmp(bytes.data(), magic, 4) == 0;
}

std::string frameHeader(std::uint16_t command) {
    std::string out(kMagic, 4);
    out += static_cast<char>(kVersion);
    putU16(out, command);
    return out;
}

}  // namespace

Request parseRequest(std::string_view received) {
    unsigned char head[kRequestSize] = {};
    std::memcpy(head, received.data(), std::min(received.size(), kRequestSize));
    Request request;
    if (std::memcmp(head, kMagic, 4) != 0 || head[4] != kVersion) return request;
    std::uint16_t command = getU16(head + 5);
    if (command != CMD_LIST_SOURCE && command != CMD_LIST_CONVERTED) return request;
    request.kind = Request::Kind::List;
    request.listType = command == CMD_LIST_SOURCE ? 1 : 2;
    request.stamp = getU32(head + 7);
    return request;
}

std::string encodeRequest(std::uint16_t command, std::uint32_t stamp) {
    std::string out = frameHeader(command);
    putU32(out, stamp);
    return out;
}

std::string rejectionReply() {
    std::string out = frameHeader(CMD_REJECT);
    out.append(3, '\0');
    return out;
}

std::string encodeListResponse(std::uint16_t command, std::uint32_t stamp, std::string_view body) {
    std::string out = frameHeader(command);
    out.reserve(kResponseOverhead + body.size());
    putU32(out, stamp);
    out.append(body);
    out.append(kTrailer, 4);
    return out;
}

Decoded decodeListResponse(std::string_view bytes) {
    Decoded result;
    if (bytes.size() < 4) return result;
    if (!startsWithMagic(bytes, kMagic)) {
        result.status = Decoded::Status::Bad;
        return result;
    }
    if (bytes.size() < kRejectionSize) return result;
    auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    if (p[4] != kVersion) {
        result.status = Decoded::Status::Bad;
        return result;
    }
    std::uint16_t command = getU16(p + 5);
    if (command == CMD_REJECT) {
        result.status = Decoded::Status::Rejected;
        result.used = kRejectionSize;
        return result;
    }
    if (bytes.size() < kResponseOverhead) return result;
    result.response.command = command;
    result.response.stamp = getU32(p + 7);
    if (std::memcmp(p + 11, kTrailer, 4) == 0) {
        result.status = Decoded::Status::Ok;
        result.used = kResponseOverhead;
        return result;
    }
    // A body: its entry count, then each entry sized by its own lengths.
    std::size_t pos = 11;
    std::uint32_t count = getU32(p + pos);
    pos += 4;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (bytes.size() < pos + 4) return result;
        std::size_t nameLen = getU16(p + pos + 2);
        if (bytes.size() < pos + 6 + nameLen) return result;
        std::size_t keyLen = getU16(p + pos + 4 + nameLen);
        pos += 6 + nameLen + keyLen;
        if (i > 4096) {  // no list is this long; a stream out of step
            result.status = Decoded::Status::Bad;
            return result;
        }
    }
    if (bytes.size() < pos + 4) return result;
    if (std::memcmp(p + pos, kTrailer, 4) != 0) {
        result.status = Decoded::Status::Bad;
        return result;
    }
    result.status = Decoded::Status::Ok;
    result.used = pos + 4;
    result.response.hasBody = true;
    result.response.body.assign(bytes.substr(11, pos - 11));
    return result;
}

std::string encodeWireEntry(const WireEntry& entry) {
    std::string out;
    out += static_cast<char>(entry.exists ? 1 : 0);
    out += static_cast<char>(entry.hasThumbnail ? 1 : 0);
    putU16(out, static_cast<std::uint16_t>(entry.name.size()));
    out += entry.name;
    putU16(out, static_cast<std::uint16_t>(entry.key.size()));
    out += entry.key;
    return out;
}

std::optional<std::vector<WireEntry>> decodeListBody(std::string_view body) {
    if (body.size() < 4) return std::nullopt;
    auto* p = reinterpret_cast<const unsigned char*>(body.data());
    std::uint32_t count = getU32(p);
    std::vector<WireEntry> entries;
    std::size_t pos = 4;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (body.size() < pos + 4) return std::nullopt;
        WireEntry entry;
        entry.exists = p[pos] != 0;
        entry.hasThumbnail = p[pos + 1] != 0;
        std::size_t nameLen = getU16(p + pos + 2);
        pos += 4;
        if (body.size() < pos + nameLen + 2) return std::nullopt;
        entry.name.assign(body.substr(pos, nameLen));
        pos += nameLen;
        std::size_t keyLen = getU16(p + pos);
        pos += 2;
        if (body.size() < pos + keyLen) return std::nullopt;
        entry.key.assign(body.substr(pos, keyLen));
        pos += keyLen;
        entries.push_back(std::move(entry));
    }
    if (pos != body.size()) return std::nullopt;
    return entries;
}

std::string buildDiscoveryPacket(std::string_view address) {
    std::string out(kMagic, 4);
    out += static_cast<char>(kVersion);
    std::string field(address.substr(0, 63));
    field.resize(64, '\0');
    out += field;
    putU32(out, kHttpPort);
    putU32(out, kLinkPort);
    return out;
}

std::optional<Discovery> parseDiscoveryPacket(std::string_view packet) {
    if (packet.size() < kDiscoveryPacketSize || !startsWithMagic(packet, kMagic) ||
        static_cast<unsigned char>(packet[4]) != kVersion) {
        return std::nullopt;
    }
    auto* p = reinterpret_cast<const unsigned char*>(packet.data());
    Discovery found;
    std::string_view field = packet.substr(5, 64);
    found.address.assign(field.substr(0, field.find('\0')));
    found.httpPort = getU32(p + 69);
    found.linkPort = getU32(p + 73);
    return found;
}

bool readDottedQuad(std::string_view text, unsigned (&parts)[4]) {
    std::string copy(text);  // sscanf needs a terminated string
    int used = 0;
    return std::sscanf(copy.c_str(), "%u.%u.%u.%u%n", &parts[0], &parts[1], &parts[2], &parts[3],
                       &used) == 4;
}

std::string broadcastAddressFor(std::string_view address) {
    unsigned parts[4];
    if (!readDottedQuad(address, parts)) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", static_cast<int>(parts[0]),
                  static_cast<int>(parts[1]), static_cast<int>(parts[2]), 255);
    return text;
}

std::uint32_t msClock() {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::system_clock::now().time_since_epoch())
                  .count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

std::string hexDump(std::string_view label, std::string_view bytes) {
    std::string out(label);
    out += ":\n";
    char cell[8];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(cell, sizeof cell, "%02X ", static_cast<unsigned char>(bytes[i]));
        out += cell;
        if (i % 4 == 3) out += ' ';
        if (i % 16 == 15 || i + 1 == bytes.size()) out += '\n';
    }
    return out;
}

std::string hexDumpHead(std::string_view label, std::string_view bytes, std::size_t maxBytes) {
    if (bytes.size() <= maxBytes) return hexDump(label, bytes);
    std::string out = hexDump(label, bytes.substr(0, maxBytes));
    out += "... " + std::to_string(bytes.size()) + " bytes\n";
    return out;
}

}  // namespace zorvex::wire
