// The label: a window of the runtime's own class "_ZR_Label" that paints its
// frame, background (picture, gradient or colour) and caption itself.
#pragma once

#include "runtime/forms/unit_types.h"

// The label type's UnitInterface entry.
UnitOperation LabelInterface(int32_t code);
