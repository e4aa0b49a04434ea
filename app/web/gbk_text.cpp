#include "app/web/gbk_text.h"

#include <algorithm>
#include <climits>

namespace web {
namespace {

bool IsLeadByte(unsigned char c) { return c >= 0x80; }

unsigned char FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

bool BytesEqual(const char* a, std::string_view b, bool ignoreCase)
{
    for (size_t i = 0; i < b.size(); ++i) {
        auto x = static_cast<unsigned char>(a[i]);
        auto y = static_cast<unsigned char>(b[i]);
        if (ignoreCase ? FoldAscii(x) != FoldAscii(y) : x != y) return false;
    }
    return true;
}

// Width of the character at `i`: 2 for a lead byte with a trail byte, 1
// otherwise; 0 when a lead byte is the last byte (the scan ends there, as the
// commands stop at a lead byte followed by the terminator).
size_t CharWidth(std::string_view text, size_t i)
{
    if (!IsLeadByte(static_cast<unsigned char>(text[i]))) return 1;
    if (i + 1 >= text.size() || text[i + 1] == '\0') return 0;
    return 2;
}

bool IsSpaceAt(std::string_view text, size_t i, size_t* width)
{
    if (text[i] == ' ') {
        *width = 1;
        return true;
    }
    if (i + 1 < text.size() && static_cast<unsigned char>(text[i]) == 0xA1 &&
        static_cast<unsigned char>(text[i + 1]) == 0xA1) {
        *width = 2;
        return true;
    }
    return false;
}

}  // namespace

int32_t FindText(std::string_view text, std::string_view sought, int32_t start, bool ignoreCase)
{
    size_t offset = start > 1 ? static_cast<size_t>(start - 1) : 0;
    if (offset >= text.size()) return -1;
    if (sought.empty()) return 1;
    for (size_t i = offset; text.size() - i >= sought.size();) {
        if (BytesEqual(text.data() + i, sought, ignoreCase)) return static_cast<int32_t>(i + 1);
        size_t w = CharWidth(text, i);
        if (w == 0) break;
        i += w;
    }
    return -1;
}

int32_t FindTextReverse(std::string_view text, std::string_view sought, int32_t start, bool ignoreCase)
{
    size_t region = start > 1 ? std::min(static_cast<size_t>(start) - 1, text.size()) : 0;
    if (region == 0) return -1;
    if (sought.empty()) return 1;
    std::string_view r = text.substr(0, region);
    int32_t found = -1;
    for (size_t i = 0; r.size() - i >= sought.size();) {
        if (BytesEqual(r.data() + i, sought, ignoreCase)) found = static_cast<int32_t>(i + 1);
        size_t w = CharWidth(r, i);
        if (w == 0) break;
        i += w;
    }
    return found;
}

std::string ReplaceAll(std::string_view text, std::string_view sought, std::string_view replacement,
                       bool caseSensitive)
{
    if (text.empty() || sought.empty()) return std::string(text);
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (text.size() - i >= sought.size()) {
        if (BytesEqual(text.data() + i, sought, !caseSensitive)) {
            out.append(replacement);
            i += sought.size();
            continue;
        }
        size_t w = CharWidth(text, i);
        if (w == 0) break;
        out.append(text.substr(i, w));
        i += w;
    }
    out.append(text.substr(i));
    return out;
}

std::vector<std::string> SplitText(std::string_view text, std::string_view separator)
{
    std::vector<std::string> parts;
    if (text.empty()) return parts;
    if (separator.empty()) {
        parts.emplace_back(text);
        return parts;
    }
    size_t partStart = 0;
    size_t i = 0;
    while (i < text.size()) {
        if (text.size() - i >= separator.size() && text.compare(i, separator.size(), separator) == 0) {
            parts.emplace_back(text.substr(partStart, i - partStart));
            i += separator.size();
            partStart = i;
            continue;
        }
        size_t w = CharWidth(text, i);
        i += w == 0 ? 1 : w;
    }
    if (partStart < text.size()) parts.emplace_back(text.substr(partStart));
    return parts;
}

std::string TrimBoth(std::string_view text)
{
    size_t i = 0;
    size_t w = 0;
    while (i < text.size() && IsSpaceAt(text, i, &w)) i += w;
    size_t first = i;
    size_t end = i;  // just past the last character that is not a space
    while (i < text.size()) {
        if (IsSpaceAt(text, i, &w)) {
            i += w;
            continue;
        }
        size_t cw = CharWidth(text, i);
        if (cw == 0) break;  // dangling lead byte is dropped
        i += cw;
        end = i;
    }
    return std::string(text.substr(first, end - first));
}

std::string RemoveAllSpaces(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    size_t w = 0;
    for (size_t i = 0; i < text.size();) {
        if (IsSpaceAt(text, i, &w)) {
            i += w;
            continue;
        }
        size_t cw = CharWidth(text, i);
        if (cw == 0) break;
        out.append(text.substr(i, cw));
        i += cw;
    }
    return out;
}

std::string ToLower(std::string_view text)
{
    std::string out(text);
    for (size_t i = 0; i < out.size();) {
        size_t w = CharWidth(out, i);
        if (w == 0) break;
        if (w == 1) out[i] = static_cast<char>(FoldAscii(static_cast<unsigned char>(out[i])));
        i += w;
    }
    return out;
}

std::string LeftText(std::string_view text, int64_t n)
{
    if (n <= 0) return {};
    return std::string(text.substr(0, static_cast<size_t>(std::min<int64_t>(n, text.size()))));
}

std::string RightText(std::string_view text, int64_t n)
{
    if (n <= 0) return {};
    size_t k = static_cast<size_t>(std::min<int64_t>(n, text.size()));
    return std::string(text.substr(text.size() - k));
}

int32_t TextToInt(std::string_view text)
{
    std::string ascii;
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == 0) break;
        if (c >= 0x80 && i + 1 < text.size()) {
            auto t = static_cast<unsigned char>(text[i + 1]);
            if (c == 0xA1 && t == 0xA1) ascii.push_back(' ');
            else if (c == 0xA3) ascii.push_back(static_cast<char>(t & 0x7F));
            else if (c == 0xA1 && t == 0xAB) ascii.push_back('~');
            else if (c == 0xA1 && (t == 0xEE || t == 0xEF)) ascii.push_back('*');
            else ascii.append(text.substr(i, 2));
            ++i;
            continue;
        }
        ascii.push_back(static_cast<char>(c));
    }
    // strtol-style, saturating instead of overflowing.
    size_t i = 0;
    while (i < ascii.size() && (ascii[i] == ' ' || (ascii[i] >= '\t' && ascii[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < ascii.size() && (ascii[i] == '+' || ascii[i] == '-')) negative = ascii[i++] == '-';
    int64_t v = 0;
    for (; i < ascii.size() && ascii[i] >= '0' && ascii[i] <= '9'; ++i) {
        v = v * 10 + (ascii[i] - '0');
        if (v > static_cast<int64_t>(INT32_MAX) + 1) v = static_cast<int64_t>(INT32_MAX) + 1;
    }
    if (negative) v = -v;
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

std::string TextBetween(std::string_view source, std::string_view startMarker, std::string_view endMarker,
                        bool ignoreCase)
{
    int32_t p = FindText(source, startMarker, 1, ignoreCase);
    if (p == -1) return {};
    p += static_cast<int32_t>(startMarker.size());
    int32_t q = FindText(source, endMarker, p, ignoreCase);
    if (q == -1 || q <= p) return {};
    return std::string(source.substr(static_cast<size_t>(p - 1), static_cast<size_t>(q - p)));
}

}  // namespace web
