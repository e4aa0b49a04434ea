// Real key strokes for GUI tests: sent through the system's input queue, so
// they reach whichever window has the focus, as a person's would.
#pragma once

#include <windows.h>

#include <initializer_list>

// Presses the keys in order and releases them in reverse (VK_SHIFT, VK_TAB
// is Shift+Tab). Returns at once; the caller waits for the window to act.
void SendKeyChord(std::initializer_list<WORD> keys);

// A key held down: its key-down, `repeats` more key-downs as the keyboard's
// auto-repeat sends them (the key already down), then its key-up.
void HoldKey(WORD key, int repeats);
