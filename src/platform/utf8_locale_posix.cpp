#include "platform/utf8_locale.h"

#include <langinfo.h>

#include <clocale>
#include <cstring>

namespace zorvex {

namespace {
bool characterTypeIsUtf8() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}
}  // namespace

bool EnsureUtf8Locale() {
    std::setlocale(LC_ALL, "");
    if (characterTypeIsUtf8()) return true;
    std::setlocale(LC_CTYPE, "C.UTF-8");
    return characterTypeIsUtf8();
}

}  // namespace zorvex
