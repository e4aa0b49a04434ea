#include "app/web/cookies.h"

#include "app/web/gbk_text.h"

namespace web {

std::string MergeCookies(std::string& cookies, std::string& newCookies)
{
    cookies = RemoveAllSpaces(cookies);
    newCookies = RemoveAllSpaces(newCookies);
    std::vector<std::string> oldItems = SplitText(cookies, ";");
    std::vector<std::string> newItems = SplitText(newCookies, ";");
    // The lookup runs over the growing list on purpose: of two old items with
    // one name only the first survives.
    for (const std::string& item : oldItems) {
        if (!HasCookieName(newItems, CookieName(item))) newItems.push_back(item);
    }
    std::string merged;
    for (const std::string& item : newItems) {
        if (RightText(item, 8) == "=deleted") continue;
        merged += item;
        merged += "; ";
    }
    cookies = RemoveDuplicateItems(DropLast(merged, 2), "; ");
    return cookies;
}

std::string CookieName(std::string_view item)
{
    std::string text(item);
    int32_t eq = FindText(text, "=");
    return TrimBoth(eq == -1 ? text : LeftText(text, eq - 1));
}

bool HasCookieName(const std::vector<std::string>& items, std::string_view name)
{
    for (const std::string& item : items) {
        if (CookieName(item) == name) return true;
    }
    return false;
}

std::string RemoveDuplicateItems(std::string_view text, std::string_view separator)
{
    std::string sep(separator);
    std::vector<std::string> seen;
    std::string result;
    for (std::string& item : SplitText(std::string(text), sep)) {
        if (IndexOfText(seen, item) != -1) continue;
        result += item;
        result += sep;
        seen.push_back(std::move(item));
    }
    return DropLast(result, TextLength(sep));
}

int32_t IndexOfText(const std::vector<std::string>& items, std::string_view text)
{
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i] == text) return static_cast<int32_t>(i + 1);
    }
    return -1;
}

int32_t CompareBytes(const void* first, const void* second, int32_t count)
{
    auto a = static_cast<const unsigned char*>(first);
    auto b = static_cast<const unsigned char*>(second);
    for (int32_t i = 0; i < count; ++i) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
    return 0;
}

bool CookieItemOfLine(std::string_view line, std::string* item)
{
    std::string text(line);
    if (!Contains(text, "Set-Cookie")) return false;
    *item = TrimBoth(Contains(text, ";") ? TextBetween(text, "Set-Cookie:", ";")
                                         : ReplaceAll(text, "Set-Cookie:", "", false));
    return true;
}

std::string CookiesOfHeaders(std::string_view headers)
{
    std::string cookies;
    std::string item;
    for (const std::string& line : SplitText(std::string(headers), "\r\n")) {
        if (!CookieItemOfLine(line, &item)) continue;
        cookies += item;
        cookies += "; ";
    }
    return DropLast(cookies, 2);
}

}  // namespace web
