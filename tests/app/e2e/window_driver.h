// Drives another process's window from outside, as a person would: finds it
// and its controls, types, clicks, and reads back texts and pixels.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

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

// The colour the window itself drew at a point (client coordinates; window
// coordinates with `frame`), read through a DC of the window. On a desktop
// that is not composited (Wine's among them) such a DC holds only what shows,
// so where another window lies over the point the window is first raised
// above it without being activated (a test may not be allowed to take the
// foreground).
COLORREF WindowPixel(HWND window, int x, int y, bool frame = false);
inline COLORREF ClientPixel(HWND window, int x, int y) { return WindowPixel(window, x, y); }

// The colour on screen at the client position of the window: what a person
// sees there, whatever window shows at that place.
COLORREF ScreenPixel(HWND window, int x, int y);

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

// Another program's view of a window: how long it went without answering a
// message sent to it with a short limit (WM_NULL, 100 ms), as the system's
// own hang check sees it. Each probe also serves the probing thread's own
// windows.
class AnswerProbe {
public:
    explicit AnswerProbe(HWND window);

    void Probe();
    // Probes until the predicate holds; false after timeoutMs.
    template <class Predicate> bool ProbeUntil(Predicate done, DWORD timeoutMs)
    {
        DWORD start = GetTickCount();
        while (!done()) {
            if (GetTickCount() - start > timeoutMs) return false;
            Probe();
        }
        return true;
    }

    // The longest time between two answers, up to now.
    DWORD LongestSilenceMs() const;
    // The probes sent in [from, from + spanMs) that went unanswered.
    size_t UnansweredIn(DWORD from, DWORD spanMs) const;

private:
    HWND window_;
    DWORD lastAnswer_;
    DWORD longestSilenceMs_ = 0;
    std::vector<DWORD> unanswered_;  // tick counts of the sends
};

// A window of the caller's own in one colour, laid over the client area of
// another; it is taken away again when this ends.
class Cover {
public:
    static constexpr COLORREF kColour = RGB(255, 0, 255);

    explicit Cover(HWND over);
    ~Cover();
    Cover(const Cover&) = delete;
    Cover& operator=(const Cover&) = delete;

private:
    HBRUSH brush_ = nullptr;  // owned
    HWND window_ = nullptr;   // owned
};
