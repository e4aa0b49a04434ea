// What a screen reader announces for a unit whose window cannot tell it by
// itself. Windows names an edit box after the static text control just before
// it in the stacking order and a control without text by nothing; this
// runtime's labels and picture boxes are windows of its own classes, so a
// program says what its units are called, and the platform's accessibility
// layer (dynamic annotation) passes that on. The stored form is not touched.
#pragma once

#include "runtime/forms/form_block.h"

#include <cstdint>

// Accessible roles as the platform numbers them (ROLE_SYSTEM_*).
constexpr int32_t kAccessibleRoleOwn = 0;  // keep what the unit's window says
constexpr int32_t kAccessibleRolePushButton = 0x2B;

// Gives the live window of a unit (unit id 0: the window itself) the
// accessible name `gbkName` (GBK; null or empty leaves the name alone) and,
// unless `role` is kAccessibleRoleOwn, that role. False when the unit has no
// live window or the platform's accessibility layer takes neither. The
// annotation belongs to that window: a unit re-created by a property change,
// or a window loaded again, starts without one: annotate it again then.
bool AnnotateUnitForScreenReaders(WindowId windowId, UnitId unitId, const char* gbkName, int32_t role);

// A unit's window is going (WM_NCDESTROY): takes back what was annotated on
// it, so that the accessibility layer holds nothing for a window that no
// longer exists. Does nothing for a window that was never annotated.
void ForgetAccessibleAnnotations(void* hwnd);
