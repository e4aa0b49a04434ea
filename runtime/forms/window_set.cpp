#include "runtime/forms/window_set.h"

namespace {

WindowSet& Registry()
{
    static WindowSet set;
    return set;
}

}  // namespace

bool ReadProgramFormBlock(const uint8_t* data, uint32_t size, const void* codeBase)
{
    WindowSet& set = Registry();
    if (!ReadFormBlock(data, size, &set)) return false;
    FixUpHandlers(&set, reinterpret_cast<uintptr_t>(codeBase));
    return true;
}

WindowSet* ProgramWindowSet() { return &Registry(); }

WindowRecord* FindWindowRecord(WindowId id) { return Registry().Find(id); }

UnitRecord* FindUnitRecord(WindowId windowId, UnitId unitId)
{
    WindowRecord* w = FindWindowRecord(windowId);
    if (!w || w->units.units.empty()) return nullptr;
    if (unitId == 0) return &w->units.units[0];
    return w->units.Find(unitId);
}

void ReleaseWindowDescriptions() { Registry().windows.clear(); }
