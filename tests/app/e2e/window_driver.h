// Drives another process's window from outside, as a person would: finds it
// and its controls, types, clicks, and reads back texts and pixels.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The first visible top-level window of the process with the class name,
// waiting up to timeoutMs for it to appear.
HWND WaitForTopLevelWindow(uint32_t processId, const wchar_t* className, uint32_t timeoutMs);

// A child (at any depth) with the class name and, when given, the text.
HWND FindChildWindow(HWND parent, const wchar_t* className, const std::wstring* text = nullptr);

std::wstring WindowText(HWND window);

// Types the text into the control as keyboard characters.
void TypeText(HWND control, const std::wstring& text);

// A left click in the middle of the window, as posted mouse messages.
void ClickWindow(HWND window);

// The colour on screen at the client position of the window.
COLORREF ClientPixel(HWND window, int x, int y);

// True when the colours differ by at most `tolerance` in every channel.
bool NearColour(COLORREF a, COLORREF b, int tolerance);

// The committed private memory of another process, summed region by region
// (Wine reports a process's private usage counter as 0 for another process).
size_t PrivateCommittedBytes(uint32_t processId);

// That figure once the process has been quiet a while: the platform's HTTP
// libraries run their requests on pooled worker threads, which end a few idle
// seconds after the last one (Wine's commit their whole stack); unchanged
// within 64 KB for 3 s, or the last reading after timeoutMs.
size_t SettledPrivateBytes(uint32_t processId, uint32_t timeoutMs);

// Waits until the predicate holds, polling every 20 ms; false on time-out.
template <class Predicate> bool WaitUntil(Predicate predicate, uint32_t timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (predicate()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
}
