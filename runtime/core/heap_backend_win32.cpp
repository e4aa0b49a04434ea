#include "runtime/core/heap_backend.h"

#include <windows.h>

#include <atomic>

// The process heap with its default serialisation; flags 0, memory not zeroed.
//
// One spare large block: the process heap hands blocks this big back to the
// system when they are freed, and the next big result (a replaced text, a
// downloaded body) then pays a page fault for every page it writes. Keeping
// the last freed one for the next request of about its size saves that; at
// most one block, at most kSpareMax bytes, is held back.
namespace {

constexpr SIZE_T kSpareMin = 1u << 20;
constexpr SIZE_T kSpareMax = 64u << 20;

std::atomic<void*> gSpare{nullptr};
std::atomic<int64_t> gLiveBytes{0};

void* TakeSpare(uint32_t size)
{
    void* spare = gSpare.exchange(nullptr);
    if (!spare) return nullptr;
    SIZE_T capacity = HeapSize(GetProcessHeap(), 0, spare);
    // Only for a request that uses at least half of it.
    if (capacity != static_cast<SIZE_T>(-1) && size <= capacity && size >= capacity / 2) {
        gLiveBytes.fetch_add(static_cast<int64_t>(capacity), std::memory_order_relaxed);
        return spare;
    }
    if (void* other = gSpare.exchange(spare)) HeapFree(GetProcessHeap(), 0, other);
    return nullptr;
}

}  // namespace

void* HeapBackendAlloc(uint32_t size)
{
    if (size >= kSpareMin) {
        if (void* p = TakeSpare(size)) return p;
    }
    void* p = HeapAlloc(GetProcessHeap(), 0, size);
    if (p) gLiveBytes.fetch_add(size, std::memory_order_relaxed);
    return p;
}

void* HeapBackendRealloc(void* block, uint32_t size)
{
    SIZE_T old = HeapSize(GetProcessHeap(), 0, block);
    void* p = HeapReAlloc(GetProcessHeap(), 0, block, size);
    if (p && old != static_cast<SIZE_T>(-1))
        gLiveBytes.fetch_add(static_cast<int64_t>(size) - static_cast<int64_t>(old), std::memory_order_relaxed);
    return p;
}

void HeapBackendFree(void* block)
{
    SIZE_T capacity = HeapSize(GetProcessHeap(), 0, block);
    if (capacity != static_cast<SIZE_T>(-1))
        gLiveBytes.fetch_sub(static_cast<int64_t>(capacity), std::memory_order_relaxed);
    if (capacity != static_cast<SIZE_T>(-1) && capacity >= kSpareMin && capacity <= kSpareMax) {
        if (void* older = gSpare.exchange(block)) HeapFree(GetProcessHeap(), 0, older);
        return;
    }
    HeapFree(GetProcessHeap(), 0, block);
}

void HeapBackendTrim()
{
    if (void* spare = gSpare.exchange(nullptr)) HeapFree(GetProcessHeap(), 0, spare);
}

int64_t HeapBackendLiveBytes() { return gLiveBytes.load(); }

int64_t HeapBackendSpareBytes()
{
    void* spare = gSpare.load();
    SIZE_T size = spare ? HeapSize(GetProcessHeap(), 0, spare) : 0;
    return size == static_cast<SIZE_T>(-1) ? 0 : static_cast<int64_t>(size);
}
