// The message box of the Win32 build. Texts are GBK whatever the system's
// code page, so they are converted with code page 936 and shown through the
// wide function; the ANSI one would garble them on a non-Chinese locale.
#include "runtime/commands/system_commands.h"

#include <windows.h>

#include <string>

namespace {

std::wstring WideFromGbk(const char* gbk)
{
    int n = MultiByteToWideChar(936, 0, gbk, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(936, 0, gbk, -1, wide.data(), n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

}  // namespace

int32_t PlatformMessageBox(uintptr_t owner, const char* text, const char* caption, uint32_t flags)
{
    const std::wstring wideText = WideFromGbk(text);
    const std::wstring wideCaption = WideFromGbk(caption);
    return MessageBoxW(reinterpret_cast<HWND>(owner), wideText.c_str(), wideCaption.c_str(), flags);
}
