#include "runtime/core/heap.h"

#include "runtime/core/heap_backend.h"
#include "runtime/core/runtime_error.h"

#include <atomic>
#include <cstring>

namespace {

StaticDataRange gStatic;
std::atomic<int64_t> gLiveBlocks{0};
std::atomic<int64_t> gFailCountdown{0};
std::atomic<int64_t> gAllocations{0};

// True when an armed test countdown says this allocation must fail. Every
// allocation and reallocation asks, so this is also where they are counted.
bool ShouldFailNow()
{
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    int64_t n = gFailCountdown.load(std::memory_order_relaxed);
    if (n <= 0) return false;
    return gFailCountdown.fetch_sub(1) == 1;
}

void* AllocCounted(uint32_t size)
{
    if (ShouldFailNow()) return nullptr;
    void* p = HeapBackendAlloc(size);
    if (p) gLiveBlocks.fetch_add(1, std::memory_order_relaxed);
    return p;
}

}  // namespace

void SetStaticDataRange(const void* start, uint32_t size)
{
    gStatic.start = static_cast<const uint8_t*>(start);
    gStatic.size = start ? size : 0;
}

void ClearStaticDataRange() { gStatic = StaticDataRange{}; }

StaticDataRange GetStaticDataRange() { return gStatic; }

bool IsStaticBlock(const void* block)
{
    auto p = static_cast<const uint8_t*>(block);
    if (!p || !gStatic.start) return false;
    // Compare as integers: the block may lie in another object entirely.
    auto a = reinterpret_cast<uintptr_t>(p);
    auto s = reinterpret_cast<uintptr_t>(gStatic.start);
    return a >= s && a - s < gStatic.size;
}

void* RuntimeAlloc(uint32_t size)
{
    void* p = AllocCounted(size);
    if (!p) RaiseAllocationFailure(size);
    return p;
}

void* RuntimeTryAlloc(uint32_t size) { return AllocCounted(size); }

void* RuntimeRealloc(void* block, uint32_t size)
{
    if (!block) return RuntimeAlloc(size);
    if (IsStaticBlock(block)) {
        // A shared constant: copy out what lies before the end of the static
        // range and leave the original alone.
        void* p = RuntimeAlloc(size);
        auto a = reinterpret_cast<uintptr_t>(block);
        auto end = reinterpret_cast<uintptr_t>(gStatic.start) + gStatic.size;
        uintptr_t available = end - a;
        std::memcpy(p, block, available < size ? available : size);
        return p;
    }
    if (ShouldFailNow()) RaiseAllocationFailure(size);
    void* p = HeapBackendRealloc(block, size);
    if (!p) RaiseAllocationFailure(size);
    return p;
}

void RuntimeFree(void* block)
{
    if (!block || IsStaticBlock(block)) return;
    gLiveBlocks.fetch_sub(1, std::memory_order_relaxed);
    HeapBackendFree(block);
}

Text CopyText(const char* source)
{
    if (!source || !*source) return nullptr;
    return CopyBytesAsText(source, static_cast<int64_t>(std::strlen(source)));
}

Text CopyBytesAsText(const void* source, int64_t n)
{
    if (n < 1 || n > 0x7FFFFFFE) return nullptr;
    auto t = static_cast<char*>(RuntimeAlloc(static_cast<uint32_t>(n) + 1));
    std::memcpy(t, source, static_cast<size_t>(n));
    t[n] = '\0';
    return t;
}

ByteSet CopyBytesAsByteSet(const void* source, int64_t n)
{
    if (n < 1 || n > 0x7FFFFFF0) return nullptr;
    auto b = static_cast<uint8_t*>(RuntimeAlloc(static_cast<uint32_t>(n) + 8));
    SetArrayWord(b, 0, 1);
    SetArrayWord(b, 1, static_cast<uint32_t>(n));
    std::memcpy(b + 8, source, static_cast<size_t>(n));
    return b;
}

uint32_t ArrayElementTotal(const void* block)
{
    if (!block) return 0;
    uint32_t dims = ArrayWord(block, 0);
    uint64_t total = 1;
    for (uint32_t i = 0; i < dims; ++i) {
        total *= ArrayWord(block, 1 + i);
        if (total > 0xFFFFFFFFu) return 0;
    }
    return static_cast<uint32_t>(total);
}

uint8_t* ArrayElementData(void* block)
{
    return static_cast<uint8_t*>(block) + 4 * (1 + static_cast<size_t>(ArrayWord(block, 0)));
}

const uint8_t* ArrayElementData(const void* block)
{
    return static_cast<const uint8_t*>(block) + 4 * (1 + static_cast<size_t>(ArrayWord(block, 0)));
}

ArrayBlock NewArray(uint32_t count, uint32_t elementSize)
{
    uint64_t bytes = 8 + static_cast<uint64_t>(count) * elementSize;
    if (bytes > 0x7FFFFFF0u) RaiseAllocationFailure(static_cast<uint32_t>(bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : bytes));
    auto a = static_cast<uint8_t*>(RuntimeAlloc(static_cast<uint32_t>(bytes)));
    SetArrayWord(a, 0, 1);
    SetArrayWord(a, 1, count);
    std::memset(a + 8, 0, bytes - 8);
    return a;
}

void FreeArrayValue(ArrayBlock block, ValueType elementType)
{
    if (!block) return;
    ValueType base = BaseType(elementType);
    if ((base == TYPE_TEXT || base == TYPE_BYTESET) && !IsStaticBlock(block)) {
        uint32_t n = ArrayElementTotal(block);
        uint8_t* e = ArrayElementData(block);
        for (uint32_t i = 0; i < n; ++i) {
            void* element;
            std::memcpy(&element, e + i * sizeof(void*), sizeof element);
            RuntimeFree(element);
        }
    }
    RuntimeFree(block);
}

void RuntimeHeapTrim() { HeapBackendTrim(); }

int64_t RuntimeLiveBlocks() { return gLiveBlocks.load(); }

void RuntimeFailAllocationAfter(int64_t n) { gFailCountdown.store(n < 0 ? 0 : n); }

int64_t RuntimeAllocationCount() { return gAllocations.load(); }
