#include "runtime/units/edit_box_unit.h"

#include "runtime/core/gbk_wide.h"
#include "runtime/forms/events.h"
#include "runtime/units/property_rules.h"
#include "runtime/units/unit.h"
#include "runtime/units/unit_data.h"

#include <commctrl.h>

#include <algorithm>

namespace {

constexpr int32_t kEventFocusGained = -7;
constexpr int32_t kEventFocusLost = -8;

uint32_t EditStyle(const EditBoxData& d)
{
    uint32_t style = WS_CHILD | WS_CLIPSIBLINGS;
    if (d.hideSelection == 0) style |= ES_NOHIDESEL;
    if (d.multiLine) {
        style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
        if (d.scrollBars == 1 || d.scrollBars == 3) style |= ES_AUTOHSCROLL;
        if (d.scrollBars == 1) style |= WS_HSCROLL;
        if (d.scrollBars == 2) style |= WS_VSCROLL;
        if (d.scrollBars == 3) style |= WS_HSCROLL | WS_VSCROLL;
    } else {
        style |= ES_AUTOHSCROLL;
    }
    if (d.alignment == 1) style |= ES_CENTER;
    if (d.alignment == 2) style |= ES_RIGHT;
    if (d.inputMode == 1) style |= ES_READONLY;
    if (d.inputMode == 2) style |= ES_PASSWORD;
    if (d.letterCase == 1) style |= ES_LOWERCASE;
    if (d.letterCase == 2) style |= ES_UPPERCASE;
    return style;
}

class EditBoxUnit final : public Unit {
public:
    EditBoxUnit(WindowId w, UnitId u) : Unit(w, u, kUnitTypeEditBox) {}
    ~EditBoxUnit() override
    {
        if (brush_) DeleteObject(brush_);
    }

    bool Create(const uint8_t* data, uint32_t size, uint32_t style, HWND parent, uint32_t id, int x, int y, int cx,
                int cy)
    {
        if (!ReadEditBoxData(data, size, data_)) return false;
        controlId_ = id;
        HWND hwnd = CreateWindowExW(0, L"EDIT", GbkToWide(data_.content).c_str(), style | EditStyle(data_), x, y, cx,
                                    cy, parent, reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)),
                                    GetModuleHandleW(nullptr), nullptr);
        if (!hwnd) return false;
        Attach(hwnd);
        brush_ = CreateSolidBrush(ResolveColor(data_.backColor));
        font_.Set(data_.font);
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
        if (!data_.multiLine) EnsureTextHeight();
        // Always, 0 included: 0 lifts the control's own default limit of
        // about 30000 characters.
        SendMessageW(hwnd, EM_SETLIMITTEXT, data_.maxLength, 0);
        if (data_.inputMode == 2) SendMessageW(hwnd, EM_SETPASSWORDCHAR, data_.passwordChar, 0);
        if (!data_.multiLine && data_.spin) CreateSpin(style);
        SendMessageW(hwnd, EM_SETSEL, data_.selStart, data_.selStart + data_.selLength);
        SendMessageW(hwnd, EM_SCROLLCARET, 0, 0);
        ApplyBorderStyle(hwnd, data_.borderStyle);
        return true;
    }

    bool OnCommand(UINT code) override
    {
        switch (code) {
        case EN_CHANGE:
            if (changeSuppressed_) return true;
            RaiseUnitEvent(GetWindowId(), GetUnitId(), 0);
            return true;
        case EN_SETFOCUS:
            RaiseUnitEvent(GetWindowId(), GetUnitId(), kEventFocusGained);
            return true;
        case EN_KILLFOCUS:
            RaiseUnitEvent(GetWindowId(), GetUnitId(), kEventFocusLost);
            return true;
        default:
            return false;
        }
    }

    HBRUSH OnControlColor(HDC dc) override
    {
        SetTextColor(dc, static_cast<COLORREF>(data_.textColor & 0x00FFFFFF));
        SetBkColor(dc, ResolveColor(data_.backColor));
        return brush_;
    }

    int32_t SetProperty(int32_t k, const UnitPropertyValue& v) override
    {
        const int32_t n = ValueInt(v);
        switch (k) {
        case 0:
            SetContent(ValueText(v));
            return 0;
        case 1:
            data_.borderStyle = ClampRange(n, 0, 5);
            ApplyBorderStyle(hwnd_, data_.borderStyle);
            return 0;
        case 2:
            data_.textColor = v.low;
            break;
        case 3:
            data_.backColor = v.low;
            if (brush_) DeleteObject(brush_);
            brush_ = CreateSolidBrush(ResolveColor(data_.backColor));
            break;
        case 4:
            font_.Set(ValueBytes(v));
            SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), TRUE);
            return 0;
        case 5:
            return Recreate(data_.hideSelection, v.low != 0 ? 1u : 0u);
        case 6:
            data_.maxLength = n < 0 ? 0 : n;
            SendMessageW(hwnd_, EM_SETLIMITTEXT, data_.maxLength, 0);
            return 0;
        case 7:
            return Recreate(data_.multiLine, v.low != 0 ? 1u : 0u);
        case 8:
            return Recreate(data_.scrollBars, static_cast<uint32_t>(ClampRange(n, 0, 3)));
        case 9:
            return Recreate(data_.alignment, static_cast<uint32_t>(ClampRange(n, 0, 2)));
        case 10:
            data_.inputMode = v.low;
            SendMessageW(hwnd_, EM_SETREADONLY, data_.inputMode == 1, 0);
            SendMessageW(hwnd_, EM_SETPASSWORDCHAR, data_.inputMode == 2 ? data_.passwordChar : 0, 0);
            break;
        case 11:
            data_.passwordChar = static_cast<uint16_t>(v.low);
            if (data_.inputMode == 2) SendMessageW(hwnd_, EM_SETPASSWORDCHAR, data_.passwordChar, 0);
            break;
        case 12: {
            data_.letterCase = v.low;
            LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_STYLE) & ~static_cast<LONG_PTR>(ES_LOWERCASE | ES_UPPERCASE);
            if (data_.letterCase == 1) style |= ES_LOWERCASE;
            if (data_.letterCase == 2) style |= ES_UPPERCASE;
            SetWindowLongPtrW(hwnd_, GWL_STYLE, style);
            return 0;
        }
        case 13:
            return Recreate(data_.spin, v.low);
        case 14:
        case 15:
            (k == 14 ? data_.spinLower : data_.spinUpper) = v.low;
            if (spin_) SetSpinRange();
            return 0;
        case 16:
        case 17: {
            DWORD start = 0, end = 0;
            SendMessageW(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
            int32_t s = k == 16 ? std::max(n, 0) : static_cast<int32_t>(start);
            int32_t len = k == 17 ? std::max(n, 0) : static_cast<int32_t>(end - start);
            SendMessageW(hwnd_, EM_SETSEL, s, s + len);
            SendMessageW(hwnd_, EM_SCROLLCARET, 0, 0);
            return 0;
        }
        case 18: {
            std::wstring text = GbkToWide(ValueText(v));
            SendMessageW(hwnd_, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
            return 0;
        }
        case 19:
            data_.dataSource = ValueText(v);
            return 0;
        case 20:
            data_.dataColumn = ValueText(v);
            return 0;
        default:
            return 0;
        }
        InvalidateRect(hwnd_, nullptr, TRUE);
        return 0;
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
            ResultInt(data_.textColor, out);
            return true;
        case 3:
            ResultInt(data_.backColor, out);
            return true;
        case 4:
            ResultBytes(font_.Bytes(), out);
            return true;
        case 5:
            ResultInt(data_.hideSelection, out);
            return true;
        case 6:
            ResultInt(data_.maxLength, out);
            return true;
        case 7:
            ResultInt(data_.multiLine, out);
            return true;
        case 8:
            ResultInt(data_.scrollBars, out);
            return true;
        case 9:
            ResultInt(data_.alignment, out);
            return true;
        case 10:
            ResultInt(data_.inputMode, out);
            return true;
        case 11:
            ResultInt(data_.passwordChar, out);
            return true;
        case 12:
            ResultInt(data_.letterCase, out);
            return true;
        case 13:
            ResultInt(data_.spin, out);
            return true;
        case 14:
            ResultInt(data_.spinLower, out);
            return true;
        case 15:
            ResultInt(data_.spinUpper, out);
            return true;
        case 16:
        case 17:
        case 18: {
            DWORD start = 0, end = 0;
            SendMessageW(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
            if (k == 16) ResultInt(static_cast<int32_t>(start), out);
            if (k == 17) ResultInt(static_cast<int32_t>(end - start), out);
            if (k == 18) {
                std::wstring text = WindowTextW(hwnd_);
                end = std::min<DWORD>(end, static_cast<DWORD>(text.size()));
                start = std::min(start, end);
                ResultText(WideToGbk(std::wstring_view(text).substr(start, end - start)), out);
            }
            return true;
        }
        case 19:
            ResultText(data_.dataSource, out);
            return true;
        case 20:
            ResultText(data_.dataColumn, out);
            return true;
        default:
            return false;
        }
    }

    std::vector<uint8_t> CurrentData() override
    {
        EditBoxData d = data_;
        d.content = WideToGbk(WindowTextW(hwnd_));
        d.font = font_.Bytes();
        DWORD start = 0, end = 0;
        SendMessageW(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        d.selStart = start;
        d.selLength = end - start;
        return WriteEditBoxData(d);
    }

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override
    {
        if (msg == WM_DESTROY && spin_) {
            DestroyWindow(spin_);
            spin_ = nullptr;
        }
        if (msg == WM_ENABLE && spin_) EnableWindow(spin_, static_cast<BOOL>(wp));
        // A single-line edit control rings on the characters of Enter and Esc,
        // which it does not take (Windows' does; Wine's is silent). Their key
        // events have been raised by then; the control is not given them.
        if (msg == WM_CHAR && !data_.multiLine && (wp == VK_RETURN || wp == VK_ESCAPE)) return 0;
        // Asked with a key's message (dialog navigation moving the focus here
        // with Tab), the edit control takes itself to be in a dialog box, and
        // a multi-line one then closes the window on Esc. Asked without it,
        // the control wants the same keys (a multi-line one all of them).
        if (msg == WM_GETDLGCODE) return CallOriginal(msg, wp, 0);
        return CallOriginal(msg, wp, lp);
    }

private:
    // The content is replaced with the control's own change notice held back,
    // then one change is delivered: event 0 runs exactly once per write.
    void SetContent(const std::string& gbk)
    {
        changeSuppressed_ = true;
        SetWindowTextW(hwnd_, GbkToWide(gbk).c_str());
        changeSuppressed_ = false;
        RaiseUnitEvent(GetWindowId(), GetUnitId(), 0);
    }

    // Returns 1 (re-create) when the stored value changes.
    static int32_t Recreate(uint32_t& field, uint32_t value)
    {
        if (field == value) return 0;
        field = value;
        return 1;
    }

    // A single-line box lower than the text "吴" plus twice the edge height
    // is made that high.
    void EnsureTextHeight()
    {
        HDC dc = GetDC(hwnd_);
        SIZE size{};
        {
            ScopedSelect font(dc, font_.Get());
            GetTextExtentPoint32W(dc, L"\u5434", 1, &size);
        }
        ReleaseDC(hwnd_, dc);
        int needed = size.cy + 2 * GetSystemMetrics(SM_CYEDGE);
        RECT r;
        GetWindowRect(hwnd_, &r);
        if (r.bottom - r.top < needed)
            SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, needed, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void CreateSpin(uint32_t loaderStyle)
    {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_UPDOWN_CLASS};
        InitCommonControlsEx(&icc);
        DWORD ex = (data_.borderStyle == 0 || data_.borderStyle == 1 || data_.borderStyle == 3) ? WS_EX_STATICEDGE : 0;
        DWORD style = WS_CHILD | WS_VISIBLE | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS;
        spin_ = CreateWindowExW(ex, UPDOWN_CLASSW, L"", style, 0, 0, 0, 0, GetParent(hwnd_),
                                reinterpret_cast<HMENU>(static_cast<uintptr_t>(controlId_ + 4)),
                                GetModuleHandleW(nullptr), nullptr);
        if (!spin_) return;
        SendMessageW(spin_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(hwnd_), 0);
        SetSpinRange();
        if (loaderStyle & WS_DISABLED) EnableWindow(spin_, FALSE);
    }

    void SetSpinRange()
    {
        int32_t a = static_cast<int32_t>(data_.spinLower), b = static_cast<int32_t>(data_.spinUpper);
        SendMessageW(spin_, UDM_SETRANGE32, std::min(a, b), std::max(a, b));
    }

    EditBoxData data_;
    UnitFont font_;
    HBRUSH brush_ = nullptr;  // owned
    HWND spin_ = nullptr;     // owned: the attached spin control
    uint32_t controlId_ = 0;
    bool changeSuppressed_ = false;
};

LiveUnit* CreateEditBox(const uint8_t* data, uint32_t size, uint32_t style, void* parent, uint32_t controlId, void*,
                        int32_t left, int32_t top, int32_t width, int32_t height, WindowId windowId, UnitId unitId,
                        uint32_t, uint32_t)
{
    auto* unit = new EditBoxUnit(windowId, unitId);
    if (!unit->Create(data, size, style, static_cast<HWND>(parent), controlId, left, top, width, height)) {
        delete unit;
        return nullptr;
    }
    return unit;
}

}  // namespace

UnitOperation EditBoxInterface(int32_t code) { return CommonUnitOperation(code, &CreateEditBox); }
