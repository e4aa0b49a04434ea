// The HTML viewer: a host window holding the system's web browser control
// (control identifier 0xE900), driven through IWebBrowser2: offline, silent,
// zoom and navigation to its address. What the documents it opens while the
// unit is hidden may do is held back (browser_guard.h).
#pragma once

#include "runtime/forms/unit_types.h"

UnitOperation HtmlViewerInterface(int32_t code);
