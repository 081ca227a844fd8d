#pragma once

namespace zorvex {

// Keeps the C library's allocator small. Each short-lived worker (card
// examination, thumbnails, HTTP loops) would otherwise leave an arena of its
// own behind, and the heap would keep the peak of every burst of work. Call
// it from main() before any thread starts.
void KeepAllocatorSmall();

}  // namespace zorvex
