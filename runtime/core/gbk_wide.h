// GBK texts meet Win32 text APIs only through these conversions (code page
// 936 explicitly, wide functions), so windows read right on any system locale.
#pragma once

#include <string>
#include <string_view>

std::wstring GbkToWide(std::string_view gbk);
std::string WideToGbk(std::wstring_view wide);
