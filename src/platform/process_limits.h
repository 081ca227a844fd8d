#pragma once

#include <cstddef>

namespace zorvex {

// Raises the soft limit of open descriptors to the hard one, at most to
// cap, as long-running servers do: a desktop's default of 1,024 is met by a
// few hundred streams. Returns the soft limit in force afterwards. Call it
// from main() before any thread starts.
std::size_t raiseDescriptorLimit(std::size_t cap);

// The soft limit of open descriptors now; a large number when unlimited.
std::size_t descriptorLimit();

}  // namespace zorvex
