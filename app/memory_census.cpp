#include "app/memory_census.h"

#include "runtime/core/heap.h"
#include "runtime/core/heap_backend.h"

#include <windows.h>

#include <tlhelp32.h>  // after windows.h, which it needs
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct HeapFigures {
    uint64_t committed = 0;  // the heap's committed pages, large blocks included
    uint64_t busy = 0;       // what its live blocks hold
};

// Blocks from this size on take pages of their own from the system.
constexpr DWORD kLargeBlock = 0x7F000;

// Walks one heap. Large blocks live in regions of their own, which the walk
// reports as busy entries outside any region it describes.
HeapFigures WalkHeap(HANDLE heap)
{
    HeapFigures figures;
    if (!HeapLock(heap)) return figures;
    PROCESS_HEAP_ENTRY entry = {};
    uint64_t inRegions = 0;
    uint64_t busy = 0;
    while (HeapWalk(heap, &entry)) {
        if (entry.wFlags & PROCESS_HEAP_REGION) {
            inRegions += entry.Region.dwCommittedSize;
        } else if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
            busy += entry.cbData;
            if (entry.cbData >= kLargeBlock) inRegions += entry.cbData;
        }
    }
    HeapUnlock(heap);
    figures.busy = busy;
    figures.committed = inRegions;
    return figures;
}

struct RegionFigures {
    uint64_t privateCommitted = 0;
    uint64_t mapped = 0;
    uint64_t image = 0;
};

RegionFigures WalkRegions()
{
    RegionFigures figures;
    MEMORY_BASIC_INFORMATION region;
    for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.RegionSize == 0) break;
        if (region.State != MEM_COMMIT) continue;
        if (region.Type == MEM_PRIVATE) figures.privateCommitted += region.RegionSize;
        if (region.Type == MEM_MAPPED) figures.mapped += region.RegionSize;
        if (region.Type == MEM_IMAGE) figures.image += region.RegionSize;
    }
    return figures;
}

int ThreadCount()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 thread = {};
    thread.dwSize = sizeof thread;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &thread); more; more = Thread32Next(snapshot, &thread)) {
        if (thread.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

// The entries of the user's URL cache and their sizes, through the WinInet
// the program already loaded (none before the first cover download).
void UrlCache(long long* entries, unsigned long long* bytes)
{
    *entries = -1;
    *bytes = 0;
    HMODULE wininet = GetModuleHandleW(L"wininet.dll");
    if (!wininet) return;
    auto first = reinterpret_cast<decltype(&FindFirstUrlCacheEntryA)>(
        reinterpret_cast<void*>(GetProcAddress(wininet, "FindFirstUrlCacheEntryA")));
    auto next = reinterpret_cast<decltype(&FindNextUrlCacheEntryA)>(
        reinterpret_cast<void*>(GetProcAddress(wininet, "FindNextUrlCacheEntryA")));
    auto close = reinterpret_cast<decltype(&FindCloseUrlCache)>(
        reinterpret_cast<void*>(GetProcAddress(wininet, "FindCloseUrlCache")));
    if (!first || !next || !close) return;
    std::vector<uint64_t> storage(4096 / 8);
    auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(storage.data());
    DWORD size = static_cast<DWORD>(storage.size() * 8);
    *entries = 0;
    HANDLE find = first(nullptr, info, &size);
    if (!find && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        storage.resize(size / 8 + 1);
        info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(storage.data());
        size = static_cast<DWORD>(storage.size() * 8);
        find = first(nullptr, info, &size);
    }
    if (!find) return;
    for (;;) {
        ++*entries;
        *bytes += (uint64_t{info->dwSizeHigh} << 32) | info->dwSizeLow;
        size = static_cast<DWORD>(storage.size() * 8);
        if (next(find, info, &size)) continue;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
        // An entry larger than the buffer: the same entry again, in room enough.
        storage.resize(size / 8 + 1);
        info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(storage.data());
        size = static_cast<DWORD>(storage.size() * 8);
        if (!next(find, info, &size)) break;
    }
    close(find);
}

// The C library's own heap, where it has one apart from the process heap.
HANDLE CrtHeap()
{
    HMODULE msvcrt = GetModuleHandleW(L"msvcrt.dll");
    auto handle = msvcrt ? reinterpret_cast<intptr_t(__cdecl*)()>(
                               reinterpret_cast<void*>(GetProcAddress(msvcrt, "_get_heap_handle")))
                         : nullptr;
    return handle ? reinterpret_cast<HANDLE>(handle()) : nullptr;
}

unsigned long long Kb(uint64_t bytes) { return static_cast<unsigned long long>((bytes + 512) / 1024); }

}  // namespace

std::string MemoryCensusLine()
{
    std::vector<HANDLE> heaps(64);
    DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
    if (count > heaps.size()) {
        heaps.resize(count);
        count = GetProcessHeaps(count, heaps.data());
    }
    // A heap made between the two calls makes the count larger than what was
    // stored; only the handles stored are walked.
    heaps.resize(std::min<size_t>(count, heaps.size()));
    HANDLE processHeap = GetProcessHeap();
    HANDLE crtHeap = CrtHeap();
    HeapFigures process, crt, other, all;
    // Counted as met: the C library's heap may be the process heap itself.
    unsigned others = 0;
    for (HANDLE heap : heaps) {
        HeapFigures f = WalkHeap(heap);
        HeapFigures& into = heap == processHeap ? process : heap == crtHeap ? crt : other;
        if (&into == &other) ++others;
        into.committed += f.committed;
        into.busy += f.busy;
        all.committed += f.committed;
        all.busy += f.busy;
    }
    RegionFigures regions = WalkRegions();
    long long cacheEntries = 0;
    unsigned long long cacheBytes = 0;
    UrlCache(&cacheEntries, &cacheBytes);
    char line[512];
    std::snprintf(
        line, sizeof line,
        "memory: private %llu; runtime blocks %lld busy %llu spare %llu; process heap %llu busy %llu; crt "
        "heap %llu busy %llu; other heaps %u committed %llu busy %llu; private outside heaps %llu; mapped %llu image "
        "%llu; threads %d; url cache entries %lld size %llu (KB)",
        Kb(regions.privateCommitted), static_cast<long long>(RuntimeLiveBlocks()), Kb(HeapBackendLiveBytes()),
        Kb(HeapBackendSpareBytes()), Kb(process.committed), Kb(process.busy), Kb(crt.committed), Kb(crt.busy), others,
        Kb(other.committed), Kb(other.busy),
        Kb(regions.privateCommitted > all.committed ? regions.privateCommitted - all.committed : 0), Kb(regions.mapped),
        Kb(regions.image), ThreadCount(), cacheEntries, Kb(cacheBytes));
    return line;
}
