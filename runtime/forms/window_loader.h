// Window loading: a live window with its units made from a WindowRecord, and
// the destruction notice that gives a closed window its stored list back.
#pragma once

#include "runtime/forms/form_block.h"

#include <cstddef>
#include <cstdint>

class LiveUnit;

// Load window (record, reload flag, modal flag, owner HWND or null). Without
// the reload flag an already open window is restored or activated instead.
// On failure nothing of the load stays alive: a created window is destroyed
// and the record keeps the list it had before.
bool LoadWindow(WindowRecord* record, bool reload, bool modal, void* owner);

// LoadWindowService and SystemNotify 2005: the window with this identifier,
// loaded as (record, 0, 0, none). False when it is unknown or fails to load.
bool LoadWindowById(WindowId id);

// SystemNotify 2000: a unit (or, with the window's own UnitId or 0, the window
// unit) is being destroyed. Ignored while a unit is being re-created.
void NotifyUnitDestroyed(WindowId windowId, UnitId unitId);

// Raised around a unit's re-creation by the property services: destruction
// notices are ignored meanwhile.
void SetUnitRecreation(bool active);

// SystemNotify 2009 / 2010 and their counter.
void RaiseLoadingDepth();
void LowerLoadingDepth();
int32_t LoadingDepth();

// True while the window is loaded and its window still exists. Program code
// that may outlive its window (a routine that waits for the network while the
// user closes the window) asks this before it touches the window again.
bool IsWindowLoaded(WindowId windowId);
// True while any window is loaded in that sense.
bool AnyLoadedWindowAlive();
// Fills up to `max` identifiers of loaded windows; returns how many there are.
size_t LoadedWindowIds(uint32_t* ids, size_t max);

// Shows a window at the end of its load when its visible flag is set. The
// window unit's module installs the real one (start position, focus events);
// the default shows it normally.
using LoadedWindowShower = void (*)(WindowRecord* record, LiveUnit* windowUnit);
void SetLoadedWindowShower(LoadedWindowShower shower);

// The window part's notify codes served here: 1001 (WindowSet), 1002 (unit
// type), 2000 (destruction notice), 2005 (load by id), 2009, 2010. Returns
// false for any other code so that the caller can serve it.
bool FormsNotify(int32_t code, uintptr_t arg1, uintptr_t arg2, int64_t* result);

// Exit sequence: destroys the cursors still held by any record.
void ReleaseFormResources();

// True while the window unit of a modal load is being created.
bool LoadingModalWindow();

// Fills the window part entries served here (readFormBlock, loadWindow,
// anyWindowAlive, loadedWindows, releaseWindowDescriptions, releaseResources);
// the window unit's module fills the rest and registers the whole.
struct WindowPartEntries;
void FillFormsWindowPartEntries(WindowPartEntries* entries);

// Window messages sent to units during loading.
constexpr uint32_t kMsgUnitsCreated = 0x806F;
constexpr uint32_t kMsgWindowUnitsCreated = 0x8004;
constexpr uint32_t kMsgWindowLoaded = 0x8076;

// Style bits the loader chooses.
constexpr uint32_t kStyleDisabled = 0x08000000;
constexpr uint32_t kStyleTabStop = 0x00010000;

// Control identifiers: 100 for the first unit created, then every 10.
constexpr uint32_t kFirstControlId = 100;
constexpr uint32_t kControlIdStep = 10;
