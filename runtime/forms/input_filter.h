// Keyboard and mouse input of a loaded window and its units becomes the
// generic unit events (-1 .. -12) before the message is dispatched. A handler
// that returns false swallows the message; a character handler's non-zero
// result replaces the character. Before that, the platform's dialog navigation
// moves the focus with Tab and Shift+Tab and clicks a focused button on Enter.
#pragma once

#include <windows.h>

#include <cstdint>

// Key state of the generic events: bit 0 Ctrl, bit 1 Shift, bit 2 Alt.
uint32_t CurrentKeyState();

// The answer of a window unit to DM_GETDEFID: the focused push button, so that
// Enter on it clicks it (its event 0, as a mouse click); 0 when the focus is
// on anything else, so that navigation clicks nothing then.
LRESULT DefaultButtonOfFocus(HWND window);

// The pre-translation step of the message loop: true when the message was
// consumed (swallowed, taken by an accelerator, or its window is gone).
bool InputEventFilter(MSG* msg);
