#include "runtime/forms/window_loader.h"

#include "runtime/core/services.h"
#include "runtime/core/window_part.h"
#include "runtime/forms/mouse_pointer.h"
#include "runtime/forms/unit_types.h"
#include "runtime/forms/window_set.h"
#include "runtime/units/dpi_scale.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace {

int32_t gLoadingDepth = 0;
bool gRecreating = false;
bool gModalCreation = false;

void DefaultShower(WindowRecord*, LiveUnit* windowUnit)
{
    ShowWindow(static_cast<HWND>(windowUnit->Handle()), SW_SHOW);
}
LoadedWindowShower gShower = &DefaultShower;

HWND HandleOf(const LiveUnit* unit) { return unit ? static_cast<HWND>(unit->Handle()) : nullptr; }

bool Alive(const LiveUnit* unit)
{
    HWND h = HandleOf(unit);
    return h && IsWindow(h);
}

// One unit made by this load, in creation order.
struct Created {
    size_t index;  // entry in the record's list
    HWND handle;
    bool visible;
};

void DestroyCursorSlot(UnitRecord& u)
{
    if (u.cursor && u.cursorOwned) DestroyCursor(static_cast<HCURSOR>(u.cursor));
    u.cursor = nullptr;
    u.cursorOwned = false;
}

// The window unit is gone: the list as it was before the load becomes the
// record's list again and the used one gives up what it held.
void ReleaseUsedList(WindowRecord* r)
{
    if (r->live.accelerators) DestroyAcceleratorTable(static_cast<HACCEL>(r->live.accelerators));
    if (r->live.menu) DestroyMenu(static_cast<HMENU>(r->live.menu));
    // A modal window destroyed without going through its close must not
    // leave the windows it disabled disabled for good.
    for (auto& [window, enabled] : r->live.disabledByModal) {
        if (IsWindow(static_cast<HWND>(window))) EnableWindow(static_cast<HWND>(window), enabled);
    }
    r->live = WindowLiveState{};
    UnitList used = std::move(r->units);
    if (r->restoreCopy) {
        r->units = std::move(*r->restoreCopy);
        r->restoreCopy.reset();
    } else {
        r->units = used;  // no load took a copy: keep the stored data
    }
    for (UnitRecord& u : used.units) {
        if (u.IsMenuItem()) continue;
        u.object = nullptr;
        DestroyCursorSlot(u);
    }
    for (UnitRecord& u : r->units.units) {
        u.object = nullptr;
        u.cursor = nullptr;  // a copy never owns what the used list held
        u.cursorOwned = false;
    }
}

void RaiseWindowEvent(WindowId windowId, int32_t event)
{
    // An EventRecord: window, unit (0 = the window unit), event, no arguments,
    // then the result words the handler fills.
    uint32_t record[11] = {windowId, 0, static_cast<uint32_t>(event), 0, 0, 0, 0, 0, 0, 0, 0};
    SystemNotify(2008, reinterpret_cast<uintptr_t>(record), 0);
}

bool ChildAfterFirstSeparator(const UnitRecord& container, UnitId child)
{
    bool pastSeparator = false;
    for (UnitId id : container.children) {
        if (id == 0) {
            pastSeparator = true;
        } else if (pastSeparator && id == child) {
            return true;
        }
    }
    return false;
}

// A failed load leaves nothing alive: the window (with whatever units it
// already holds) is destroyed and the record gets its list back.
bool FailLoad(WindowRecord* r, HWND window)
{
    if (window && IsWindow(window)) DestroyWindow(window);
    if (r->restoreCopy) ReleaseUsedList(r);
    LowerLoadingDepth();
    return false;
}

}  // namespace

bool LoadWindow(WindowRecord* r, bool reload, bool modal, void* owner)
{
    if (!r || r->units.units.empty()) return false;
    if (LiveUnit* existing = r->units.units[0].object; existing && Alive(existing)) {
        HWND h = HandleOf(existing);
        if (!reload) {
            if (IsIconic(h)) {
                ShowWindow(h, SW_RESTORE);
            } else {
                SetActiveWindow(h);
            }
            return true;
        }
        // Loading anew: the open window goes first, and with it its list.
        DestroyWindow(h);
        if (r->restoreCopy) ReleaseUsedList(r);
    } else if (r->restoreCopy) {
        // Its window died without a notice: start from the list as it was.
        ReleaseUsedList(r);
    }
    if (modal) owner = nullptr;
    if (owner && !IsWindow(static_cast<HWND>(owner))) return false;

    RaiseLoadingDepth();
    r->restoreCopy = std::make_unique<UnitList>(r->units);
    // Menus: this program's windows have none; a menu run would be built here.
    HMENU menu = nullptr;
    HACCEL accelerators = nullptr;

    std::vector<UnitRecord>& units = r->units.units;
    std::vector<size_t> order{0};
    for (size_t k = units.size(); k-- > 1;) {
        if (!units[k].IsMenuItem()) order.push_back(k);
    }

    std::vector<Created> created;
    HWND window = nullptr;
    uint32_t controlId = kFirstControlId;
    // The stored rectangles are 96-DPI pixels; the window and its units are
    // made at the screen's scale (the window centred with its scaled size).
    const int32_t dpi = SystemDpi();
    for (size_t k : order) {
        UnitRecord& u = units[k];
        const UnitTypeDescriptor* type = FindUnitType(u.type);
        auto create = type ? GetUnitOperation<UnitCreateFn>(type->unitInterface, kUnitOpCreate) : nullptr;
        if (!create) return FailLoad(r, window);

        const bool alwaysHidden = (type->flags & kTypeAlwaysHidden) != 0;
        const bool visible = !alwaysHidden && (u.flags & kUnitVisible);
        uint32_t style = 0;
        if (!alwaysHidden && (u.flags & kUnitDisabled)) style |= kStyleDisabled;
        if (u.flags & kUnitTabStop) style |= kStyleTabStop;

        const bool isWindowUnit = k == 0;
        const uint8_t* data = u.unitData.empty() ? nullptr : u.unitData.data();
        gModalCreation = isWindowUnit && modal;
        LiveUnit* object =
            create(data, uint32_t(u.unitData.size()), style, isWindowUnit ? owner : window,
                   isWindowUnit ? 0 : controlId, isWindowUnit ? menu : nullptr, ScaleToDpi(u.left, dpi),
                   ScaleToDpi(u.top, dpi), ScaleToDpi(u.width, dpi), ScaleToDpi(u.height, dpi), r->id, u.id, 0, 0);
        gModalCreation = false;
        if (isWindowUnit) {
            if (!object || !Alive(object)) {
                if (menu) DestroyMenu(menu);
                r->restoreCopy.reset();
                LowerLoadingDepth();
                return false;
            }
            window = HandleOf(object);
        } else {
            if (!object) return FailLoad(r, window);
            controlId += kControlIdStep;
        }
        // The list may not be touched by create; `u` still names the entry.
        u.object = object;
        created.push_back({k, HandleOf(object), visible});
    }

    // Parents, and the pages after the first of a paged container start hidden.
    for (size_t k = 1; k < units.size(); ++k) {
        const UnitRecord& u = units[k];
        if (u.IsMenuItem()) continue;
        HWND parent = window;
        if (u.parent) {
            const UnitRecord* p = r->units.Find(u.parent);
            if (p && p->object) parent = HandleOf(p->object);
        }
        HWND h = HandleOf(u.object);
        if (h && parent && GetParent(h) != parent) SetParent(h, parent);
        // Dialog navigation steps into a unit's children only when it says
        // it holds controls.
        if (h && parent && parent != window) {
            const LONG_PTR ex = GetWindowLongPtrW(parent, GWL_EXSTYLE);
            if (!(ex & WS_EX_CONTROLPARENT)) SetWindowLongPtrW(parent, GWL_EXSTYLE, ex | WS_EX_CONTROLPARENT);
        }
    }
    for (Created& c : created) {
        if (c.index == 0) continue;
        const UnitRecord& u = units[c.index];
        const UnitRecord* p = u.parent ? r->units.Find(u.parent) : nullptr;
        if (!p || p->IsMenuItem()) continue;
        const UnitTypeDescriptor* pt = FindUnitType(p->type);
        if (pt && (pt->flags & kTypePagedContainer) && ChildAfterFirstSeparator(*p, u.id)) c.visible = false;
    }

    // Z-order: siblings stack in tab order, and units of one tab order in
    // stored order. The platform's dialog navigation (the input filter) walks
    // siblings top to bottom, so this is the order Tab takes.
    std::vector<size_t> stacking;
    for (size_t k = 1; k < units.size(); ++k) {
        if (!units[k].IsMenuItem() && units[k].object) stacking.push_back(k);
    }
    std::stable_sort(stacking.begin(), stacking.end(),
                     [&](size_t a, size_t b) { return units[a].tabOrder < units[b].tabOrder; });
    for (size_t n = 0; n < stacking.size(); ++n) {
        const UnitRecord& u = units[stacking[n]];
        HWND after = HWND_TOP;
        for (size_t m = n; m-- > 0;) {
            if (units[stacking[m]].parent == u.parent) {
                after = HandleOf(units[stacking[m]].object);
                break;
            }
        }
        SetWindowPos(HandleOf(u.object), after, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
    }

    for (UnitRecord& u : units) {
        if (u.IsMenuItem()) continue;
        u.cursor = MakeUnitCursor(u.pointerData.data(), u.pointerData.size(), &u.cursorOwned);
    }

    // Created units, last entry first (creation order after the window).
    for (size_t c = 1; c < created.size(); ++c) SendMessageW(created[c].handle, kMsgUnitsCreated, 0, 0);
    SendMessageW(window, kMsgWindowUnitsCreated, 0, 0);
    for (size_t c = 1; c < created.size(); ++c) {
        ShowWindow(created[c].handle, created[c].visible ? SW_SHOWNA : SW_HIDE);
    }

    if (r->live.accelerators) DestroyAcceleratorTable(static_cast<HACCEL>(r->live.accelerators));
    r->live.accelerators = accelerators;
    r->live.menu = menu;
    LowerLoadingDepth();

    // Handlers of these events may close the window; from here on only the
    // handles gathered above are used, each after checking it still exists.
    const WindowId id = r->id;
    LiveUnit* windowUnit = units[0].object;
    for (int32_t event : {0, 3, 4}) {
        if (IsWindow(window)) RaiseWindowEvent(id, event);
    }
    if (!IsWindow(window)) return true;
    if (created[0].visible) gShower(r, windowUnit);
    if (!IsWindow(window)) return true;

    if (modal) {
        r->live.modal = true;
        for (auto& other : ProgramWindowSet()->windows) {
            if (other.get() == r || !other->live.loaded || other->units.units.empty()) continue;
            HWND h = HandleOf(other->units.units[0].object);
            if (!h || !IsWindow(h) || (GetWindowLongW(h, GWL_STYLE) & WS_CHILD)) continue;
            r->live.disabledByModal.push_back({h, IsWindowEnabled(h) != FALSE});
            EnableWindow(h, FALSE);
        }
    }
    HWND focus = GetFocus();
    for (size_t c = 1; c < created.size(); ++c) {
        if (IsWindow(created[c].handle)) SendMessageW(created[c].handle, kMsgWindowLoaded, 0, 0);
    }
    if (GetFocus() != focus && focus && IsWindow(focus)) SetFocus(focus);
    r->live.loaded = true;
    return true;
}

bool LoadWindowById(WindowId id)
{
    WindowRecord* r = FindWindowRecord(id);
    return r && LoadWindow(r, false, false, nullptr);
}

void NotifyUnitDestroyed(WindowId windowId, UnitId unitId)
{
    if (gRecreating) return;
    WindowRecord* r = FindWindowRecord(windowId);
    if (!r || r->units.units.empty()) return;
    if (unitId == 0 || unitId == r->units.units[0].id) {
        ReleaseUsedList(r);
        return;
    }
    if (UnitRecord* u = r->units.Find(unitId); u && !u->IsMenuItem()) {
        DestroyCursorSlot(*u);
        u->object = nullptr;
    }
}

void SetUnitRecreation(bool active) { gRecreating = active; }

void RaiseLoadingDepth() { ++gLoadingDepth; }
void LowerLoadingDepth()
{
    if (gLoadingDepth > 0) --gLoadingDepth;
}
int32_t LoadingDepth() { return gLoadingDepth; }
bool LoadingModalWindow() { return gModalCreation; }

namespace {

// Loaded, and its window unit's window still exists: a window the user closed
// may not have had its destruction notice yet.
bool LoadedAndAlive(const WindowRecord& w)
{
    return w.live.loaded && !w.units.units.empty() && Alive(w.units.units[0].object);
}

}  // namespace

bool IsWindowLoaded(WindowId windowId)
{
    const WindowRecord* window = FindWindowRecord(windowId);
    return window && LoadedAndAlive(*window);
}

bool AnyLoadedWindowAlive()
{
    for (auto& w : ProgramWindowSet()->windows) {
        if (LoadedAndAlive(*w)) return true;
    }
    return false;
}

size_t LoadedWindowIds(uint32_t* ids, size_t max)
{
    size_t n = 0;
    for (auto& w : ProgramWindowSet()->windows) {
        if (!LoadedAndAlive(*w)) continue;
        if (ids && n < max) ids[n] = w->id;
        ++n;
    }
    return n;
}

void SetLoadedWindowShower(LoadedWindowShower shower) { gShower = shower ? shower : &DefaultShower; }

bool FormsNotify(int32_t code, uintptr_t arg1, uintptr_t arg2, int64_t* result)
{
    int64_t value = 0;
    switch (code) {
    case 1001: value = static_cast<int64_t>(reinterpret_cast<uintptr_t>(ProgramWindowSet())); break;
    case 1002: value = static_cast<int64_t>(reinterpret_cast<uintptr_t>(FindUnitType(uint32_t(arg1)))); break;
    case 2000: NotifyUnitDestroyed(uint32_t(arg1), uint32_t(arg2)); break;
    case 2005: value = LoadWindowById(uint32_t(arg1)) ? 1 : 0; break;
    case 2009: RaiseLoadingDepth(); break;
    case 2010: LowerLoadingDepth(); break;
    default: return false;
    }
    if (result) *result = value;
    return true;
}

void ReleaseFormResources()
{
    for (auto& w : ProgramWindowSet()->windows) {
        for (UnitRecord& u : w->units.units) DestroyCursorSlot(u);
        if (w->live.accelerators) DestroyAcceleratorTable(static_cast<HACCEL>(w->live.accelerators));
        w->live.accelerators = nullptr;
    }
}

namespace {

bool EntryReadFormBlock(const uint8_t* data, uint32_t size, const void* codeBase)
{
    return ReadProgramFormBlock(data, size, codeBase);
}

}  // namespace

void FillFormsWindowPartEntries(WindowPartEntries* e)
{
    e->readFormBlock = &EntryReadFormBlock;
    e->loadWindow = &LoadWindowById;
    e->anyWindowAlive = &AnyLoadedWindowAlive;
    e->loadedWindows = &LoadedWindowIds;
    e->releaseWindowDescriptions = &ReleaseWindowDescriptions;
    e->releaseResources = &ReleaseFormResources;
}
