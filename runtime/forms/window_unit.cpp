#include "runtime/forms/window_unit.h"

#include "runtime/core/answering_wait.h"
#include "runtime/core/runtime_app.h"
#include "runtime/forms/events.h"
#include "runtime/forms/input_filter.h"
#include "runtime/forms/window_loader.h"
#include "runtime/forms/window_set.h"
#include "runtime/forms/window_unit_data.h"
#include "runtime/core/gbk_wide.h"
#include "runtime/units/property_rules.h"
#include "runtime/units/unit.h"
#include "runtime/units/unit_picture.h"

#include <atomic>

namespace {

constexpr wchar_t kDefaultWindowClass[] = L"WTWindow";

// Window unit events.
constexpr int32_t kEventClose = 1;
constexpr int32_t kEventDestroy = 2;
constexpr int32_t kEventMoved = 3;
constexpr int32_t kEventResized = 4;
constexpr int32_t kEventActivated = 5;
constexpr int32_t kEventDeactivated = 6;
constexpr int32_t kEventIdle = 7;
constexpr int32_t kEventFirstActivation = 8;
constexpr int32_t kEventCloseQuery = 12;
constexpr int32_t kEventFocusGained = -7;
constexpr int32_t kEventFocusLost = -8;

std::atomic<uint32_t> gPictureDecodes{0};

bool IsResizable(uint32_t border) { return border == 1 || border == 3 || border == 5; }

// Window style and extended style from the stored data (without position bits).
void ComputeStyles(const WindowUnitData& d, bool topLevel, DWORD& style, DWORD& exStyle)
{
    style = WS_CLIPCHILDREN;
    exStyle = 0;
    if (d.borderStyle != 0) {
        if (!d.title.empty() || d.controlBox) {
            style |= WS_CAPTION;
            if (d.controlBox) style |= WS_SYSMENU;
        }
        if (topLevel) style |= WS_DLGFRAME;
        if (IsResizable(d.borderStyle)) style |= WS_THICKFRAME;
    }
    if (d.borderStyle == 3 || d.borderStyle == 4) exStyle |= WS_EX_TOOLWINDOW;
    if (d.borderStyle == 5 || d.borderStyle == 6) exStyle |= WS_EX_CLIENTEDGE;
    if (d.maxBox) style |= WS_MAXIMIZEBOX;
    if (d.minBox) style |= WS_MINIMIZEBOX;
}

}  // namespace

class WindowUnit final : public Unit {
public:
    WindowUnit(WindowId w, UnitId u) : Unit(w, u, kUnitTypeWindow) {}
    ~WindowUnit() override { ReleaseDrawable(&icon_); }

    bool Create(const uint8_t* data, uint32_t size, uint32_t loaderStyle, HWND owner, HMENU menu, int x, int y, int cx,
                int cy)
    {
        if (!ReadWindowUnitData(data, size, data_)) return false;
        DWORD style, exStyle;
        ComputeStyles(data_, true, style, exStyle);
        style |= loaderStyle & WS_DISABLED;
        if (data_.startPosition == 1) {
            x = (GetSystemMetrics(SM_CXSCREEN) - cx) / 2;
            y = (GetSystemMetrics(SM_CYSCREEN) - cy) / 2;
        } else if (data_.startPosition == 2) {
            style |= WS_MINIMIZE;
        } else if (data_.startPosition == 3 && IsResizable(data_.borderStyle)) {
            style |= WS_MAXIMIZE;
        }
        const bool modal = LoadingModalWindow();
        if (!owner && (modal || data_.inTaskBar == 0)) owner = static_cast<HWND>(App().hiddenOwner);
        // Without a caption an overlapped window would get one anyway.
        if (owner || data_.borderStyle == 0) style |= WS_POPUP;
        std::wstring cls = RegisterWindowClass(GbkToWide(data_.className));
        if (cls.empty()) return false;
        HWND hwnd = CreateWindowExW(exStyle, cls.c_str(), GbkToWide(data_.title).c_str(), style, x, y, cx, cy, owner,
                                    menu, GetModuleHandleW(nullptr), nullptr);
        if (!hwnd) return false;
        Attach(hwnd);
        RECT r;
        GetWindowRect(hwnd, &r);
        if (r.right - r.left != cx || r.bottom - r.top != cy)
            SetWindowPos(hwnd, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        picture_.SetBytes(data_.picture);
        ApplyIcon();
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultGuiFont()), FALSE);
        if (data_.topmost) SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        if (!data_.movable) DeleteMenu(GetSystemMenu(hwnd, FALSE), SC_MOVE, MF_BYCOMMAND);
        return true;
    }

    int32_t SetProperty(int32_t k, const UnitPropertyValue& v) override
    {
        const int32_t n = ValueInt(v);
        switch (k) {
        case 0:
            data_.title = ValueText(v);
            SetWindowTextW(hwnd_, GbkToWide(data_.title).c_str());
            Restyle();
            return 0;
        case 1:
            data_.borderStyle = ClampRange(n, 0, 6);
            Restyle();
            return 0;
        case 2:
            data_.backColor = v.low;
            picture_.DropDrawable();
            InvalidateRect(hwnd_, nullptr, TRUE);
            return 0;
        case 3:
            picture_.SetBytes(ValueBytes(v));
            InvalidateRect(hwnd_, nullptr, TRUE);
            return 0;
        case 4:
            data_.pictureMode = ClampRange(n, 0, 3);
            if (picture_.HasBytes()) InvalidateRect(hwnd_, nullptr, TRUE);
            return 0;
        case 5:
            data_.music = ValueBytes(v);
            return 0;
        case 6:
            data_.musicMode = ClampRange(n, 0, 2);
            return 0;
        case 7:
            data_.controlBox = v.low != 0;
            Restyle();
            return 0;
        case 8:
            data_.maxBox = v.low != 0;
            Restyle();
            return 0;
        case 9:
            data_.minBox = v.low != 0;
            Restyle();
            return 0;
        case 10:
            data_.startPosition = ClampRange(n, 0, 3);
            if (IsWindowVisible(hwnd_)) ApplyStartPosition();
            return 0;
        case 11:
            data_.movable = v.low != 0;
            GetSystemMenu(hwnd_, TRUE);  // restores the standard system menu
            if (!data_.movable) DeleteMenu(GetSystemMenu(hwnd_, FALSE), SC_MOVE, MF_BYCOMMAND);
            return 0;
        case 12:
            data_.icon = ValueBytes(v);
            ApplyIcon();
            return 0;
        case 13:
            data_.word13 = v.low;
            return 0;
        case 14:
            data_.word14 = v.low;
            return 0;
        case 15:
            data_.word15 = v.low;
            return 0;
        case 16:
            data_.text16 = ValueText(v);
            return 0;
        case 17:
            data_.word17 = v.low;
            return 0;
        case 18: {
            data_.inTaskBar = v.low != 0;
            HWND hidden = static_cast<HWND>(App().hiddenOwner);
            HWND owner = GetWindow(hwnd_, GW_OWNER);
            if (!data_.inTaskBar && !owner && hidden)
                SetWindowLongPtrW(hwnd_, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(hidden));
            if (data_.inTaskBar && owner == hidden) SetWindowLongPtrW(hwnd_, GWLP_HWNDPARENT, 0);
            return 0;
        }
        case 19:
            data_.word19 = v.low;
            return 0;
        case 20:
            data_.word20 = ClampRange(n, 0, 29);
            return 0;
        case 21:
            SetTopmost(v.low != 0);
            return 0;
        case 22:
            data_.word22 = v.low;
            return 0;
        case 23:
            data_.className = ValueText(v);
            return 0;  // takes effect at the next load
        default:
            return 0;
        }
    }

    bool GetProperty(int32_t k, UnitPropertyValue& out) override
    {
        switch (k) {
        case 0:
            ResultText(WideToGbk(WindowTextW(hwnd_)), out);
            return true;
        case 1:
            ResultInt(data_.borderStyle, out);
            return true;
        case 2:
            ResultInt(data_.backColor, out);
            return true;
        case 3:
            ResultBytes(picture_.Bytes(), out);
            return true;
        case 4:
            ResultInt(data_.pictureMode, out);
            return true;
        case 5:
            ResultBytes(data_.music, out);
            return true;
        case 6:
            ResultInt(data_.musicMode, out);
            return true;
        case 7:
            ResultInt(data_.controlBox, out);
            return true;
        case 8:
            ResultInt(data_.maxBox, out);
            return true;
        case 9:
            ResultInt(data_.minBox, out);
            return true;
        case 10:
            ResultInt(data_.startPosition, out);
            return true;
        case 11:
            ResultInt(data_.movable, out);
            return true;
        case 12:
            ResultBytes(data_.icon, out);
            return true;
        case 13:
            ResultInt(data_.word13, out);
            return true;
        case 14:
            ResultInt(data_.word14, out);
            return true;
        case 15:
            ResultInt(data_.word15, out);
            return true;
        case 16:
            ResultText(data_.text16, out);
            return true;
        case 17:
            ResultInt(data_.word17, out);
            return true;
        case 18:
            ResultInt(data_.inTaskBar, out);
            return true;
        case 19:
            ResultInt(data_.word19, out);
            return true;
        case 20:
            ResultInt(data_.word20, out);
            return true;
        case 21:
            ResultInt(data_.topmost, out);
            return true;
        case 22:
            ResultInt(data_.word22, out);
            return true;
        case 23:
            ResultText(data_.className, out);
            return true;
        default:
            return false;
        }
    }

    std::vector<uint8_t> CurrentData() override
    {
        WindowUnitData d = data_;
        d.title = WideToGbk(WindowTextW(hwnd_));
        d.picture = picture_.Bytes();
        return WriteWindowUnitData(d);
    }

    const WindowUnitData& Data() const { return data_; }

    void ApplyStartPosition()
    {
        switch (data_.startPosition) {
        case 3:
            if (IsIconic(hwnd_) || IsZoomed(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
            ShowWindow(hwnd_, SW_SHOWMAXIMIZED);
            break;
        case 2:
            ShowWindow(hwnd_, SW_SHOWMINIMIZED);
            break;
        case 1: {
            RECT r;
            GetWindowRect(hwnd_, &r);
            int x = (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2;
            int y = (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2;
            if (IsWindowVisible(hwnd_))
                SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            ShowWindow(hwnd_, SW_SHOW);
            break;
        }
        default:
            ShowWindow(hwnd_, SW_SHOW);
            break;
        }
    }

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override
    {
        switch (msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd_, &ps);
            if (dc) PaintBackground(dc);
            EndPaint(hwnd_, &ps);
            return 0;
        }
        case WM_COMMAND:
            if (lp) {
                if (Unit* unit = Unit::FromHwnd(reinterpret_cast<HWND>(lp)); unit && unit->OnCommand(HIWORD(wp)))
                    return 0;
            }
            break;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
            if (Unit* unit = Unit::FromHwnd(reinterpret_cast<HWND>(lp))) {
                if (HBRUSH brush = unit->OnControlColor(reinterpret_cast<HDC>(wp)))
                    return reinterpret_cast<LRESULT>(brush);
            }
            break;
        case WM_SETCURSOR:
            if (LOWORD(lp) == HTCLIENT && SetUnitCursor(reinterpret_cast<HWND>(wp))) return TRUE;
            break;
        case DM_GETDEFID:
            // The same value as WM_USER: the application's own message unless
            // the dialog navigation is asking.
            if (DialogNavigationAsks(hwnd_)) return DefaultButtonOf(hwnd_);
            break;
        case WM_SYSCOMMAND:
            // Minimised, the window keeps no focus; it gets it back when
            // restored.
            if ((wp & 0xFFF0) == SC_MINIMIZE) SaveFocus();
            break;
        case WM_SHOWWINDOW:
            if (!wp) SaveFocus();
            break;
        case WM_CLOSE:
            // Sent by another program while the thread waits answering: the
            // close events decide, so it goes to the queue for them like a
            // click on the close box, once the outermost wait has ended (a
            // modal loop inside the wait would take it from the queue at once
            // and bring it back here, round and round).
            if (PostWhenWaitEnds(hwnd_, WM_CLOSE, wp, lp)) return 0;
            Close();
            return 0;
        case WM_QUERYENDSESSION: {
            // Needs its answer now, when no routine may run: a bound close
            // routine might have refused, so the answer is no, and the system
            // lets the user end the session all the same.
            if (InAnsweringWait()) return EventIsBound(GetWindowId(), 0, kEventClose) ? FALSE : TRUE;
            int32_t result = 0;
            bool has = false;
            bool ran = RaiseUnitEvent(GetWindowId(), 0, kEventClose, {}, &result, &has);
            return HandlerSaidFalse(ran, has, result) ? FALSE : TRUE;
        }
        case WM_DESTROY: {
            RaiseUnitEvent(GetWindowId(), 0, kEventDestroy);
            if (HMENU menu = GetMenu(hwnd_)) {
                SetMenu(hwnd_, nullptr);
                DestroyMenu(menu);
            }
            break;
        }
        case WM_MOVE:
            if (IsLoaded()) RaiseUnitEvent(GetWindowId(), 0, kEventMoved);
            break;
        case WM_SIZE:
            if (wp == SIZE_MINIMIZED) SaveFocus();
            if (IsLoaded()) RaiseUnitEvent(GetWindowId(), 0, kEventResized);
            break;
        case WM_ACTIVATE:
            return OnActivate(wp, lp);
        case WM_SETFOCUS:
            // Restored while it stayed active, the window is given the focus
            // itself: it passes it on, as a dialog box does, to the unit that
            // had it. Passed on at once, it raises no focus events of its own.
            if (!IsIconic(hwnd_) && RestoreFocus(true)) return 0;
            RaiseUnitEvent(GetWindowId(), 0, kEventFocusGained);
            break;
        case WM_KILLFOCUS:
            if (passingFocus_) break;
            RaiseUnitEvent(GetWindowId(), 0, kEventFocusLost);
            break;
        default:
            break;
        }
        return CallOriginal(msg, wp, lp);
    }

    void AfterDestructionNotice() override
    {
        // The last loaded window gone after the start routine has finished
        // ends the message loop.
        if (App().startRoutineFinished && !AnyOtherWindowAlive()) PostQuitMessage(0);
    }

private:
    bool IsLoaded() const
    {
        const WindowRecord* record = FindWindowRecord(GetWindowId());
        return record && record->live.loaded;
    }

    bool AnyOtherWindowAlive() const
    {
        for (const auto& record : ProgramWindowSet()->windows) {
            if (!record || record->units.units.empty()) continue;
            const LiveUnit* object = record->units.units[0].object;
            if (!object || object == this) continue;
            if (IsWindow(static_cast<HWND>(object->Handle()))) return true;
        }
        return false;
    }

    void Close()
    {
        HWND hwnd = hwnd_;
        int32_t result = 0;
        bool has = false;
        bool ran = RaiseUnitEvent(GetWindowId(), 0, kEventCloseQuery, {}, &result, &has);
        if (!IsWindow(hwnd) || HandlerSaidFalse(ran, has, result)) return;
        ran = RaiseUnitEvent(GetWindowId(), 0, kEventClose, {}, &result, &has);
        if (!IsWindow(hwnd) || HandlerSaidFalse(ran, has, result)) return;
        if (WindowRecord* record = FindWindowRecord(GetWindowId()); record && record->live.modal) {
            for (auto& [window, enabled] : record->live.disabledByModal)
                if (IsWindow(static_cast<HWND>(window))) EnableWindow(static_cast<HWND>(window), enabled);
            record->live.disabledByModal.clear();
            record->live.modal = false;
        }
        DestroyWindow(hwnd);
    }

    LRESULT OnActivate(WPARAM wp, LPARAM lp)
    {
        if (LOWORD(wp) == WA_INACTIVE) {
            SaveFocus();
            RaiseUnitEvent(GetWindowId(), 0, kEventDeactivated);
            return CallOriginal(WM_ACTIVATE, wp, lp);
        }
        if (!firstActivationDone_) {
            firstActivationDone_ = true;
            // As a dialog box starts: focus rectangles and access keys show
            // or not by how the user last gave input (mouse or keyboard).
            SendMessageW(hwnd_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
            RaiseUnitEvent(GetWindowId(), 0, kEventFirstActivation);
        }
        RaiseUnitEvent(GetWindowId(), 0, kEventActivated);
        if (HIWORD(wp)) return CallOriginal(WM_ACTIVATE, wp, lp);  // minimised: the focus stays out
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) return 0;
        if (RestoreFocus(false)) return 0;
        return CallOriginal(WM_ACTIVATE, wp, lp);
    }

    // As a dialog box keeps it: the unit that has the focus when the window
    // is deactivated, minimised or hidden. Nothing is saved when the focus is
    // not inside (it left earlier, and the last save still holds).
    void SaveFocus()
    {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) savedFocus_ = focus;
    }

    // Gives the focus to the saved unit, or where a dialog box puts it: on
    // the first tab stop, so that typing starts in it without a click.
    // `passing`: the window itself has the focus and hands it on quietly.
    bool RestoreFocus(bool passing)
    {
        HWND target = (savedFocus_ && IsWindow(savedFocus_) && IsChild(hwnd_, savedFocus_) &&
                       IsWindowVisible(savedFocus_) && IsWindowEnabled(savedFocus_))
                          ? savedFocus_
                          : FirstTabStop();
        if (!target) return false;
        const bool wasPassing = passingFocus_;
        passingFocus_ = passing;
        SetFocus(target);
        passingFocus_ = wasPassing;
        return true;
    }

    // The first visible, enabled tab stop in navigation order, or null: the
    // one after the last child, as navigation wraps. (The search needs a
    // control to start from; it answers that control when it finds none.)
    HWND FirstTabStop() const
    {
        HWND last = GetWindow(GetWindow(hwnd_, GW_CHILD), GW_HWNDLAST);
        if (!last) return nullptr;
        HWND first = GetNextDlgTabItem(hwnd_, last, FALSE);
        if (!first || first == hwnd_ || !IsChild(hwnd_, first)) return nullptr;
        const LONG_PTR style = GetWindowLongPtrW(first, GWL_STYLE);
        if (!(style & WS_TABSTOP) || !IsWindowVisible(first) || !IsWindowEnabled(first)) return nullptr;
        return first;
    }

    bool SetUnitCursor(HWND under)
    {
        Unit* unit = Unit::FromHwnd(under);
        if (!unit || unit->GetWindowId() != GetWindowId()) return false;
        const UnitRecord* record = FindUnitRecord(GetWindowId(), unit == this ? 0 : unit->GetUnitId());
        if (!record || !record->cursor) return false;
        SetCursor(static_cast<HCURSOR>(record->cursor));
        return true;
    }

    void PaintBackground(HDC dc)
    {
        RECT client;
        GetClientRect(hwnd_, &client);
        const COLORREF back = ResolveColor(data_.backColor);
        const int saved = SaveDC(dc);
        bool filled = false;
        if (picture_.HasBytes()) {
            const uint32_t before = picture_.DecodeCount();
            const Picture* picture = picture_.Decoded();
            gPictureDecodes += picture_.DecodeCount() - before;
            if (picture) {
                static const Placement kModes[4] = {Placement::Natural, Placement::Tiled, Placement::Fitted,
                                                    Placement::Stretched};
                const Placement placement = kModes[data_.pictureMode <= 3 ? data_.pictureMode : 1];
                RECT covered = picture_.Draw(dc, client, placement, back);
                if (placement == Placement::Tiled || placement == Placement::Stretched)
                    filled = !IsRectEmpty(&covered);
                else
                    ExcludeClipRect(dc, covered.left, covered.top, covered.right, covered.bottom);
            }
        }
        if (!filled) {
            SetBkColor(dc, back);
            ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &client, nullptr, 0, nullptr);
        }
        RestoreDC(dc, saved);
    }

    void Restyle()
    {
        DWORD style, exStyle;
        ComputeStyles(data_, true, style, exStyle);
        const DWORD keep = WS_VISIBLE | WS_DISABLED | WS_MINIMIZE | WS_MAXIMIZE | WS_POPUP | WS_CHILD;
        const DWORD old = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE));
        const DWORD oldEx = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE));
        SetWindowLongPtrW(hwnd_, GWL_STYLE, (old & keep) | style);
        SetWindowLongPtrW(hwnd_, GWL_EXSTYLE,
                          (oldEx & ~static_cast<DWORD>(WS_EX_TOOLWINDOW | WS_EX_CLIENTEDGE)) | exStyle);
        SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }

    void SetTopmost(bool topmost)
    {
        data_.topmost = topmost;
        SetWindowPos(hwnd_, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        if (topmost) return;
        // Windows that asked to stay on top and have no task-bar button keep it.
        for (const auto& record : ProgramWindowSet()->windows) {
            if (!record || record->units.units.empty()) continue;
            WindowUnit* other = FindWindowUnit(record->id);
            if (!other || other == this) continue;
            HWND h = other->Hwnd();
            if (GetParent(h) != GetWindow(h, GW_OWNER)) continue;
            if (other->data_.topmost == 1 && other->data_.inTaskBar == 0)
                SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }

    void ApplyIcon()
    {
        ReleaseDrawable(&icon_);
        HICON icon = nullptr;
        if (!data_.icon.empty()) {
            auto picture = DecodePicture(data_.icon.data(), static_cast<int64_t>(data_.icon.size()));
            if (picture && (picture->kind == PictureKind::Icon || picture->kind == PictureKind::Cursor)) {
                HDC screen = GetDC(nullptr);
                if (MakeDrawable(screen, picture.get(), &icon_, GetSysColor(COLOR_BTNFACE))) icon = icon_.icon;
                ReleaseDC(nullptr, screen);
            }
        }
        if (!icon) icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
        if (!icon) icon = LoadIconW(nullptr, IDI_APPLICATION);
        SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }

    WindowUnitData data_;
    UnitPicture picture_;
    DrawablePicture icon_;  // owned: the icon made from the icon bytes
    bool firstActivationDone_ = false;
    HWND savedFocus_ = nullptr;  // borrowed: the unit window that had the focus
    bool passingFocus_ = false;
};

namespace {

LiveUnit* CreateWindowUnit(const uint8_t* data, uint32_t size, uint32_t style, void* parent, uint32_t, void* menu,
                           int32_t left, int32_t top, int32_t width, int32_t height, WindowId windowId, UnitId unitId,
                           uint32_t, uint32_t)
{
    auto* unit = new WindowUnit(windowId, unitId);
    if (!unit->Create(data, size, style, static_cast<HWND>(parent), static_cast<HMENU>(menu), left, top, width,
                      height)) {
        delete unit;
        return nullptr;
    }
    return unit;
}

}  // namespace

UnitOperation WindowUnitInterface(int32_t code) { return CommonUnitOperation(code, &CreateWindowUnit); }

std::wstring RegisterWindowClass(const std::wstring& name)
{
    std::wstring cls = name.empty() ? std::wstring(kDefaultWindowClass) : name;
    return EnsureWindowClass(cls.c_str(), nullptr) ? cls : std::wstring();
}

WindowUnit* FindWindowUnit(WindowId windowId)
{
    WindowRecord* record = FindWindowRecord(windowId);
    if (!record || record->units.units.empty()) return nullptr;
    const UnitRecord& entry = record->units.units[0];
    if (!entry.object) return nullptr;
    // Found through its window, so only a window unit of ours answers.
    HWND hwnd = static_cast<HWND>(entry.object->Handle());
    Unit* unit = IsWindow(hwnd) ? Unit::FromHwnd(hwnd) : nullptr;
    return unit && unit->Type() == kUnitTypeWindow ? static_cast<WindowUnit*>(unit) : nullptr;
}

LiveUnit* WindowUnitObject(WindowId windowId) { return FindWindowUnit(windowId); }

void ShowLoadedWindow(WindowRecord* record, LiveUnit* windowUnit)
{
    if (!windowUnit) return;
    HWND hwnd = static_cast<HWND>(windowUnit->Handle());
    Unit* found = IsWindow(hwnd) ? Unit::FromHwnd(hwnd) : nullptr;
    if (!found || found->Type() != kUnitTypeWindow) {
        if (IsWindow(hwnd)) ShowWindow(hwnd, SW_SHOW);
        return;
    }
    auto* unit = static_cast<WindowUnit*>(found);
    const uint32_t focusEventsBefore = FocusGainedEventCount();
    unit->ApplyStartPosition();
    if (FocusGainedEventCount() != focusEventsBefore || !IsWindow(hwnd)) return;
    // The focus already inside the window raised no event of its own.
    HWND focus = GetFocus();
    if (focus != hwnd && !IsChild(hwnd, focus)) return;
    Unit* focused = Unit::FromHwnd(focus);
    UnitId id =
        (focused && focused != unit && focused->GetWindowId() == unit->GetWindowId()) ? focused->GetUnitId() : 0;
    RaiseUnitEvent(unit->GetWindowId(), id, kEventFocusGained);
}

bool WindowIdle(WindowId windowId, uint32_t elapsedMs)
{
    if (!FindWindowUnit(windowId)) return false;
    int32_t result = 0;
    bool has = false;
    bool ran = RaiseUnitEvent(windowId, 0, kEventIdle, {static_cast<int32_t>(elapsedMs)}, &result, &has);
    return ran && has && result != 0;
}

uint32_t WindowPictureDecodes() { return gPictureDecodes.load(); }
