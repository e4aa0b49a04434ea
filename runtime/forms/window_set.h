// The program's one window registry (WindowSet): filled once at start-up from
// the stored FormBlock, consulted by window loading, event dispatch and the
// property services, released by the exit sequence.
#pragma once

#include "runtime/forms/form_block.h"

#include <cstdint>

// Start-up: reads the block into the registry and fixes up its handlers
// against `codeBase` (see form_block.h). Size 0 leaves the registry empty.
// False, with the registry empty, when the block is damaged. This is the
// window part's readFormBlock entry.
bool ReadProgramFormBlock(const uint8_t* data, uint32_t size, const void* codeBase);

// SystemNotify 1001: the registry itself (never null).
WindowSet* ProgramWindowSet();

// Find window: null when no window of the program has the identifier.
WindowRecord* FindWindowRecord(WindowId id);

// A unit's record in its window's current list: unit id 0 means entry 0 (the
// window unit). Null when either is unknown. The pointer is good until the
// window's list changes places with its restore copy (the window unit's
// destruction notice, or a new load): look it up again after anything that
// may close the window, such as raising an event.
UnitRecord* FindUnitRecord(WindowId windowId, UnitId unitId);

// Exit sequence: empties the registry. Live slots must already be clear.
void ReleaseWindowDescriptions();
