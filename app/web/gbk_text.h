// The library text commands as the web routines call them: each function is
// one call of the command through the command call frame (app/call.h), with
// the command's result block handed back as a std::string so that header
// blocks, cookie lists and host names can be passed around by value. Nothing
// here scans a text itself.
#pragma once

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

namespace web {

// TextLength: bytes before the terminator.
int32_t TextLength(const std::string& text);

// FindText: first occurrence at or after `start` (1-based; <= 1 = from the
// start), or -1. Case is ignored for ASCII letters when `ignoreCase`.
int32_t FindText(const std::string& text, const std::string& sought, int32_t start = 1, bool ignoreCase = false);

// FindTextReverse: last occurrence that ends before byte `start`, or -1. The
// default start covers the whole text; a start <= 1 leaves nothing to search.
constexpr int32_t kWholeText = INT32_MAX;
int32_t FindTextReverse(const std::string& text, const std::string& sought, int32_t start = kWholeText,
                        bool ignoreCase = false);

inline bool Contains(const std::string& text, const std::string& sought, bool ignoreCase = false)
{
    return FindText(text, sought, 1, ignoreCase) != -1;
}

// ReplaceText with start and count omitted: every occurrence.
std::string ReplaceAll(const std::string& text, const std::string& sought, const std::string& replacement,
                       bool caseSensitive);

// SplitText: empty parts between adjacent separators are kept, a trailing
// separator adds no part, an empty text gives no parts.
std::vector<std::string> SplitText(const std::string& text, const std::string& separator);

// TrimBoth / RemoveAllSpaces: a space is 0x20 or the full-width 0xA1 0xA1.
std::string TrimBoth(const std::string& text);
std::string RemoveAllSpaces(const std::string& text);

std::string ToLower(const std::string& text);

// LeftText / RightText: the first / last min(n, length) bytes; n <= 0 gives
// the empty text. Counts beyond the 32-bit range are capped.
std::string LeftText(const std::string& text, int64_t n);
std::string RightText(const std::string& text, int64_t n);

// The text with its last n bytes cut off (LeftText of length - n).
std::string DropLast(const std::string& text, int32_t n);

// CompareTextCase: -1, 0 or 1; letters without regard to case unless
// `caseSensitive`.
int32_t CompareText(const std::string& a, const std::string& b, bool caseSensitive);

// ToInt of a text: full-width digits and signs count as ASCII, then a decimal
// conversion (0 when there are no digits).
int32_t TextToInt(const std::string& text);

// The application's TextBetween from the start of the source: the text after
// the first `startMarker` up to the next `endMarker`, or empty when either is
// missing.
std::string TextBetween(const std::string& source, const std::string& startMarker, const std::string& endMarker,
                        bool ignoreCase = false);

}  // namespace web
