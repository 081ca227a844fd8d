#pragma once

namespace zorvex {

// Keeps the C library's allocator small. Each short-lived worker (card
// examination, thumbnails, HTTP loops) would otherwise leave an arena of its
// own behind, and the heap would keep the peak of every burst of work. Call
// it from main() before any thread starts.
void KeepAllocatorSmall();

// Hands the heap's free pages back to the kernel. For the end of a burst of
// work (the cards examined, a conversion over), whose small blocks freed
// inside the heap would otherwise stay resident. Any thread; costs about a
// walk of the heap.
void GiveBackFreeMemory();

}  // namespace zorvex
