#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The bytes of the phone link: request frames, list responses, the rejection
// reply and the discovery packet. Pure functions over bytes, no sockets.
namespace zorvex::wire {

inline constexpr std::uint16_t kDiscoveryPort = 7171;
inline constexpr std::uint16_t kHttpPort = 11717;
inline constexpr std::uint16_t kLinkPort = 11718;

inline constexpr char kMagic[4] = {'q', 'b', 'v', 'r'};
inline constexpr char kTrailer[4] = {'r', 'v', 'b', 'q'};
inline constexpr std::uint8_t kVersion = 1;

inline constexpr std::uint16_t CMD_LIST_SOURCE = 256;
inline constexpr std::uint16_t CMD_LIST_CONVERTED = 257;
inline constexpr std::uint16_t CMD_REJECT = 0xFFFF;

inline constexpr std::size_t kRequestSize = 11;
inline constexpr std::size_t kRejectionSize = 10;
inline constexpr std::size_t kResponseOverhead = 15;  // header and trailer around a body
inline constexpr std::size_t kDiscoveryPacketSize = 77;

// Little-endian helpers shared by every layout of the link.
void putU16(std::string& out, std::uint16_t value);
void putU32(std::string& out, std::uint32_t value);
std::uint16_t getU16(const unsigned char* p);
std::uint32_t getU32(const unsigned char* p);

// What one received block asks for. A block is read as the phones' peer
// reads it: only its first 11 bytes count, missing bytes read as zero.
struct Request {
    enum class Kind { List, Reject };
    Kind kind = Kind::Reject;
    int listType = 0;  // 1 or 2 when kind is List
    std::uint32_t stamp = 0;
};
Request parseRequest(std::string_view received);

std::string encodeRequest(std::uint16_t command, std::uint32_t stamp);
std::string rejectionReply();

// body: the list body (count and wire forms), or empty for the 15-byte answer.
std::string encodeListResponse(std::uint16_t command, std::uint32_t stamp, std::string_view body);

// Client side: a response decoded from the start of a byte stream.
struct ListResponse {
    std::uint16_t command = 0;
    std::uint32_t stamp = 0;
    bool hasBody = false;
    std::string body;
};
struct Decoded {
    enum class Status { Ok, Incomplete, Rejected, Bad };
    Status status = Status::Incomplete;
    std::size_t used = 0;  // bytes the frame took, when Ok or Rejected
    ListResponse response;
};
// Tells a bodiless response from one with a body by the trailer at offset 11.
Decoded decodeListResponse(std::string_view bytes);

// One entry of a list body as phones see it.
struct WireEntry {
    bool exists = false;
    bool hasThumbnail = false;
    std::string name;
    std::string key;
};
std::string encodeWireEntry(const WireEntry& entry);
// nullopt when the body is malformed or does not hold exactly its count of entries.
std::optional<std::vector<WireEntry>> decodeListBody(std::string_view body);

// Discovery packet: magic, version, the address padded to 64 bytes, the two ports.
std::string buildDiscoveryPacket(std::string_view address);
struct Discovery {
    std::string address;
    std::uint32_t httpPort = 0;
    std::uint32_t linkPort = 0;
};
std::optional<Discovery> parseDiscoveryPacket(std::string_view packet);

// "%u.%u.%u.%u" at the start of the text; false when fewer than four numbers.
bool readDottedQuad(std::string_view text, unsigned (&parts)[4]);
// The address with its last number replaced by 255, or "" when not dotted.
std::string broadcastAddressFor(std::string_view address);

// Low 32 bits of milliseconds since 1970, the unit of list stamps.
std::uint32_t msClock();

// Console dump: "label:\n" then rows of 16 bytes as "%02X ", a blank every 4.
std::string hexDump(std::string_view label, std::string_view bytes);
// The same for at most the first maxBytes; a longer block ends with the line
// "... N bytes\n" that gives its whole length.
std::string hexDumpHead(std::string_view label, std::string_view bytes, std::size_t maxBytes);

}  // namespace zorvex::wire
