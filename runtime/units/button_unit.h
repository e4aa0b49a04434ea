// The button: the system's push button with the stored caption, alignment,
// picture and font; its click raises event 0.
#pragma once

#include "runtime/forms/unit_types.h"

UnitOperation ButtonInterface(int32_t code);
