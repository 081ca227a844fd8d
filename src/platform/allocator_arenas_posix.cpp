#include "platform/allocator_arenas.h"

#include <cstddef>  // defines __GLIBC__ where it applies

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace zorvex {

void LimitAllocatorArenas() {
#if defined(__GLIBC__)
    // Two: the workers seldom allocate at the same time.
    mallopt(M_ARENA_MAX, 2);  // NOLINT(concurrency-mt-unsafe): main calls it before any thread
#endif
}

}  // namespace zorvex
