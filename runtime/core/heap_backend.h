// The platform's allocator behind the RuntimeHeap: the process heap on
// Windows, the C library in the native build. Null on failure.
#pragma once

#include <cstdint>

void* HeapBackendAlloc(uint32_t size);
void* HeapBackendRealloc(void* block, uint32_t size);
void HeapBackendFree(void* block);
// Gives back what the backend keeps for reuse (a spare large block).
void HeapBackendTrim();

// What the live blocks hold and what the backend keeps back for reuse, in
// bytes, for the memory figures of tests and benchmarks (0 where the backend
// does not know).
int64_t HeapBackendLiveBytes();
int64_t HeapBackendSpareBytes();
