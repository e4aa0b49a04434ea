#include "tests/app/e2e/window_driver.h"

#include <algorithm>
#include <cstdlib>

namespace {

// DPI aware like the program (its manifest says so), before any window is
// looked at: on a scaled display the program's windows are then read in the
// screen's own pixels, not in coordinates Windows scales for an unaware caller.
const bool kDpiAware = SetProcessDPIAware() != FALSE;

struct TopLevelSearch {
    uint32_t processId;
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK ConsiderTopLevel(HWND hwnd, LPARAM param)
{
    auto* search = reinterpret_cast<TopLevelSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != search->processId || !IsWindowVisible(hwnd)) return TRUE;
    wchar_t className[128] = {};
    GetClassNameW(hwnd, className, 128);
    if (wcscmp(className, search->className) != 0) return TRUE;
    search->found = hwnd;
    return FALSE;
}

struct ChildSearch {
    const wchar_t* className;
    const std::wstring* text;
    HWND found;
};

BOOL CALLBACK ConsiderChild(HWND hwnd, LPARAM param)
{
    auto* search = reinterpret_cast<ChildSearch*>(param);
    wchar_t className[128] = {};
    GetClassNameW(hwnd, className, 128);
    if (_wcsicmp(className, search->className) != 0) return TRUE;
    if (search->text && WindowText(hwnd) != *search->text) return TRUE;
    search->found = hwnd;
    return FALSE;
}

}  // namespace

HWND WaitForTopLevelWindow(uint32_t processId, const wchar_t* className, uint32_t timeoutMs)
{
    TopLevelSearch search{processId, className, nullptr};
    WaitUntil(
        [&] {
            EnumWindows(ConsiderTopLevel, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}

HWND FindChildWindow(HWND parent, const wchar_t* className, const std::wstring* text)
{
    ChildSearch search{className, text, nullptr};
    EnumChildWindows(parent, ConsiderChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring WindowText(HWND window)
{
    wchar_t buffer[1024] = {};
    // WM_GETTEXT works across processes for any window class.
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000, nullptr);
    return buffer;
}

void TypeText(HWND control, const std::wstring& text)
{
    for (wchar_t c : text) PostMessageW(control, WM_CHAR, c, 1);
}

void ClickWindow(HWND window)
{
    RECT r = {};
    GetClientRect(window, &r);
    LPARAM at = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(window, WM_LBUTTONUP, 0, at);
}

COLORREF WindowPixel(HWND window, int x, int y, bool frame)
{
    const HWND top = GetAncestor(window, GA_ROOT);
    POINT at = {x, y};
    if (frame) {
        RECT outer = {};
        GetWindowRect(window, &outer);
        at = {outer.left + x, outer.top + y};
    } else {
        ClientToScreen(window, &at);
    }
    // Posted, not waited for: the program's thread carries it out in its own
    // time (and repaints what was hidden), and a test of a busy program must
    // not stop here; the callers poll.
    if (GetAncestor(WindowFromPoint(at), GA_ROOT) != top) {
        SetWindowPos(top, HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER | SWP_ASYNCWINDOWPOS);
        Sleep(100);
    }
    HDC dc = frame ? GetWindowDC(window) : GetDC(window);
    if (!dc) return CLR_INVALID;
    const COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return c;
}

COLORREF ScreenPixel(HWND window, int x, int y)
{
    POINT p = {x, y};
    ClientToScreen(window, &p);
    HDC screen = GetDC(nullptr);
    COLORREF c = GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return c;
}

bool NearColour(COLORREF a, COLORREF b, int tolerance)
{
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

AnswerProbe::AnswerProbe(HWND window) : window_(window), lastAnswer_(GetTickCount()) {}

void AnswerProbe::Probe()
{
    DWORD_PTR result = 0;
    DWORD sent = GetTickCount();
    if (SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 100, &result)) {
        DWORD now = GetTickCount();
        longestSilenceMs_ = std::max<DWORD>(longestSilenceMs_, now - lastAnswer_);
        lastAnswer_ = now;
    } else {
        unanswered_.push_back(sent);
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(20);
}

DWORD AnswerProbe::LongestSilenceMs() const { return std::max<DWORD>(longestSilenceMs_, GetTickCount() - lastAnswer_); }

size_t AnswerProbe::UnansweredIn(DWORD from, DWORD spanMs) const
{
    return std::count_if(unanswered_.begin(), unanswered_.end(), [&](DWORD t) { return t - from < spanMs; });
}

Cover::Cover(HWND over)
{
    brush_ = CreateSolidBrush(kColour);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = brush_;
    wc.lpszClassName = L"SongLinkTestCover";
    RegisterClassW(&wc);
    RECT r = {};
    GetClientRect(over, &r);
    MapWindowPoints(over, nullptr, reinterpret_cast<POINT*>(&r), 2);
    window_ =
        CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, wc.lpszClassName, L"", WS_POPUP, r.left,
                        r.top, r.right - r.left, r.bottom - r.top, nullptr, nullptr, wc.hInstance, nullptr);
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    UpdateWindow(window_);
}

Cover::~Cover()
{
    DestroyWindow(window_);
    UnregisterClassW(L"SongLinkTestCover", GetModuleHandleW(nullptr));
    DeleteObject(brush_);
}

size_t PrivateCommittedBytes(uint32_t processId)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (!process) return 0;
    size_t total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char* at = nullptr; VirtualQueryEx(process, at, &region, sizeof region) == sizeof region;
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.RegionSize == 0) break;
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    }
    CloseHandle(process);
    return total;
}

size_t SettledPrivateBytes(uint32_t processId, uint32_t timeoutMs)
{
    constexpr size_t kSteady = 64 * 1024;
    constexpr DWORD kQuietMs = 3000;
    DWORD start = GetTickCount();
    size_t last = PrivateCommittedBytes(processId);
    DWORD since = start;
    for (;;) {
        Sleep(250);
        size_t now = PrivateCommittedBytes(processId);
        if (now > last + kSteady || now + kSteady < last) {
            last = now;
            since = GetTickCount();
        } else if (GetTickCount() - since >= kQuietMs) {
            return now;
        }
        if (GetTickCount() - start > timeoutMs) return now;
    }
}
