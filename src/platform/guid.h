#pragma once

#include <string>

namespace zorvex {

// A new random GUID in registry form: braces around 32 upper-case hex digits
// in groups 8-4-4-4-12, e.g. "{1B4E28BA-2FA1-41D2-883F-0016D3CCA427}". Any
// thread. Task keys and library item ids are made by it.
std::string NewGuid();

}  // namespace zorvex
