// Typed GBK text helpers of the web routines.
//
// They follow the library text commands exactly (positions 1-based, -1 for
// "not found", a double-byte character stepped over as a whole, case folding
// of ASCII letters only), but work on std::string so that the web routines
// can build headers and cookie lists without a heap block per step.
#pragma once

#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace web {

// FindText: first occurrence at or after `start` (1-based; <= 1 = from the
// start), or -1.
int32_t FindText(std::string_view text, std::string_view sought, int32_t start = 1, bool ignoreCase = false);

// FindTextReverse: last occurrence that ends before byte `start`, or -1. The
// default start covers the whole text; a start <= 1 leaves nothing to search.
constexpr int32_t kWholeText = INT32_MAX;
int32_t FindTextReverse(std::string_view text, std::string_view sought, int32_t start = kWholeText,
                        bool ignoreCase = false);

inline bool Contains(std::string_view text, std::string_view sought, bool ignoreCase = false)
{
    return FindText(text, sought, 1, ignoreCase) != -1;
}

// ReplaceText with start and count omitted: every occurrence.
std::string ReplaceAll(std::string_view text, std::string_view sought, std::string_view replacement,
                       bool caseSensitive);

// SplitText: empty parts between adjacent separators are kept, a trailing
// separator adds no part, an empty text gives no parts.
std::vector<std::string> SplitText(std::string_view text, std::string_view separator);

// A space is 0x20 or the full-width 0xA1 0xA1.
std::string TrimBoth(std::string_view text);
std::string RemoveAllSpaces(std::string_view text);

std::string ToLower(std::string_view text);

// The first / last min(n, length) bytes; n <= 0 gives the empty text.
std::string LeftText(std::string_view text, int64_t n);
std::string RightText(std::string_view text, int64_t n);

// ToInt of a text: full-width digits and signs turned into ASCII, then the C
// library's decimal conversion (0 when there are no digits).
int32_t TextToInt(std::string_view text);

// TextBetween: the text after the first `startMarker` up to the next
// `endMarker`, or empty when either is missing.
std::string TextBetween(std::string_view source, std::string_view startMarker, std::string_view endMarker,
                        bool ignoreCase = false);

// The text up to its first NUL byte (ToText of a byte set).
inline std::string_view UpToNul(std::string_view bytes)
{
    size_t n = bytes.find('\0');
    return n == std::string_view::npos ? bytes : bytes.substr(0, n);
}

}  // namespace web
