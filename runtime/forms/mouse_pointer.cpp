#include "runtime/forms/mouse_pointer.h"

#include <cstring>

namespace {

constexpr uint32_t kStandardPointers[kStandardPointerCount] = {
    0,      // none
    32512,  // arrow
    32515,  // cross
    32513,  // I-beam
    32514,  // wait
    32651,  // help
    32650,  // arrow with hourglass
    32648,  // no
    32646,  // size all
    32643,  // size NE-SW
    32645,  // size N-S
    32642,  // size NW-SE
    32644,  // size W-E
    32516,  // up arrow
    32649,  // hand
};

constexpr uint32_t kDataMarker = 0xFFFFFFFFu;

}  // namespace

uint32_t StandardPointerCursor(uint32_t index)
{
    return index < kStandardPointerCount ? kStandardPointers[index] : 0;
}

int32_t StandardPointerIndex(uint32_t cursorNumber)
{
    for (uint32_t k = 1; k < kStandardPointerCount; ++k) {
        if (kStandardPointers[k] == cursorNumber) return static_cast<int32_t>(k);
    }
    return -1;
}

PointerChoice ResolvePointerData(const uint8_t* data, size_t length)
{
    PointerChoice c;
    if (!data || length == 0) return c;
    uint32_t v = data[0];
    if (length > 3) std::memcpy(&v, data, 4);  // little-endian hosts only, as the stored format
    c.tryWholeData = v != kDataMarker && length > 10;
    if (v < kStandardPointerCount) v = kStandardPointers[v];
    if (v == 0) return c;
    if (v == kHandCursorNumber) {
        c.kind = PointerChoice::OwnHand;
    } else if (StandardPointerIndex(v) > 0) {
        c.kind = PointerChoice::System;
        c.systemCursor = v;
    } else if (v == kDataMarker && length >= 5) {
        c.kind = PointerChoice::FromData;
        c.dataOffset = 4;
    }
    return c;
}
