// Every parser of bytes that come from phones or from disk.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "service/link_file.h"
#include "service/link_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    zorvex::parseLinkFile(bytes);
    zorvex::wire::parseRequest(bytes);
    zorvex::wire::parseDiscoveryPacket(bytes);
    auto decoded = zorvex::wire::decodeListResponse(bytes);
    if (decoded.status == zorvex::wire::Decoded::Status::Ok && decoded.used > size)
        __builtin_trap();
    zorvex::wire::decodeListBody(bytes);
    return 0;
}
