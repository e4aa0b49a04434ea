// Typed access to unit properties for application code, over the runtime's
// two property services.
#pragma once

#include "app/owned.h"
#include "runtime/forms/accessible_names.h"

#include <cstdint>

// A text property (for example an edit box's content), as a new owned text.
OwnedText ReadUnitText(uint32_t windowId, uint32_t unitId, int32_t property);

// Writes a text property; the unit keeps its own copy.
void WriteUnitText(uint32_t windowId, uint32_t unitId, int32_t property, const char* text);

// Writes a byte-set property (a picture, say); the unit keeps its own copy.
void WriteUnitBytes(uint32_t windowId, uint32_t unitId, int32_t property, const uint8_t* bytes);

// Tells screen readers what a unit is called and, for a role other than
// kAccessibleRoleOwn, what kind of control it is (runtime/forms/accessible_names.h).
void AnnounceUnitAs(uint32_t windowId, uint32_t unitId, const char* name, int32_t role);
