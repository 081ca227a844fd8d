#include "platform/allocator_arenas.h"

#include <cstddef>  // defines __GLIBC__ where it applies

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace zorvex {

void KeepAllocatorSmall() {
#if defined(__GLIBC__)
    // Two: the workers seldom allocate at the same time.
    mallopt(M_ARENA_MAX, 2);  // NOLINT(concurrency-mt-unsafe): main calls it before any thread
    // Large blocks (a probe's buffers, a decoded picture) come from the
    // kernel and go back to it when freed. Left to itself, glibc raises this
    // threshold to the largest block freed so far; such blocks then stay in
    // the heap, which keeps the peak of a burst of work (some 25 MiB after
    // 70 cards were examined and a conversion ran). Fixing it also fixes the
    // heap's trim threshold at its default.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);  // NOLINT(concurrency-mt-unsafe): as above
#endif
}

void GiveBackFreeMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

}  // namespace zorvex
