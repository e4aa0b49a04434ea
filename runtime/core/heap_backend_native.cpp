#include "runtime/core/heap_backend.h"

#include <cstdlib>

// malloc(0) may answer null; the RuntimeHeap treats a 0-byte request as a
// real block, as HeapAlloc does.
void* HeapBackendAlloc(uint32_t size) { return std::malloc(size ? size : 1); }
void* HeapBackendRealloc(void* block, uint32_t size) { return std::realloc(block, size ? size : 1); }
void HeapBackendFree(void* block) { std::free(block); }
void HeapBackendTrim() {}
int64_t HeapBackendLiveBytes() { return 0; }
int64_t HeapBackendSpareBytes() { return 0; }
