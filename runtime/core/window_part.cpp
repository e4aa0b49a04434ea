#include "runtime/core/window_part.h"

namespace {
const WindowPartEntries* gWindowPart = nullptr;  // borrowed, static storage
}

void RegisterWindowPart(const WindowPartEntries* entries) { gWindowPart = entries; }

const WindowPartEntries* WindowPart() { return gWindowPart; }
