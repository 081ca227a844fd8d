#pragma once

namespace zorvex {

// Keeps the C library's allocator to a few arenas. Each short-lived worker
// (card examination, thumbnails, HTTP loops) would otherwise leave an arena
// of its own behind, and the idle service would stay several MiB larger.
// Call it from main() before any thread starts.
void LimitAllocatorArenas();

}  // namespace zorvex
