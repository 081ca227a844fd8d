#pragma once

namespace zorvex {

// Takes the user's locale and makes sure its character type is UTF-8 (else
// C.UTF-8): paths are UTF-8 text here, and libraries such as MediaInfo turn
// them into file names through the C library's multibyte conversion. Call it
// from main() before any thread starts; setlocale is not thread-safe.
// True when the character type is UTF-8 afterwards.
bool EnsureUtf8Locale();

}  // namespace zorvex
