#include "runtime/commands/byte_scan.h"

#include <emmintrin.h>

namespace commands {

namespace {

bool HaveSse2()
{
    static const bool have = __builtin_cpu_supports("sse2");
    return have;
}

__attribute__((target("sse2"))) size_t TextLengthSse2(const char* text)
{
    // Aligned 16-byte loads never cross a page, so reading a block that holds
    // the NUL and bytes after it stays inside mapped memory.
    const uintptr_t start = reinterpret_cast<uintptr_t>(text);
    const char* block = reinterpret_cast<const char*>(start & ~uintptr_t{15});
    const __m128i zero = _mm_setzero_si128();
    uint32_t mask = static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(block)), zero)));
    mask >>= (start & 15);
    if (mask) return static_cast<size_t>(__builtin_ctz(mask));
    for (;;) {
        block += 16;
        mask = static_cast<uint32_t>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(block)), zero)));
        if (mask) return static_cast<size_t>(block + __builtin_ctz(mask) - text);
    }
}

__attribute__((target("sse2"))) const uint8_t* FindByteSse2(const uint8_t* p, size_t n, uint8_t b)
{
    const __m128i wanted = _mm_set1_epi8(static_cast<char>(b));
    while (n >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const uint32_t mask = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, wanted)));
        if (mask) return p + __builtin_ctz(mask);
        p += 16;
        n -= 16;
    }
    for (; n > 0; ++p, --n) {
        if (*p == b) return p;
    }
    return nullptr;
}

__attribute__((target("sse2"))) const uint8_t* FindByteOrEndSse2(const uint8_t* p, uint8_t b)
{
    // Aligned loads, as TextLengthSse2: never past the page holding the NUL.
    const uintptr_t start = reinterpret_cast<uintptr_t>(p);
    const uint8_t* block = reinterpret_cast<const uint8_t*>(start & ~uintptr_t{15});
    const __m128i zero = _mm_setzero_si128();
    const __m128i wanted = _mm_set1_epi8(static_cast<char>(b));
    __m128i v = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
    uint32_t mask =
        static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, zero), _mm_cmpeq_epi8(v, wanted))));
    mask >>= (start & 15);
    if (mask) return p + __builtin_ctz(mask);
    for (;;) {
        block += 16;
        v = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
        mask = static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, zero), _mm_cmpeq_epi8(v, wanted))));
        if (mask) return block + __builtin_ctz(mask);
    }
}

}  // namespace

size_t ScanTextLength(const char* text) { return HaveSse2() ? TextLengthSse2(text) : std::strlen(text); }

const uint8_t* ScanForByte(const uint8_t* p, size_t n, uint8_t b)
{
    if (HaveSse2()) return FindByteSse2(p, n, b);
    return static_cast<const uint8_t*>(std::memchr(p, b, n));
}

const uint8_t* ScanForByteOrEnd(const uint8_t* p, uint8_t b)
{
    if (HaveSse2()) return FindByteOrEndSse2(p, b);
    while (*p != b && *p != 0) ++p;
    return p;
}

}  // namespace commands
