#include "tests/bundle/system_facts.h"

#include <windows.h>

#include <cstdio>

namespace {

std::string Line(const char* name, const std::string& value) { return std::string(name) + ": " + value + "\r\n"; }

std::string Number(unsigned long value) { return std::to_string(value); }

// Locale names and service-pack texts are ASCII; anything else is shown as '?'.
std::string Ascii(const wchar_t* text)
{
    std::string out;
    for (; *text; ++text) out += (*text >= 0x20 && *text < 0x7f) ? static_cast<char>(*text) : '?';
    return out;
}

// RtlGetVersion tells the true version: GetVersionEx answers what the
// program's manifest declares it was tested on (6.2 for this program on any
// Windows from 8 on). Present in ntdll on every Windows NT since 2000.
std::string WindowsVersion()
{
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    auto getVersion =
        reinterpret_cast<RtlGetVersionFn>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion"));
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!getVersion || getVersion(&info) != 0) return "unknown";
    std::string text =
        Number(info.dwMajorVersion) + "." + Number(info.dwMinorVersion) + " build " + Number(info.dwBuildNumber);
    info.szCSDVersion[127] = L'\0';
    if (info.szCSDVersion[0]) text += " " + Ascii(info.szCSDVersion);
    return text;
}

std::string Bitness()
{
    BOOL wow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &wow64)) return "unknown";
    return wow64 ? "64-bit (this 32-bit program runs under WOW64)" : "32-bit";
}

// The system DPI as a DPI-aware program sees it; an unaware one is told 96
// on a scaled display (Windows 8.1 and later).
std::string SystemDpi()
{
    SetProcessDPIAware();
    HDC screen = GetDC(nullptr);
    if (!screen) return "unknown";
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return Number(static_cast<unsigned long>(dpi));
}

// GetUserDefaultLocaleName and GetSystemDefaultLocaleName exist from Vista on.
std::string LocaleName(int(WINAPI* get)(LPWSTR, int))
{
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = L"";
    if (get(name, LOCALE_NAME_MAX_LENGTH) == 0) return "unknown";
    return Ascii(name);
}

// Wine's ntdll exports wine_get_version; Windows' does not.
std::string Wine()
{
    using WineGetVersionFn = const char*(CDECL*)();
    auto wineVersion =
        reinterpret_cast<WineGetVersionFn>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"));
    if (!wineVersion) return "no";
    const char* version = wineVersion();
    return std::string("yes, Wine ") + (version ? version : "(version unknown)");
}

std::string UtcNow()
{
    SYSTEMTIME now{};
    GetSystemTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    return text;
}

}  // namespace

std::string DescribeSystem()
{
    return Line("Windows version", WindowsVersion()) + Line("Windows", Bitness()) +
           Line("ANSI code page", Number(GetACP())) + Line("OEM code page", Number(GetOEMCP())) +
           Line("System DPI", SystemDpi()) + Line("User locale", LocaleName(GetUserDefaultLocaleName)) +
           Line("System locale", LocaleName(GetSystemDefaultLocaleName)) + Line("Wine", Wine()) +
           Line("Recorded (UTC)", UtcNow());
}
