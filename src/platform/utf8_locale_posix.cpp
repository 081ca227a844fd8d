#include "platform/utf8_locale.h"

#include <langinfo.h>

#include <clocale>
#include <cstring>

namespace zorvex {

// main() runs these before any thread starts, the one time the locale and
// its queries cannot race.
namespace {
bool characterTypeIsUtf8() {
    const char* codeset = nl_langinfo(CODESET);  // NOLINT(concurrency-mt-unsafe)
    return codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}
}  // namespace

bool EnsureUtf8Locale() {
    std::setlocale(LC_ALL, "");  // NOLINT(concurrency-mt-unsafe)
    if (characterTypeIsUtf8()) return true;
    std::setlocale(LC_CTYPE, "C.UTF-8");  // NOLINT(concurrency-mt-unsafe)
    return characterTypeIsUtf8();
}

}  // namespace zorvex
