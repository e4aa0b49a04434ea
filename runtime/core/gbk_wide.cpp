#include "runtime/core/gbk_wide.h"

#include <windows.h>

#include <climits>

constexpr UINT kGbkCodePage = 936;

std::wstring GbkToWide(std::string_view gbk)
{
    if (gbk.empty() || gbk.size() > INT_MAX) return {};
    int n = MultiByteToWideChar(kGbkCodePage, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(kGbkCodePage, 0, gbk.data(), static_cast<int>(gbk.size()), out.data(), n);
    return out;
}

std::string WideToGbk(std::wstring_view wide)
{
    if (wide.empty() || wide.size() > INT_MAX) return {};
    int n =
        WideCharToMultiByte(kGbkCodePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(kGbkCodePage, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}
