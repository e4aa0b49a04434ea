// Real key strokes for GUI tests, sent through the system's input queue as a
// person's would be. Such keys go to whichever window has the foreground, so
// none is sent blind: each goes only while the window it is meant for is the
// foreground window. A test started from a console, from Windows Terminal or
// on a hosted runner (whose own console stays in front) usually may not take
// the foreground; it is then skipped with the reason (SL_KEYS_OR_SKIP).
//
// Each call returns an empty text when it did what it says, else the reason
// it stopped.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

// Brings the top-level window of `window` to the foreground with
// SetForegroundWindow, which the system allows only under the rules on that
// function's page (among them: this process is the foreground process, was
// started by it, or received the last input). Waits up to 5 s for it.
std::string BringToForeground(HWND window);

// Presses the keys in order and releases them in reverse (VK_SHIFT, VK_TAB
// is Shift+Tab), each press only while `window`'s top-level window has the
// foreground. Returns at once; the caller waits for the window to act.
std::string SendKeyChord(HWND window, std::initializer_list<WORD> keys);

// A key held down: its key-down, `repeats` more key-downs as the keyboard's
// auto-repeat sends them (the key already down), then its key-up.
std::string HoldKey(HWND window, WORD key, int repeats);

// Characters typed as keyboard input (not posted to a window).
std::string TypeKeys(HWND window, const std::wstring& text);

// Runs one of the calls above; where it could not do its work, the test is
// skipped with the reason.
#define SL_KEYS_OR_SKIP(call)                                                                                          \
    if (const std::string slWhyNot = (call); !slWhyNot.empty()) GTEST_SKIP() << slWhyNot
