// The edit box: the system's edit control with the stored styles, colours,
// font, limits and an optional spin control. Event 0 is raised once per
// content change, and exactly once per write of the content property.
#pragma once

#include "runtime/forms/unit_types.h"

UnitOperation EditBoxInterface(int32_t code);
