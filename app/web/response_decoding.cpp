#include "app/web/response_decoding.h"

#include "app/web/gbk_text.h"
#include "app/web/web_values.h"
#include "app/web/wide_text.h"
#include "runtime/core/services.h"

#include <string>

namespace web {
namespace {

bool IsWordChar(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_'; }

bool MatchesIgnoringCase(const std::wstring& s, size_t at, const wchar_t* word)
{
    for (size_t i = 0; word[i]; ++i) {
        if (at + i >= s.size()) return false;
        wchar_t c = s[at + i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
        if (c != word[i]) return false;
    }
    return true;
}

size_t CharsetRun(const std::wstring& s, size_t at)
{
    size_t n = 0;
    while (at + n < s.size() && (IsWordChar(s[at + n]) || s[at + n] == L'-')) ++n;
    return n;
}

}  // namespace

std::string FindMetaCharset(std::string_view head)
{
    std::vector<uint8_t> bytes = TextToWide(head, true);
    std::wstring s(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    for (size_t start = 0; start < s.size(); ++start) {
        if (!MatchesIgnoringCase(s, start, L"<meta")) continue;
        // ".+?" : at least one character, none of them a line feed, as few
        // as possible.
        for (size_t k = start + 6; k < s.size() && s[k - 1] != L'\n'; ++k) {
            if (!MatchesIgnoringCase(s, k, L"charset=")) continue;
            size_t j = k + 8;
            size_t groupAt = j;
            size_t n = 0;
            if (j < s.size() && !IsWordChar(s[j])) n = CharsetRun(s, groupAt = j + 1);
            if (n == 0) n = CharsetRun(s, groupAt = j);
            if (n > 0) return WideToText(s.data() + groupAt, n * 2);
        }
    }
    return {};
}

void DecodeResponseText(Text* text, const uint8_t* body, uint32_t size)
{
    std::string charset = FindMetaCharset(LeftText(TextView(*text), 1024));
    if (!charset.empty() && charset != "gbk" && charset != "gb2312") {
        // The platform's stream object does not decode on every system (it
        // yields no text where it lacks type information), and taking its
        // empty answer would lose the page; the code-page functions decode
        // the same charsets. An unknown charset keeps the raw text.
        std::string decoded;
        if (size > 0 && ConvertToGbk(body, size, CodePageOfCharset(charset), &decoded)) StoreText(text, decoded);
    }
    SystemNotify(2018, 0, 0);  // ProcessEvents
}

}  // namespace web
