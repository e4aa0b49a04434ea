// Client-side cookie texts: items name=value separated by ";" (with or
// without a following space). Shared by the two web routines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace web {

// Brings the cookies a response set into `cookies`. Spaces are removed from
// both variables first (so `newCookies` ends up joined by ";" alone); new
// items replace old ones of the same name, old items the response did not
// mention are kept after the new ones, items ending in "=deleted" are dropped
// and identical items collapse. Returns the merged text, equal to `cookies`.
std::string MergeCookies(std::string& cookies, std::string& newCookies);

// The name of an item: the text before its first "=" (or the whole item),
// trimmed.
std::string CookieName(std::string_view item);

// Whether some item has exactly this name (case-sensitive).
bool HasCookieName(const std::vector<std::string>& items, std::string_view name);

// Keeps the first of every run of identical items, in order.
std::string RemoveDuplicateItems(std::string_view text, std::string_view separator);

// 1-based index of the first item equal to `text`, or -1.
int32_t IndexOfText(const std::vector<std::string>& items, std::string_view text);

// 0 when the first `count` bytes are equal, else -1 or 1 by the first
// differing byte (unsigned).
int32_t CompareBytes(const void* first, const void* second, int32_t count);

// The cookie item of one response header line, when the line holds
// "Set-Cookie" (case-sensitive): the text between "Set-Cookie:" and the first
// ";" when the line has one, else the line without "Set-Cookie:" (found
// ignoring case); trimmed. Attributes after the first ";" are dropped.
bool CookieItemOfLine(std::string_view line, std::string* item);

// The cookie items of a response header block: for every line holding
// "Set-Cookie", the text between "Set-Cookie:" and the first ";" (or the line
// without "Set-Cookie:" when it has no ";"), trimmed, joined by "; ".
std::string CookiesOfHeaders(std::string_view headers);

}  // namespace web
