#include "platform/gbk_text.h"

#include <iconv.h>
#include <utf8proc.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "platform/utf16_text.h"

namespace zorvex {

namespace {

// One iconv descriptor, owned by one call: a descriptor keeps state
// between calls and must not be shared between threads.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) ::iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // iconv_open gives (iconv_t)-1 when it cannot convert between the two.
    bool ok() const { return reinterpret_cast<std::intptr_t>(cd_) != -1; }

    // Converts from the front of in onto out; false when it stopped at a
    // sequence it cannot convert, which in then starts with.
    bool run(std::string_view& in, std::string& out) {
        while (!in.empty()) {
            char buffer[512];
            char* from = const_cast<char*>(in.data());
            std::size_t fromLeft = in.size();
            char* to = buffer;
            std::size_t toLeft = sizeof buffer;
            std::size_t result = ::iconv(cd_, &from, &fromLeft, &to, &toLeft);
            int error = errno;
            out.append(buffer, static_cast<std::size_t>(to - buffer));
            in.remove_prefix(in.size() - fromLeft);
            if (result != static_cast<std::size_t>(-1)) return true;
            if (error != E2BIG) return false;
        }
        return true;
    }

private:
    iconv_t cd_;
};

// A name copied from a Mac arrives decomposed, "e" and U+0301 apart; GBK
// has "é" and "ガ" whole but no combining marks.
std::string composed(std::string valid) {
    utf8proc_uint8_t* nfc = nullptr;
    utf8proc_ssize_t size =
        utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(valid.data()),
                     static_cast<utf8proc_ssize_t>(valid.size()), &nfc,
                     static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
    std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owned(nfc, &std::free);
    if (size < 0 || !nfc) return valid;
    return {reinterpret_cast<const char*>(nfc), static_cast<std::size_t>(size)};
}

}  // namespace

std::string utf8ToGbk(std::string_view utf8) {
    // Mended first, each broken sequence is one U+FFFD, which GBK lacks.
    const std::string valid = composed(toValidUtf8(utf8));
    std::string_view in = valid;
    std::string out;
    out.reserve(in.size());
    Converter converter("GBK", "UTF-8");
    while (!in.empty()) {
        if (converter.ok() && converter.run(in, out)) break;
        auto lead = static_cast<unsigned char>(in.front());
        std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        out += lead < 0x80 ? in.front() : '?';
        in.remove_prefix(std::min(length, in.size()));
    }
    return out;
}

std::string gbkToUtf8(std::string_view gbk) {
    std::string out;
    out.reserve(gbk.size() * 3 / 2);
    Converter converter("UTF-8", "GBK");
    while (!gbk.empty()) {
        if (converter.ok() && converter.run(gbk, out)) break;
        auto lead = static_cast<unsigned char>(gbk.front());
        if (!converter.ok() && lead < 0x80) {
            out += gbk.front();
        } else {
            out += "\xEF\xBF\xBD";
        }
        // Without the converter a whole character goes; with it, the one
        // byte it stumbled on, so that a stray lead byte costs no neighbour.
        std::size_t length = !converter.ok() && isGbkLeadByte(lead) ? 2 : 1;
        gbk.remove_prefix(std::min(length, gbk.size()));
    }
    return out;
}

}  // namespace zorvex
