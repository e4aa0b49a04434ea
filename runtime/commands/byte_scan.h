// The two byte scans every text command starts with: the length of a text
// and the next occurrence of a byte. The C library's versions are used where
// they are vectorised (glibc); the i686 Windows build has SSE2 versions of its
// own, since msvcrt's scan about a byte per cycle and dominate the cost of a
// command on a large text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace commands {

#if defined(_WIN32) && defined(__i386__)
size_t ScanTextLength(const char* text);
const uint8_t* ScanForByte(const uint8_t* p, size_t n, uint8_t b);
// The first byte of the NUL-terminated text at p that is b or the NUL: a
// search and the length of the text in one pass.
const uint8_t* ScanForByteOrEnd(const uint8_t* p, uint8_t b);
#else
inline size_t ScanTextLength(const char* text) { return std::strlen(text); }
inline const uint8_t* ScanForByte(const uint8_t* p, size_t n, uint8_t b)
{
    return static_cast<const uint8_t*>(std::memchr(p, b, n));
}
inline const uint8_t* ScanForByteOrEnd(const uint8_t* p, uint8_t b)
{
    const char* text = reinterpret_cast<const char*>(p);
    const char* hit = std::strchr(text, b);
    return reinterpret_cast<const uint8_t*>(hit ? hit : text + std::strlen(text));
}
#endif

}  // namespace commands
