// The floor for loading the application's window: a plain Win32 window that
// makes the same children itself, with no form description, unit layer or
// property machinery in between. Each of them does the work the application's
// unit does: two static texts, a single-line edit box and a push button in the
// default GUI font, the red cross decoded from its JPEG bytes with
// libjpeg-turbo and drawn stretched to 16 x 16 (half-tone, as the picture box
// draws), and a hidden web browser control in atl.dll's control container
// with its IWebBrowser2 taken, at the application's positions in a fixed
// 415 x 127 window with the program's icon, centred on the screen.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace bench {

// Binds atl.dll and registers the container's class, once per process (as
// the HTML viewer unit does on its first use). False if there is no atl.dll.
bool StartSameWorkWindows();

// Creates, shows and paints the window (messages that follow are left to the
// caller's pump). `jpeg` must stay valid until the window is destroyed.
HWND CreateSameWorkWindow(const uint8_t* jpeg, size_t size);

// The JPEG the application's form stores for its picture box, found in a
// compiled FormBlock (its 32-bit length directly precedes its bytes).
bool FindStoredJpeg(const uint8_t* block, size_t size, const uint8_t** jpeg, size_t* length);

}  // namespace bench
