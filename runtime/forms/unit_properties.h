// The two property services through which program code reads and writes the
// properties of a window or unit: 0..7 generic (left, top, width, height, tag,
// visible, disabled, mouse pointer), 8 + k the unit type's own property k.
#pragma once

#include "runtime/forms/form_block.h"

#include <cstdint>

// Entry-table slot 4. Texts and byte sets come back as new blocks owned by the
// caller, in the low word. Reports "未载入欲访问窗口组件所在的窗口" for an
// unknown window and "指定窗口尚未载入" for an own property of a window that is
// not loaded.
int64_t ReadUnitProperty(WindowId windowId, UnitId unitId, int32_t index, int32_t element);

// Entry-table slot 5. `value` is the low word (a pointer for texts, byte sets
// and font records), `second` the high word of 64-bit values. Out-of-range
// positions and sizes are clamped, never rejected.
void WriteUnitProperty(WindowId windowId, UnitId unitId, int32_t index, int32_t element, uintptr_t value,
                       uint32_t second);
