// Keyboard and mouse input of a loaded window and its units becomes the
// generic unit events (-1 .. -12) before the message is dispatched. A handler
// that returns false swallows the message; a character handler's non-zero
// result replaces the character. Before that, a control hosted in a unit
// translates its own keys, the platform's dialog navigation moves the focus
// with Tab and Shift+Tab, and Enter clicks the focused button or the stored
// default one.
#pragma once

#include <windows.h>

#include <cstdint>

// Key state of the generic events: bit 0 Ctrl, bit 1 Shift, bit 2 Alt.
uint32_t CurrentKeyState();

// Whether the platform's dialog navigation is running for the window now:
// only then is its DM_GETDEFID (which shares its value with WM_USER) that
// question rather than one of the application's own messages.
bool DialogNavigationAsks(HWND window);

// The Tab key-down whose navigation is moving the focus now, or null: a unit
// that hosts a control hands it on, so that the control starts at its first
// element (or, with Shift, its last).
const MSG* NavigationKey();

// The answer to DM_GETDEFID: the focused push button, so that the focused
// one looks like the default while it has the focus, else the button stored
// as the default one; 0 when there is none.
LRESULT DefaultButtonOf(HWND window);

// The pre-translation step of the message loop: true when the message was
// consumed (swallowed, taken by an accelerator, or its window is gone).
bool InputEventFilter(MSG* msg);
