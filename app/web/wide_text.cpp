#include "app/web/wide_text.h"

#include "app/call.h"
#include "app/web/dll_declarations.h"
#include "runtime/commands/text_commands.h"
#include "runtime/core/dll_commands.h"

#include <windows.h>

#include <climits>
#include <cstring>

namespace web {
namespace {

constexpr UINT kGbk = 936;

int MultiByteToWide(UINT codePage, const char* bytes, int length, wchar_t* out, int capacity)
{
    return DllCall<int>(kMultiByteToWideChar, codePage, DWORD{0}, bytes, length, out, capacity);
}

int WideToMultiByte(UINT codePage, DWORD flags, const wchar_t* wide, int units, char* out, int capacity)
{
    return DllCall<int>(kWideCharToMultiByte, codePage, flags, wide, units, out, capacity,
                        static_cast<const char*>(nullptr), static_cast<BOOL*>(nullptr));
}

// GBK of UTF-16 units with the given flags, the whole count (NULs included).
std::string WideUnitsToGbk(const wchar_t* wide, int units, DWORD flags)
{
    if (units <= 0) return {};
    int n = WideToMultiByte(kGbk, flags, wide, units, nullptr, 0);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    n = WideToMultiByte(kGbk, flags, wide, units, out.data(), n);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

}  // namespace

std::vector<uint8_t> TextToWide(std::string_view text, bool dropTerminator)
{
    if (text.empty()) return {};
    // The platform reads up to the terminator; a text never holds a NUL, but
    // a view might, so convert an owned copy.
    std::string s(text.substr(0, text.find('\0')));
    int n = MultiByteToWide(kGbk, s.c_str(), -1, nullptr, 0);
    if (n <= 0) return {};
    std::vector<uint8_t> wide(static_cast<size_t>(n) * 2, 0);
    MultiByteToWide(kGbk, s.c_str(), -1, reinterpret_cast<wchar_t*>(wide.data()), n);
    if (dropTerminator) wide.resize(wide.size() - 2);
    return wide;
}

std::string WideToText(const void* wide, size_t byteCount)
{
    size_t units = byteCount / 2;
    if (units == 0 || units > INT_MAX) return {};
    // WC_COMPOSITECHECK: a base character and a combining mark become one
    // precomposed character where GBK has it.
    std::string out = WideUnitsToGbk(static_cast<const wchar_t*>(wide), static_cast<int>(units), WC_COMPOSITECHECK);
    out.resize(std::strlen(out.c_str()));
    return out;
}

uint32_t CodePageOfCharset(std::string_view charset)
{
    struct Entry {
        const char* name;
        uint32_t codePage;
    };
    static const Entry kEntries[] = {
        {"utf-8", 65001},       {"utf8", 65001},         {"gbk", 936},           {"gb2312", 936},
        {"cp936", 936},         {"gb18030", 54936},      {"big5", 950},          {"big5-hkscs", 950},
        {"iso-8859-1", 1252},   {"latin1", 1252},        {"windows-1252", 1252}, {"us-ascii", 20127},
        {"shift_jis", 932},     {"shift-jis", 932},      {"sjis", 932},          {"windows-31j", 932},
        {"euc-jp", 20932},      {"euc-kr", 949},         {"ks_c_5601-1987", 949}, {"utf-16", 1200},
        {"utf-16le", 1200},     {"utf-16be", 1201},      {"koi8-r", 20866},      {"windows-1251", 1251},
        {"windows-1250", 1250}, {"iso-8859-2", 28592},   {"iso-8859-15", 28605}, {"windows-874", 874},
    };
    std::string lower(Call::Text(::ToLower, std::string(charset)).View());
    for (const Entry& e : kEntries) {
        if (lower == e.name) return e.codePage;
    }
    return 0;
}

bool ConvertToGbk(const uint8_t* body, size_t size, uint32_t codePage, std::string* gbk)
{
    gbk->clear();
    if (size == 0) return true;
    if (size > INT_MAX / 2 || codePage == 0) return false;
    std::wstring wide;
    if (codePage == 1200 || codePage == 1201) {
        wide.resize(size / 2);
        for (size_t i = 0; i < wide.size(); ++i) {
            uint8_t a = body[2 * i], b = body[2 * i + 1];
            wide[i] = static_cast<wchar_t>(codePage == 1200 ? (a | b << 8) : (b | a << 8));
        }
    } else {
        auto bytes = reinterpret_cast<const char*>(body);
        int n = MultiByteToWide(codePage, bytes, static_cast<int>(size), nullptr, 0);
        // GB18030 is a superset of GBK; where the platform lacks its code page
        // (Wine), reading it as GBK keeps every character GBK can hold.
        if (n <= 0 && codePage == 54936) return ConvertToGbk(body, size, kGbk, gbk);
        if (n <= 0) return false;
        wide.resize(static_cast<size_t>(n));
        n = MultiByteToWide(codePage, bytes, static_cast<int>(size), wide.data(), n);
        if (n <= 0) return false;
        wide.resize(static_cast<size_t>(n));
    }
    if (wide.empty()) return true;
    *gbk = WideUnitsToGbk(wide.data(), static_cast<int>(wide.size()), 0);
    return !gbk->empty();
}

}  // namespace web
