// The platform's allocator behind the RuntimeHeap: the process heap on
// Windows, the C library in the native build. Null on failure.
#pragma once

#include <cstdint>

void* HeapBackendAlloc(uint32_t size);
void* HeapBackendRealloc(void* block, uint32_t size);
void HeapBackendFree(void* block);
