// Character-aware searching over GBK bytes: a byte of 0x80 or above leads a
// two-byte character, and a match never starts on its second byte.
//
// Rather than stepping character by character (one branch per byte), the
// search finds a plain byte match and then checks whether it starts on a
// character boundary. Any position right after a byte below 0x80 is a
// boundary (that byte is either a character of its own or a trail byte), so
// only the run of high bytes directly before the match has to be counted: an
// odd run means the match starts on a trail byte. Each byte is looked at a
// bounded number of times, so the whole search stays linear.
#pragma once

#include "runtime/commands/byte_scan.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace commands {

inline uint8_t AsciiLower(uint8_t b) { return (b >= 'A' && b <= 'Z') ? static_cast<uint8_t>(b + 32) : b; }

// First occurrence of needle[0, m) (m >= 1) in hay[0, n), bytes compared exactly.
inline const uint8_t* FindBytes(const uint8_t* hay, size_t n, const uint8_t* needle, size_t m)
{
    if (m > n) return nullptr;
#if defined(__GLIBC__)
    return static_cast<const uint8_t*>(memmem(hay, n, needle, m));
#else
    const uint8_t* end = hay + (n - m) + 1;  // one past the last possible start
    const uint8_t* p = hay;
    while (p < end) {
        p = ScanForByte(p, static_cast<size_t>(end - p), needle[0]);
        if (!p) return nullptr;
        if (std::memcmp(p + 1, needle + 1, m - 1) == 0) return p;
        ++p;
    }
    return nullptr;
#endif
}

// Start of the run of high bytes that ends just before `k`, looking back no
// further than `floor` (a known character boundary).
inline size_t HighRunStart(const uint8_t* s, size_t floor, size_t k)
{
    size_t j = k;
    while (j - floor >= 8) {
        uint64_t w;
        std::memcpy(&w, s + j - 8, 8);
        if ((w & 0x8080808080808080ull) != 0x8080808080808080ull) break;
        j -= 8;
    }
    while (j > floor && s[j - 1] >= 0x80) --j;
    return j;
}

inline bool EqualIgnoringAsciiCase(const uint8_t* a, const uint8_t* b, size_t m)
{
    for (size_t i = 0; i < m; ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

// Offset of the first occurrence of needle[0, m) (m >= 1) that starts on a
// character boundary at or after `from` and ends at or before `limit`, where
// `from` is taken as a boundary. With ignoreCase, ASCII letters compare
// without regard to case. Returns -1 when there is none.
inline int64_t FindAligned(const uint8_t* s, size_t from, size_t limit, const uint8_t* needle, size_t m,
                           bool ignoreCase)
{
    size_t pos = from;
    if (!ignoreCase) {
        while (pos < limit && limit - pos >= m) {
            const uint8_t* hit = FindBytes(s + pos, limit - pos, needle, m);
            if (!hit) return -1;
            size_t k = static_cast<size_t>(hit - s);
            if (((k - HighRunStart(s, pos, k)) & 1) == 0) return static_cast<int64_t>(k);
            pos = k + 1;  // k is the trail byte of the character at k - 1
        }
        return -1;
    }
    const uint8_t first = AsciiLower(needle[0]);
    while (pos + m <= limit) {
        if (AsciiLower(s[pos]) == first && EqualIgnoringAsciiCase(s + pos, needle, m)) return static_cast<int64_t>(pos);
        if (s[pos] >= 0x80) {
            if (s[pos + 1] == 0) return -1;  // a lead byte left dangling before the NUL
            pos += 2;
        } else {
            ++pos;
        }
    }
    return -1;
}

// FindAligned over the NUL-terminated text s from `from` (a character
// boundary), case-sensitive, without knowing its length first: when there is
// no occurrence, *end is set to the offset of the NUL. `needle` holds no NUL.
inline int64_t FindAlignedInText(const uint8_t* s, size_t from, const uint8_t* needle, size_t m, size_t* end)
{
    size_t boundary = from;  // the last position known to start a character
    size_t scan = from;
    for (;;) {
        const size_t k = static_cast<size_t>(ScanForByteOrEnd(s + scan, needle[0]) - s);
        if (s[k] == 0) {
            *end = k;
            return -1;
        }
        // Byte by byte, so the comparison stops at the NUL.
        size_t j = 1;
        while (j < m && s[k + j] == needle[j]) ++j;
        if (j == m) {
            if (((k - HighRunStart(s, boundary, k)) & 1) == 0) return static_cast<int64_t>(k);
            boundary = k + 1;  // k is the trail byte of the character at k - 1
        } else if (s[k + j] == 0) {
            *end = k + j;
            return -1;
        }
        scan = k + 1;
    }
}

}  // namespace commands
