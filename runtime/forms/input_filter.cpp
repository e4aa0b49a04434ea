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

// Whether the focused control takes Enter as a click: a push button.
bool IsPushButton(HWND hwnd)
{
    return (SendMessageW(hwnd, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
}

// The key strokes handed to the platform's dialog navigation: Tab and
// Shift+Tab unless the focused control wants the key itself, and Enter on a
// push button. IsDialogMessage translates and dispatches whatever it is given,
// so any other key (Enter and Esc in an edit box included, which it would turn
// into OK and Cancel commands) goes on to the accelerators and the generic
// key events as it always has.
bool IsNavigationKey(const MSG* msg)
{
    if (msg->message != WM_KEYDOWN) return false;
    if (msg->wParam == VK_TAB) {
        // Asked without the message: an edit control told of one takes itself
        // to be in a dialog box, and a multi-line one then closes its parent
        // window on Esc.
        const LRESULT wants = SendMessageW(msg->hwnd, WM_GETDLGCODE, msg->wParam, 0);
        return (wants & (DLGC_WANTTAB | DLGC_WANTMESSAGE)) == 0;
    }
    return msg->wParam == VK_RETURN && IsPushButton(msg->hwnd);
}

}  // namespace

LRESULT DefaultButtonOfFocus(HWND window)
{
    HWND focus = GetFocus();
    if (!focus || !IsChild(window, focus) || !IsPushButton(focus) || !IsWindowEnabled(focus)) return 0;
    return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
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
    if (keyboard && IsNavigationKey(msg)) {
        // The keyboard is in use: focus rectangles show from now on.
        SendMessageW(window->Hwnd(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
        if (IsDialogMessageW(window->Hwnd(), msg)) return true;
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
