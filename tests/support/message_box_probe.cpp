#include "tests/support/message_box_probe.h"

#include "runtime/core/gbk_wide.h"

#include <windows.h>

std::wstring FromGbk(const std::string& gbk) { return GbkToWide(gbk); }

namespace {

struct Search {
    uint32_t processId;
    const std::wstring* caption;
    HWND found;
};

BOOL CALLBACK ConsiderWindow(HWND hwnd, LPARAM param)
{
    auto* search = reinterpret_cast<Search*>(param);
    wchar_t className[64] = {};
    GetClassNameW(hwnd, className, 64);
    if (std::wstring(className) != L"#32770" || !IsWindowVisible(hwnd)) return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (search->processId && pid != search->processId) return TRUE;
    wchar_t title[256] = {};
    GetWindowTextW(hwnd, title, 256);
    if (*search->caption != title) return TRUE;
    search->found = hwnd;
    return FALSE;
}

BOOL CALLBACK CollectStatic(HWND child, LPARAM param)
{
    wchar_t className[64] = {};
    GetClassNameW(child, className, 64);
    if (_wcsicmp(className, L"Static") != 0) return TRUE;
    int length = GetWindowTextLengthW(child);
    if (length <= 0) return TRUE;
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(child, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    *reinterpret_cast<std::wstring*>(param) = text;
    return TRUE;
}

}  // namespace

MessageBoxSeen FindAndDismissMessageBox(uint32_t processId, const std::wstring& caption)
{
    MessageBoxSeen seen;
    Search search{processId, &caption, nullptr};
    EnumWindows(ConsiderWindow, reinterpret_cast<LPARAM>(&search));
    if (!search.found) return seen;
    seen.found = true;
    seen.caption = caption;
    // The message is the box's static control with text (id 0xFFFF on
    // Windows); the icon is a static without text.
    EnumChildWindows(search.found, CollectStatic, reinterpret_cast<LPARAM>(&seen.text));
    PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return seen;
}
