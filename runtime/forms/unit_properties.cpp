#include "runtime/forms/unit_properties.h"

#include "runtime/core/heap.h"
#include "runtime/core/runtime_error.h"
#include "runtime/forms/events.h"
#include "runtime/forms/mouse_pointer.h"
#include "runtime/forms/unit_types.h"
#include "runtime/forms/window_loader.h"
#include "runtime/forms/window_set.h"
#include "runtime/forms/window_unit.h"
#include "runtime/units/dpi_scale.h"
#include "runtime/units/property_rules.h"
#include "runtime/units/unit.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

const char kWindowNotInSet[] =
    "\xce\xb4\xd4\xd8\xc8\xeb\xd3\xfb\xb7\xc3\xce\xca\xb4\xb0\xbf\xda\xd7\xe9\xbc\xfe\xcb\xf9\xd4\xda\xb5\xc4\xb4\xb0"
    "\xbf\xda";  // 未载入欲访问窗口组件所在的窗口
const char kWindowNotLoaded[] = "\xd6\xb8\xb6\xa8\xb4\xb0\xbf\xda\xc9\xd0\xce\xb4\xd4\xd8\xc8\xeb";  // 指定窗口尚未载入

enum GenericProperty { kLeft, kTop, kWidth, kHeight, kTag, kVisible, kDisabled, kMousePointer };

constexpr uint32_t kTypeHiddenAlways = 0x8000;

HWND LiveHandle(const UnitRecord& unit)
{
    if (!unit.object) return nullptr;
    HWND hwnd = static_cast<HWND>(unit.object->Handle());
    return IsWindow(hwnd) ? hwnd : nullptr;
}

// The type code of property `index` of a unit type (0 when unknown).
uint32_t TypeCodeOf(const UnitTypeDescriptor* type, int32_t index)
{
    if (!type || !type->properties || index < 0 || static_cast<uint32_t>(index) >= type->propertyCount) return 0;
    return type->properties[index].type & 0xFFFF;
}

bool IsByteSetCode(uint32_t code) { return (code >= 1009 && code <= 1012) || code == 1023 || code == 1024; }

int64_t NewTextValue(const void* bytes, uint32_t size)
{
    Text t = CopyBytesAsText(bytes, size);
    return static_cast<int64_t>(reinterpret_cast<uintptr_t>(t));
}

int64_t NewByteSetValue(const void* bytes, uint32_t size)
{
    ByteSet b = CopyBytesAsByteSet(bytes, size);
    return static_cast<int64_t>(reinterpret_cast<uintptr_t>(b));
}

// Mouse-pointer bytes as the program reads them: a first word that is a
// standard cursor number is given back as its table index.
std::vector<uint8_t> PointerForReading(std::vector<uint8_t> bytes)
{
    if (bytes.size() >= 4) {
        uint32_t v;
        std::memcpy(&v, bytes.data(), 4);
        int32_t index = StandardPointerIndex(v);
        if (index >= 0) {
            uint32_t w = static_cast<uint32_t>(index);
            std::memcpy(bytes.data(), &w, 4);
        }
    }
    return bytes;
}

// And as it is stored: a first word 0..14 becomes that entry's cursor number.
std::vector<uint8_t> PointerForStoring(const uint8_t* data, uint32_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    if (bytes.size() >= 4) {
        uint32_t v;
        std::memcpy(&v, bytes.data(), 4);
        if (v < kStandardPointerCount) {
            v = StandardPointerCursor(v);
            std::memcpy(bytes.data(), &v, 4);
        }
    }
    return bytes;
}

// The unit's current font as a 60-byte record (the default GUI font when it
// answers none).
FontRecord60 CurrentFont(LiveUnit* object, UnitGetPropertyFn get, int32_t k)
{
    FontRecord60 font;
    UnitPropertyValue current;
    std::vector<uint8_t> bytes;
    if (get && get(object, k, &current) && current.pointer && current.size == sizeof(FontRecord60))
        bytes.assign(static_cast<const uint8_t*>(current.pointer),
                     static_cast<const uint8_t*>(current.pointer) + current.size);
    else
        bytes = FontRecordOf(nullptr);
    std::memcpy(&font, bytes.data(), sizeof font);
    return font;
}

UnitRecord& RequireUnit(WindowId windowId, UnitId unitId, WindowRecord*& window)
{
    window = FindWindowRecord(windowId);
    if (!window) RaiseRuntimeError(kWindowNotInSet, 0);
    UnitRecord* unit = FindUnitRecord(windowId, unitId);
    if (!unit) RaiseRuntimeError(kWindowNotInSet, 0);
    return *unit;
}

// ---- menu items ----------------------------------------------------------------

int64_t ReadMenuProperty(const UnitRecord& unit, int32_t index)
{
    switch (index) {
    case 0:
        return NewTextValue(unit.menu.caption.data(), static_cast<uint32_t>(unit.menu.caption.size()));
    case 1:
        return (unit.menu.flags & kMenuChecked) ? 1 : 0;
    case 2:
        return (unit.menu.flags & kMenuDisabled) ? 1 : 0;
    case 3:
        return (unit.menu.flags & kMenuHidden) ? 0 : 1;
    default:
        return 0;
    }
}

void WriteMenuProperty(UnitRecord& unit, int32_t index, uintptr_t value)
{
    auto setFlag = [&](uint32_t flag, bool on) {
        unit.menu.flags = on ? (unit.menu.flags | flag) : (unit.menu.flags & ~flag);
    };
    switch (index) {
    case 0: {
        const char* text = reinterpret_cast<const char*>(value);
        unit.menu.caption = text ? text : "";
        break;
    }
    case 1:
        setFlag(kMenuChecked, value != 0);
        break;
    case 2:
        setFlag(kMenuDisabled, value != 0);
        break;
    case 3:
        setFlag(kMenuHidden, value == 0);
        break;
    default:
        break;
    }
}

// ---- generic properties ----------------------------------------------------------

// Positions and sizes cross to the program in stored (96-DPI) units.
int64_t ReadGeneric(const UnitRecord& unit, int32_t index)
{
    HWND hwnd = LiveHandle(unit);
    switch (index) {
    case kLeft:
    case kTop: {
        const int32_t stored = index == kLeft ? unit.left : unit.top;
        if (!hwnd) return stored;
        RECT r;
        GetWindowRect(hwnd, &r);
        POINT p{r.left, r.top};
        if (HWND parent = (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD) ? GetParent(hwnd) : nullptr)
            ScreenToClient(parent, &p);
        return StoredFromPixels(index == kLeft ? p.x : p.y, stored, SystemDpi());
    }
    case kWidth:
    case kHeight: {
        const int32_t stored = index == kWidth ? unit.width : unit.height;
        if (!hwnd) return stored;
        RECT r;
        GetWindowRect(hwnd, &r);
        return StoredFromPixels(index == kWidth ? r.right - r.left : r.bottom - r.top, stored, SystemDpi());
    }
    case kTag:
        return NewTextValue(unit.tag.data(), static_cast<uint32_t>(unit.tag.size()));
    case kVisible:
        return hwnd ? (IsWindowVisible(hwnd) ? 1 : 0) : (unit.flags & kUnitVisible ? 1 : 0);
    case kDisabled:
        return hwnd ? (IsWindowEnabled(hwnd) ? 0 : 1) : (unit.flags & kUnitDisabled ? 1 : 0);
    case kMousePointer: {
        std::vector<uint8_t> bytes = PointerForReading(unit.pointerData);
        return NewByteSetValue(bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
    default:
        return 0;
    }
}

void WriteGeneric(WindowRecord& window, UnitRecord& unit, int32_t index, uintptr_t value)
{
    HWND hwnd = LiveHandle(unit);
    const int32_t n = static_cast<int32_t>(value);
    switch (index) {
    case kLeft:
    case kTop: {
        const int32_t v = ClampPosition(n);
        (index == kLeft ? unit.left : unit.top) = v;
        if (!hwnd) return;
        RECT r;
        GetWindowRect(hwnd, &r);
        POINT p{r.left, r.top};
        if (HWND parent = (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD) ? GetParent(hwnd) : nullptr)
            ScreenToClient(parent, &p);
        (index == kLeft ? p.x : p.y) = ScaleToDpi(v, SystemDpi());
        SetWindowPos(hwnd, nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(hwnd, nullptr, TRUE);
        return;
    }
    case kWidth:
    case kHeight: {
        const int32_t v = ClampExtent(n);
        (index == kWidth ? unit.width : unit.height) = v;
        if (!hwnd) return;
        RECT r;
        GetWindowRect(hwnd, &r);
        const int32_t pixels = ScaleToDpi(v, SystemDpi());
        const int cx = index == kWidth ? pixels : r.right - r.left;
        const int cy = index == kHeight ? pixels : r.bottom - r.top;
        SetWindowPos(hwnd, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    case kTag: {
        const char* text = reinterpret_cast<const char*>(value);
        unit.tag = text ? text : "";
        return;
    }
    case kVisible: {
        unit.flags = value ? (unit.flags | kUnitVisible) : (unit.flags & ~kUnitVisible);
        if (!hwnd) return;
        if (!value) {
            ShowWindow(hwnd, SW_HIDE);
        } else if (&unit == &window.units.units[0]) {
            ShowLoadedWindow(&window, unit.object);
        } else {
            const UnitTypeDescriptor* type = FindUnitType(unit.type);
            if (!type || !(type->flags & kTypeHiddenAlways)) ShowWindow(hwnd, SW_SHOW);
        }
        return;
    }
    case kDisabled:
        unit.flags = value ? (unit.flags | kUnitDisabled) : (unit.flags & ~kUnitDisabled);
        if (hwnd) EnableWindow(hwnd, value ? FALSE : TRUE);
        return;
    case kMousePointer: {
        const void* b = reinterpret_cast<const void*>(value);
        std::vector<uint8_t> bytes = PointerForStoring(ByteSetData(b), ByteSetLength(b));
        if (unit.cursor && unit.cursorOwned) DestroyCursor(static_cast<HCURSOR>(unit.cursor));
        unit.cursor = nullptr;
        unit.cursorOwned = false;
        bool owned = false;
        unit.cursor = MakeUnitCursor(bytes.data(), bytes.size(), &owned);
        unit.cursorOwned = owned;
        unit.pointerData = std::move(bytes);
        if (hwnd) {
            // Setting the position again makes the new cursor show at once.
            POINT p;
            if (GetCursorPos(&p)) SetCursorPos(p.x, p.y);
        }
        return;
    }
    default:
        return;
    }
}

// ---- own properties --------------------------------------------------------------

struct OwnAccess {
    LiveUnit* object = nullptr;
    const UnitTypeDescriptor* type = nullptr;
    UnitInterfaceFn entry = nullptr;
};

OwnAccess RequireLoaded(WindowRecord& window, UnitRecord& unit)
{
    if (!window.live.loaded) RaiseRuntimeError(kWindowNotLoaded, 0);
    OwnAccess access;
    access.object = unit.object;
    access.type = FindUnitType(unit.type);
    access.entry = access.type ? access.type->unitInterface : nullptr;
    return access;
}

// Re-creates a unit with its current data at the same place, parent, Z-order,
// visibility and focus; the old window goes without destruction notice and no
// events are delivered meanwhile.
void RecreateUnit(WindowRecord& window, UnitRecord& unit, UnitInterfaceFn entry)
{
    HWND hwnd = LiveHandle(unit);
    Unit* old = Unit::FromHwnd(hwnd);
    if (!old || &unit == &window.units.units[0]) return;
    auto getData = GetUnitOperation<UnitGetDataFn>(entry, kUnitOpGetData);
    auto create = GetUnitOperation<UnitCreateFn>(entry, kUnitOpCreate);
    std::vector<uint8_t> data;
    if (!getData || !create || !getData(old, &data)) return;

    HWND parent = GetParent(hwnd);
    RECT r;
    GetWindowRect(hwnd, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    const bool visible = IsWindowVisible(hwnd) != FALSE;
    const bool focused = GetFocus() == hwnd;
    HWND before = GetWindow(hwnd, GW_HWNDPREV);
    const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
    const uint32_t loaderBits = static_cast<uint32_t>(style) & (kStyleDisabled | kStyleTabStop);
    const uint32_t controlId = static_cast<uint32_t>(GetDlgCtrlID(hwnd));

    EnterEventSilence();
    SetUnitRecreation(true);
    LiveUnit* fresh = create(data.data(), static_cast<uint32_t>(data.size()), loaderBits, parent, controlId, nullptr,
                             r.left, r.top, r.right - r.left, r.bottom - r.top, window.id, unit.id, 0, 0);
    if (fresh) {
        HWND h = static_cast<HWND>(fresh->Handle());
        SetWindowPos(h, before ? before : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        unit.object = fresh;
        old->SuppressDestructionNotice();
        DestroyWindow(hwnd);
        if (visible) ShowWindow(h, SW_SHOWNA);
        if (focused) SetFocus(h);
    }
    SetUnitRecreation(false);
    LeaveEventSilence();
}

}  // namespace

int64_t ReadUnitProperty(WindowId windowId, UnitId unitId, int32_t index, int32_t element)
{
    WindowRecord* window = nullptr;
    UnitRecord& unit = RequireUnit(windowId, unitId, window);
    if (unit.IsMenuItem()) return ReadMenuProperty(unit, index);
    if (index < 0) return 0;
    if (index < 8) return ReadGeneric(unit, index);

    OwnAccess access = RequireLoaded(*window, unit);
    auto get = GetUnitOperation<UnitGetPropertyFn>(access.entry, kUnitOpGetProperty);
    if (!get || !access.object) return 0;
    const int32_t k = index - 8;
    const uint32_t code = TypeCodeOf(access.type, index);
    if (code == 1013) {
        FontRecord60 font = CurrentFont(access.object, get, k);
        switch (element) {
        case 0:
            return font.escapement;
        case 1:
            return font.weight >= 700 ? 1 : 0;
        case 2:
            return font.italic ? 1 : 0;
        case 3:
            return font.underline ? 1 : 0;
        case 4:
            return font.strikeOut ? 1 : 0;
        case 5: {
            const int32_t h = font.height < 0 ? -font.height : font.height;
            return (h * 72 + SystemDpi() / 2) / SystemDpi();
        }
        case 6:
            return NewTextValue(font.faceName, static_cast<uint32_t>(strnlen(font.faceName, 32)));
        default:
            return NewByteSetValue(&font, sizeof font);
        }
    }
    UnitPropertyValue v;
    if (!get(access.object, k, &v)) return 0;
    switch (code) {
    case 1002:
    case 1004:
        return static_cast<int64_t>((static_cast<uint64_t>(v.high) << 32) | v.low);
    case 1003:
        return v.low ? 1 : 0;
    case 1000:
    case 1001:
    case 1006:
        return static_cast<int32_t>(v.low);
    case 1014:
    case 1015:
    case 1017:
        return static_cast<int64_t>(reinterpret_cast<uintptr_t>(v.pointer));
    default:
        break;
    }
    if (IsByteSetCode(code)) {
        if (code == 1011) {
            std::vector<uint8_t> bytes = PointerForReading(
                std::vector<uint8_t>(static_cast<const uint8_t*>(v.pointer),
                                     static_cast<const uint8_t*>(v.pointer) + (v.pointer ? v.size : 0)));
            return NewByteSetValue(bytes.data(), static_cast<uint32_t>(bytes.size()));
        }
        return NewByteSetValue(v.pointer, v.pointer ? v.size : 0);
    }
    // Texts (1005, 1016 and any other code).
    if (!v.pointer) return 0;
    const char* text = static_cast<const char*>(v.pointer);
    return NewTextValue(text,
                        v.size ? static_cast<uint32_t>(strnlen(text, v.size)) : static_cast<uint32_t>(strlen(text)));
}

namespace {

// The size of the text or bytes being written, which the allocation-failure
// report names.
uint32_t WrittenValueSize(const UnitRecord& unit, int32_t index, uintptr_t value)
{
    if (index < 8 || unit.IsMenuItem()) return 0;
    const uint32_t code = TypeCodeOf(FindUnitType(unit.type), index);
    if (IsByteSetCode(code)) return ByteSetLength(reinterpret_cast<const void*>(value));
    if (code == 1005 || code == 1016)
        return value ? static_cast<uint32_t>(strlen(reinterpret_cast<const char*>(value))) : 0;
    return 0;
}

void WriteProperty(WindowId windowId, UnitId unitId, int32_t index, int32_t element, uintptr_t value, uint32_t second)
{
    WindowRecord* window = nullptr;
    UnitRecord& unit = RequireUnit(windowId, unitId, window);
    if (unit.IsMenuItem()) {
        WriteMenuProperty(unit, index, value);
        return;
    }
    if (index < 0) return;
    if (index < 8) {
        WriteGeneric(*window, unit, index, value);
        return;
    }

    OwnAccess access = RequireLoaded(*window, unit);
    auto set = GetUnitOperation<UnitSetPropertyFn>(access.entry, kUnitOpSetProperty);
    if (!set || !access.object) return;
    const int32_t k = index - 8;
    const uint32_t code = TypeCodeOf(access.type, index);
    UnitPropertyValue v;
    std::vector<uint8_t> bytes;
    FontRecord60 font;
    switch (code) {
    case 1000:
    case 1001:
        v.low = static_cast<uint32_t>(value);
        break;
    case 1002:
    case 1004:
        v.low = static_cast<uint32_t>(value);
        v.high = second;
        break;
    case 1003:
        v.low = value ? 1 : 0;
        break;
    case 1006:
        v.low = static_cast<int32_t>(value) < 0 ? 0 : static_cast<uint32_t>(value);
        break;
    case 1013: {
        auto get = GetUnitOperation<UnitGetPropertyFn>(access.entry, kUnitOpGetProperty);
        font = CurrentFont(access.object, get, k);
        const FontValue* whole = element == -1 ? reinterpret_cast<const FontValue*>(value) : nullptr;
        if (element == -1 && !whole) return;
        if (!EditFont(font, element, static_cast<int32_t>(value), reinterpret_cast<const char*>(value), whole,
                      SystemDpi()))
            return;
        v.pointer = &font;
        v.size = sizeof font;
        break;
    }
    case 1014:
    case 1015:
    case 1017:
        v.pointer = reinterpret_cast<const void*>(value);
        break;
    default:
        if (IsByteSetCode(code)) {
            const void* b = reinterpret_cast<const void*>(value);
            if (code == 1011) {
                bytes = PointerForStoring(ByteSetData(b), ByteSetLength(b));
                v.pointer = bytes.empty() ? nullptr : bytes.data();
                v.size = static_cast<uint32_t>(bytes.size());
            } else {
                // The program's byte set is borrowed for the call; the unit
                // takes its own copy.
                v.size = ByteSetLength(b);
                v.pointer = v.size ? ByteSetData(b) : nullptr;
            }
        } else {
            // Texts: null is the empty text.
            const char* text = reinterpret_cast<const char*>(value);
            v.pointer = text ? text : "";
            v.size = static_cast<uint32_t>(strlen(static_cast<const char*>(v.pointer)));
        }
        break;
    }
    HWND before = LiveHandle(unit);
    if (set(access.object, k, &v) == 1 && before && IsWindow(before) && unit.object)
        RecreateUnit(*window, unit, access.entry);
}

}  // namespace

void WriteUnitProperty(WindowId windowId, UnitId unitId, int32_t index, int32_t element, uintptr_t value,
                       uint32_t second)
{
    // Units keep their texts and bytes in ordinary containers. Whatever copy
    // the process cannot hold ends the program through the runtime's
    // allocation-failure report, as a failed RuntimeAlloc would; an exception
    // must never unwind into the window procedure whose event is writing.
    bool failed = false;
    try {
        WriteProperty(windowId, unitId, index, element, value, second);
    } catch (const std::bad_alloc&) {
        failed = true;
    }
    if (!failed) return;
    const UnitRecord* unit = FindUnitRecord(windowId, unitId);
    RaiseAllocationFailure(unit ? WrittenValueSize(*unit, index, value) : 0);
}
