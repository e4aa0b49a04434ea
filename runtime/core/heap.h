// The RuntimeHeap: the one allocator every Text, ByteSet and ArrayBlock goes
// through, with the rule that blocks inside the program's static data are
// shared constants (free ignores them, realloc copies them out).
#pragma once

#include "runtime/core/values.h"

#include <cstddef>
#include <cstdint>

// Allocation failure ends the program through the runtime error report
// ("分配 %d 字节内存失败!"); these never return null for a non-zero size.
void* RuntimeAlloc(uint32_t size);
void* RuntimeRealloc(void* block, uint32_t size);
void RuntimeFree(void* block);

// Gives back to the system what the heap keeps for reuse (one spare large
// block, kept so that the next large result of a busy stretch does not fault
// in its pages anew). The message loop calls it when the program goes idle.
void RuntimeHeapTrim();

// Plain allocation that may return null and reports nothing (SystemNotify 2024
// with a non-zero second argument).
void* RuntimeTryAlloc(uint32_t size);

// The compiled program's static data. Empty (both ends null) before start-up
// and after the exit sequence.
struct StaticDataRange {
    const uint8_t* start = nullptr;
    uint32_t size = 0;
};
void SetStaticDataRange(const void* start, uint32_t size);
void ClearStaticDataRange();
StaticDataRange GetStaticDataRange();
bool IsStaticBlock(const void* block);

// The three copy routines commands use to build results. Each returns null
// for an empty result, never a block of length 0.
Text CopyText(const char* source);                          // null if source is null or ""
Text CopyBytesAsText(const void* source, int64_t n);        // null if n < 1
ByteSet CopyBytesAsByteSet(const void* source, int64_t n);  // null if n < 1

// Frees an array value; for arrays of texts or byte sets every element first.
void FreeArrayValue(ArrayBlock block, ValueType elementType);

// Element count of an ArrayBlock (product of its dimensions; 0 for null).
uint32_t ArrayElementTotal(const void* block);
// Address of the first element of an ArrayBlock.
uint8_t* ArrayElementData(void* block);
const uint8_t* ArrayElementData(const void* block);
// A new one-dimensional array of `count` elements of `elementSize` bytes,
// zero-filled (so pointer elements start as empty values).
ArrayBlock NewArray(uint32_t count, uint32_t elementSize);

// ---- accounting for tests and benchmarks --------------------------------------

// Live blocks currently allocated through the RuntimeHeap.
int64_t RuntimeLiveBlocks();
// Makes the n-th allocation from now fail (1 = the next one); 0 disarms. A
// failing RuntimeAlloc then takes the ordinary failure path.
void RuntimeFailAllocationAfter(int64_t n);
// Allocations and reallocations asked of the RuntimeHeap so far, failed ones
// included.
int64_t RuntimeAllocationCount();
