// The window unit: the top-level window of a loaded form (entry 0 of its unit
// list). It paints its background picture over its background colour, turns
// closing, moving, sizing, activation and idle time into its own events,
// reflects its units' notifications to them, and shows itself by its start
// position.
#pragma once

#include "runtime/forms/form_block.h"
#include "runtime/forms/unit_types.h"

#include <windows.h>

#include <string>

class WindowUnit;

// The window type's UnitInterface entry.
UnitOperation WindowUnitInterface(int32_t code);

// Registers a window class of that name (empty: "WTWindow") in the program's
// module unless it already is; returns the name used. Empty on failure.
std::wstring RegisterWindowClass(const std::wstring& name);

// The live window unit of a loaded window, or null.
WindowUnit* FindWindowUnit(WindowId windowId);

// The same as the live unit object (SystemNotify 2006), or null.
LiveUnit* WindowUnitObject(WindowId windowId);

// Showing a loaded window by its start position, then the focus event.
void ShowLoadedWindow(WindowRecord* record, LiveUnit* windowUnit);

// A window's idle routine: raises event 7 with the elapsed milliseconds;
// true while the handler asks for more.
bool WindowIdle(WindowId windowId, uint32_t elapsedMs);

// Decodes of background pictures so far (loading must not decode twice).
uint32_t WindowPictureDecodes();
