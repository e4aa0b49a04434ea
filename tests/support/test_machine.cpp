#include "tests/support/test_machine.h"

#include <windows.h>

#include <objbase.h>

bool RunningUnderWine()
{
    static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

uint32_t SystemDpi()
{
    // LOGPIXELSY of the screen, as the window code reads it (GetDpiForSystem
    // needs Windows 10 1607).
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return static_cast<uint32_t>(dpi);
}

std::string MissingClasses(std::initializer_list<const wchar_t*> progIds)
{
    std::string missing;
    for (const wchar_t* progId : progIds) {
        CLSID id;
        if (SUCCEEDED(CLSIDFromProgID(progId, &id))) continue;
        if (!missing.empty()) missing += ", ";
        for (const wchar_t* c = progId; *c; ++c) missing += static_cast<char>(*c);  // the names are ASCII
    }
    return missing;
}

namespace {

const wchar_t* const kOverridden[] = {L"winhttp", L"wininet", L"atl"};

std::wstring SettingKey(const std::wstring& programName) { return L"Software\\Wine\\AppDefaults\\" + programName; }

}  // namespace

NativeFirstUnderWine::NativeFirstUnderWine(const std::wstring& programName)
{
    if (!RunningUnderWine()) return;
    key_ = SettingKey(programName);
    HKEY overrides = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, (key_ + L"\\DllOverrides").c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &overrides, nullptr) != ERROR_SUCCESS)
        return;
    static const wchar_t kOrder[] = L"native,builtin";
    for (const wchar_t* name : kOverridden)
        RegSetValueExW(overrides, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(kOrder), sizeof kOrder);
    RegCloseKey(overrides);
}

NativeFirstUnderWine::~NativeFirstUnderWine()
{
    // The program's own key only: Wine's AppDefaults key itself is the prefix's.
    if (!key_.empty()) RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str());
}

bool NativeFirstUnderWine::InEffect()
{
    if (!RunningUnderWine()) return false;
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring self(path, n);
    const std::wstring key = SettingKey(self.substr(self.find_last_of(L'\\') + 1)) + L"\\DllOverrides";
    DWORD size = 0;
    return RegGetValueW(HKEY_CURRENT_USER, key.c_str(), kOverridden[0], RRF_RT_REG_SZ, nullptr, nullptr, &size) ==
           ERROR_SUCCESS;
}
