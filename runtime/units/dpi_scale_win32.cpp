#include "runtime/units/dpi_scale.h"

#include <windows.h>

int32_t SystemDpi()
{
    // A DPI-aware process sees the system DPI here; an unaware one sees 96
    // and is stretched by the system instead.
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : kStoredDpi;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kStoredDpi;
}
