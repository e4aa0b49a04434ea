// The message box of the Win32 build. Texts are GBK whatever the system's
// code page, so they are converted with code page 936 and shown through the
// wide function; the ANSI one would garble them on a non-Chinese locale.
#include "runtime/commands/system_commands.h"
#include "runtime/core/gbk_wide.h"

#include <windows.h>

#include <string>

int32_t PlatformMessageBox(uintptr_t owner, const char* text, const char* caption, uint32_t flags)
{
    const std::wstring wideText = GbkToWide(text ? text : "");
    const std::wstring wideCaption = GbkToWide(caption ? caption : "");
    return MessageBoxW(reinterpret_cast<HWND>(owner), wideText.c_str(), wideCaption.c_str(), flags);
}
