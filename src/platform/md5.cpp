#include "platform/md5.h"

#include <openssl/evp.h>

namespace zorvex {

std::string md5Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_md5(), nullptr);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(std::size_t{size} * 2);
    for (unsigned int i = 0; i < size; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

}  // namespace zorvex
