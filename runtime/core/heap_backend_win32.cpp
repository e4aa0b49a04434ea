#include "runtime/core/heap_backend.h"

#include <windows.h>

// The process heap with its default serialisation; flags 0, memory not zeroed.
void* HeapBackendAlloc(uint32_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }
void* HeapBackendRealloc(void* block, uint32_t size) { return HeapReAlloc(GetProcessHeap(), 0, block, size); }
void HeapBackendFree(void* block) { HeapFree(GetProcessHeap(), 0, block); }
