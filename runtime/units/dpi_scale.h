// Stored layouts at the system's DPI. Window descriptions and the program's
// positions and sizes are in pixels of a 96-DPI screen; the program declares
// itself DPI aware, so Windows does not stretch it and it lays itself out:
// every rectangle becomes the stored one scaled by dpi / 96 when a window or
// unit is created or moved, and what the program reads back is in stored
// units again, so its own arithmetic never sees the screen's scaling.
#pragma once

#include <cstdint>

// The DPI that stored layouts are drawn for.
constexpr int32_t kStoredDpi = 96;

// A stored coordinate or extent in screen pixels at `dpi`, rounded to nearest
// (halves away from zero). At 96 DPI the value itself; otherwise kept within
// the same +-32,627 that the property services clamp stored values to, so a
// scaled value still fits the 16-bit positions of window messages.
int32_t ScaleToDpi(int32_t stored, int32_t dpi);

// Screen pixels at `dpi` back in stored units, rounded to nearest.
int32_t ScaleFromDpi(int32_t pixels, int32_t dpi);

// What the program reads for a live window's coordinate: the stored value
// while the window is where that value put it (so a write followed by a read
// gives the value written, whatever the rounding), else the pixels in stored
// units (the window was moved or sized by the user or the system).
int32_t StoredFromPixels(int32_t pixels, int32_t stored, int32_t dpi);

// The system DPI of this DPI-aware process (96 when the screen answers none).
// Windows build only.
int32_t SystemDpi();
