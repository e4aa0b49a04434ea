#include "runtime/forms/input_filter.h"

#include "runtime/forms/events.h"
#include "runtime/forms/unit_types.h"
#include "runtime/forms/window_set.h"
#include "runtime/units/unit.h"

namespace {

// Types whose unit owns every window inside its own (containers of foreign
// windows).
constexpr uint32_t kTypeOwnsInnerWindows = 0x00200000 | 0x00000200;

struct GenericEvent {
    int32_t event = 0;
    int32_t args[3] = {};
    uint32_t argCount = 0;
};

bool MapMessage(const MSG& msg, GenericEvent& out)
{
    uint32_t keys = CurrentKeyState();
    // Mouse messages carry Ctrl and Shift as they were when the message was made.
    const bool mouse = (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST);
    if (mouse) {
        const WPARAM flags = LOWORD(msg.wParam);
        keys = (keys & 4) | ((flags & MK_CONTROL) ? 1 : 0) | ((flags & MK_SHIFT) ? 2 : 0);
    }
    const int32_t x = LOWORD(msg.lParam), y = HIWORD(msg.lParam);
    auto pointer = [&](int32_t event) {
        out = {event, {x, y, static_cast<int32_t>(keys)}, 3};
        return true;
    };
    switch (msg.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        out = {-9, {static_cast<int32_t>(msg.wParam & 0x1FFF), static_cast<int32_t>(keys)}, 2};
        return true;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        out = {-10, {static_cast<int32_t>(msg.wParam & 0x1FFF), static_cast<int32_t>(keys)}, 2};
        return true;
    case WM_CHAR:
        out = {-11, {static_cast<int32_t>(msg.wParam)}, 1};
        return true;
    case WM_LBUTTONDOWN:
        return pointer(-1);
    case WM_LBUTTONUP:
        return pointer(-2);
    case WM_LBUTTONDBLCLK:
        return pointer(-3);
    case WM_RBUTTONDOWN:
        return pointer(-4);
    case WM_RBUTTONUP:
        return pointer(-5);
    case WM_MOUSEMOVE:
        return pointer(-6);
    case WM_MOUSEWHEEL: {
        // Signed delta / 120, rounded toward zero.
        const int32_t notches = static_cast<int16_t>(HIWORD(msg.wParam)) / WHEEL_DELTA;
        out = {-12, {notches, static_cast<int32_t>(keys)}, 2};
        return true;
    }
    default:
        return false;
    }
}

// The loaded window a message's window belongs to: its root's window unit.
Unit* WindowUnitOf(HWND hwnd)
{
    HWND root = GetAncestor(hwnd, GA_ROOT);
    Unit* unit = Unit::FromHwnd(root);
    return unit && unit->Type() == kUnitTypeWindow ? unit : nullptr;
}

// The unit a message's window belongs to, or null.
Unit* TargetUnit(Unit* window, HWND hwnd)
{
    if (hwnd == window->Hwnd()) return window;
    if (Unit* unit = Unit::FromHwnd(hwnd); unit && unit->GetWindowId() == window->GetWindowId()) return unit;
    for (HWND h = GetParent(hwnd); h && h != window->Hwnd(); h = GetParent(h)) {
        Unit* unit = Unit::FromHwnd(h);
        if (!unit || unit->GetWindowId() != window->GetWindowId()) continue;
        const UnitTypeDescriptor* type = FindUnitType(unit->Type());
        return type && (type->flags & kTypeOwnsInnerWindows) ? unit : nullptr;
    }
    return nullptr;
}

// Whether the control takes Enter as a click: a push button.
bool IsPushButton(HWND hwnd)
{
    return (SendMessageW(hwnd, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
}

bool IsUsable(HWND hwnd) { return hwnd && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd); }

// The button stored as the window's default one (button type 1), shown and
// enabled, or null.
HWND StoredDefaultButton(HWND window)
{
    Unit* windowUnit = Unit::FromHwnd(window);
    const WindowRecord* record = windowUnit ? FindWindowRecord(windowUnit->GetWindowId()) : nullptr;
    if (!record) return nullptr;
    using IsDefaultFn = int32_t (*)(LiveUnit*);
    for (const UnitRecord& unit : record->units.units) {
        if (!unit.object) continue;
        const UnitTypeDescriptor* type = FindUnitType(unit.type);
        auto isDefault = type ? GetUnitOperation<IsDefaultFn>(type->unitInterface, kUnitOpIsDefaultButton) : nullptr;
        HWND hwnd = static_cast<HWND>(unit.object->Handle());
        if (isDefault && isDefault(unit.object) && IsChild(window, hwnd) && IsUsable(hwnd)) return hwnd;
    }
    return nullptr;
}

// The innermost unit of the window whose window holds `hwnd` (the window unit
// for the window itself), or null.
Unit* InnermostUnit(Unit* window, HWND hwnd)
{
    for (HWND h = hwnd; h; h = GetParent(h)) {
        Unit* unit = Unit::FromHwnd(h);
        if (unit && unit->GetWindowId() == window->GetWindowId()) return unit;
        if (h == window->Hwnd()) return nullptr;
    }
    return nullptr;
}

// While the platform's dialog navigation runs for a window it asks that
// window for its default button (DM_GETDEFID, a value it shares with the
// application's own WM_USER): only then is it answered as that question. A
// handler that runs meanwhile (the focus events the move raises) has a source
// of its own, and what it sends is its own message.
struct Navigation {
    HWND window = nullptr;
    EventSource source{};
    const MSG* key = nullptr;  // borrowed: the Tab key-down being handled
};
Navigation gNavigation;

class NavigationScope {
public:
    NavigationScope(HWND window, const MSG* key) : saved_(gNavigation)
    {
        gNavigation = {window, CurrentEventSource(), key};
    }
    ~NavigationScope() { gNavigation = saved_; }
    NavigationScope(const NavigationScope&) = delete;
    NavigationScope& operator=(const NavigationScope&) = delete;

private:
    Navigation saved_;
};

// Not by a handler that runs inside the navigation.
bool AskedByNavigationItself()
{
    const EventSource now = CurrentEventSource();
    return now.windowId == gNavigation.source.windowId && now.unitId == gNavigation.source.unitId;
}

void ShowFocusCues(HWND window)
{
    // The keyboard is in use: focus rectangles show from now on.
    SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

// Tab and Shift+Tab unless the focused control wants the key itself: the
// platform's dialog navigation moves the focus. From inside a unit that hosts
// other windows (the HTML viewer's control) the search starts at the unit.
bool Navigate(Unit* window, MSG* msg)
{
    if (msg->message != WM_KEYDOWN || msg->wParam != VK_TAB) return false;
    // Asked without the message: an edit control told of one takes itself to
    // be in a dialog box, and a multi-line one then closes its parent window
    // on Esc.
    const LRESULT wants = SendMessageW(msg->hwnd, WM_GETDLGCODE, msg->wParam, 0);
    if (wants & (DLGC_WANTTAB | DLGC_WANTMESSAGE)) return false;
    HWND windowHandle = window->Hwnd();
    ShowFocusCues(windowHandle);
    NavigationScope asking(windowHandle, msg);
    Unit* unit = InnermostUnit(window, msg->hwnd);
    if (unit && unit != window && unit->Hwnd() != msg->hwnd) {
        HWND next = GetNextDlgTabItem(windowHandle, unit->Hwnd(), GetKeyState(VK_SHIFT) < 0);
        if (next && next != unit->Hwnd()) {
            if (SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(next, EM_SETSEL, 0, -1);
            SetFocus(next);
        }
        return true;
    }
    return IsDialogMessageW(windowHandle, msg) != FALSE;
}

// Enter clicks the focused push button, or else, unless the focused control
// takes Enter itself (a multi-line box), the window's stored default button,
// as the dialog manager does. A held key repeats its key-down (bit 30 of
// lParam set); a repeat is no new press, so one press is one click, as with
// Space, whose click comes on the key's release. Enter with no button to
// click goes on as any other key: no OK command is made up for it.
bool ClickOnEnter(Unit* window, const MSG* msg)
{
    if (msg->message != WM_KEYDOWN || msg->wParam != VK_RETURN) return false;
    HWND windowHandle = window->Hwnd();
    HWND button = nullptr;
    if (IsPushButton(msg->hwnd)) {
        button = msg->hwnd;
    } else if (!(SendMessageW(msg->hwnd, WM_GETDLGCODE, VK_RETURN, 0) & DLGC_WANTALLKEYS)) {
        button = StoredDefaultButton(windowHandle);
    }
    if (!button || !IsUsable(button)) return false;
    constexpr LPARAM kRepeatBit = LPARAM(1) << 30;
    if (msg->lParam & kRepeatBit) return true;
    ShowFocusCues(windowHandle);
    SendMessageW(windowHandle, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    return true;
}

}  // namespace

bool DialogNavigationAsks(HWND window) { return window && window == gNavigation.window && AskedByNavigationItself(); }

const MSG* NavigationKey() { return AskedByNavigationItself() ? gNavigation.key : nullptr; }

LRESULT DefaultButtonOf(HWND window)
{
    HWND focus = GetFocus();
    HWND button = (focus && IsChild(window, focus) && IsPushButton(focus) && IsWindowEnabled(focus))
                      ? focus
                      : StoredDefaultButton(window);
    return button ? MAKELRESULT(GetDlgCtrlID(button), DC_HASDEFID) : 0;
}

uint32_t CurrentKeyState()
{
    uint32_t state = 0;
    if (GetKeyState(VK_CONTROL) < 0) state |= 1;
    if (GetKeyState(VK_SHIFT) < 0) state |= 2;
    if (GetKeyState(VK_MENU) < 0) state |= 4;
    return state;
}

bool InputEventFilter(MSG* msg)
{
    if (!msg || !msg->hwnd) return false;
    Unit* window = WindowUnitOf(msg->hwnd);
    if (!window) return false;
    const bool keyboard = msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST;
    // Keys for a disabled window are dispatched as usual, with no events.
    if (keyboard && !IsWindowEnabled(msg->hwnd)) return false;
    // A click ends any menu or capture mode another window is in.
    if (msg->message == WM_LBUTTONDOWN || msg->message == WM_NCLBUTTONDOWN) {
        HWND capture = GetCapture();
        if (capture && capture != msg->hwnd) SendMessageW(capture, WM_CANCELMODE, 0, 0);
    }
    if (keyboard) {
        // A control hosted in a unit (the HTML viewer's browser) translates
        // its keys first: it moves through its own page with Tab and has
        // shortcuts of its own.
        HWND windowHandle = window->Hwnd();
        if (Unit* inner = InnermostUnit(window, msg->hwnd); inner && inner->TranslateKey(msg)) return true;
        if (!IsWindow(windowHandle)) return true;
        if (Navigate(window, msg) || ClickOnEnter(window, msg)) return true;
        if (!IsWindow(windowHandle)) return true;
    }
    if (keyboard) {
        const WindowRecord* record = FindWindowRecord(window->GetWindowId());
        if (record && record->live.accelerators &&
            TranslateAcceleratorW(window->Hwnd(), static_cast<HACCEL>(record->live.accelerators), msg))
            return true;
    }
    if (GetWindowLongPtrW(window->Hwnd(), GWL_STYLE) & WS_CHILD) return false;
    GenericEvent event;
    if (!MapMessage(*msg, event)) return false;
    Unit* unit = TargetUnit(window, msg->hwnd);
    if (!unit) return false;
    HWND windowHandle = window->Hwnd();
    EventRecord record{};
    record.windowId = window->GetWindowId();
    record.unitId = unit == window ? 0 : unit->GetUnitId();
    record.event = event.event;
    record.argCount = event.argCount;
    for (uint32_t i = 0; i < event.argCount; ++i) record.args[i] = event.args[i];
    const bool ran = RaiseEvent(&record) != 0;
    // `window` and `unit` may be gone now: only the handle is checked.
    if (!IsWindow(windowHandle)) return true;
    if (!ran || !record.hasResult) return false;
    if (record.result == 0) return true;
    if (msg->message == WM_CHAR) msg->wParam = static_cast<WPARAM>(record.result);
    return false;
}
