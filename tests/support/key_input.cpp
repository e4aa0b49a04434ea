#include "tests/support/key_input.h"

#include <vector>

namespace {

std::string Describe(HWND window)
{
    if (!window) return "no window";
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    std::string text = "a window of class \"";
    for (const wchar_t* c = className; *c; ++c) text += *c < 0x80 ? static_cast<char>(*c) : '?';
    return text + "\" of process " + std::to_string(processId);
}

// Empty while the window's top-level window has the foreground.
std::string NotInFront(HWND window)
{
    const HWND foreground = GetForegroundWindow();
    if (foreground && foreground == GetAncestor(window, GA_ROOT)) return {};
    return "the test's window is not in the foreground (" + Describe(foreground) +
           " is): SetForegroundWindow works only under the rules on its page, which a test started from a console, "
           "Windows Terminal or a hosted runner usually does not meet, or another window took the foreground; keys "
           "sent now would go to that window";
}

std::string Send(INPUT input)
{
    if (SendInput(1, &input, sizeof input) == 1) return {};
    // (A key that UIPI blocks, for a window of a process at a higher
    // integrity level, is not reported here; the caller sees no effect.)
    return "SendInput inserted no key: another thread blocks the input (error " + std::to_string(GetLastError()) +
           ")";
}

INPUT Key(WORD key, bool up)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

}  // namespace

std::string BringToForeground(HWND window)
{
    const HWND top = GetAncestor(window, GA_ROOT);
    const DWORD start = GetTickCount();
    // The window's thread carries the activation out in its own time.
    while (GetForegroundWindow() != top && GetTickCount() - start < 5000) {
        SetForegroundWindow(top);
        Sleep(50);
    }
    return NotInFront(window);
}

std::string SendKeyChord(HWND window, std::initializer_list<WORD> keys)
{
    std::string why;
    std::vector<WORD> down;
    for (WORD k : keys) {
        why = NotInFront(window);
        if (why.empty()) why = Send(Key(k, false));
        if (!why.empty()) break;
        down.push_back(k);
    }
    // What was pressed is released whatever happened: a key-up types
    // nothing, and no key may stay held for the next program.
    for (size_t i = down.size(); i-- > 0;) Send(Key(down[i], true));
    return why;
}

std::string HoldKey(HWND window, WORD key, int repeats)
{
    std::string why;
    bool pressed = false;
    for (int i = 0; i <= repeats && why.empty(); ++i) {
        why = NotInFront(window);
        if (why.empty()) why = Send(Key(key, false));
        pressed = pressed || why.empty();
    }
    if (pressed) Send(Key(key, true));
    return why;
}

std::string TypeKeys(HWND window, const std::wstring& text)
{
    for (wchar_t c : text) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wScan = c;
        input.ki.dwFlags = KEYEVENTF_UNICODE;
        std::string why = NotInFront(window);
        if (why.empty()) why = Send(input);
        if (!why.empty()) return why;
        input.ki.dwFlags |= KEYEVENTF_KEYUP;
        Send(input);
    }
    return {};
}
