// The HTML viewer: a host window holding the system's web browser control
// (control identifier 0xE900), driven through IWebBrowser2: offline, silent,
// zoom and navigation to its address.
#pragma once

#include "runtime/forms/unit_types.h"

UnitOperation HtmlViewerInterface(int32_t code);
