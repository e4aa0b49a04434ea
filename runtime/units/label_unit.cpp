#include "runtime/units/label_unit.h"

#include "runtime/core/gbk_wide.h"
#include "runtime/units/property_rules.h"
#include "runtime/units/unit.h"
#include "runtime/units/unit_data.h"
#include "runtime/units/unit_picture.h"

#include <algorithm>

namespace {

constexpr wchar_t kLabelClass[] = L"_ZR_Label";

// Colours of a gradient list, leaving out the button-face stand-in.
std::vector<COLORREF> GradientStops(const uint32_t (&colors)[3])
{
    std::vector<COLORREF> stops;
    for (uint32_t c : colors)
        if (c != kButtonFace) stops.push_back(static_cast<COLORREF>(c & 0x00FFFFFF));
    return stops;
}

// The colour at position t (0..1) along the stops.
COLORREF Interpolate(const std::vector<COLORREF>& stops, double t)
{
    double pos = t * static_cast<double>(stops.size() - 1);
    size_t i = std::min(static_cast<size_t>(pos), stops.size() - 2);
    double f = pos - static_cast<double>(i);
    auto mix = [f](int a, int b) { return static_cast<int>(a + (b - a) * f + 0.5); };
    COLORREF a = stops[i], b = stops[i + 1];
    return RGB(mix(GetRValue(a), GetRValue(b)), mix(GetGValue(a), GetGValue(b)), mix(GetBValue(a), GetBValue(b)));
}

void FillSolid(HDC dc, const RECT& r, COLORREF c)
{
    SetBkColor(dc, c);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

// A frame of width w along the inside of r, shaded from the outer edge inwards.
void DrawGradientFrame(HDC dc, const RECT& r, int w, const std::vector<COLORREF>& stops)
{
    for (int i = 0; i < w; ++i) {
        COLORREF c = Interpolate(stops, w > 1 ? static_cast<double>(i) / (w - 1) : 0.0);
        RECT ring{r.left + i, r.top + i, r.right - i, r.bottom - i};
        if (ring.right <= ring.left || ring.bottom <= ring.top) break;
        FillSolid(dc, RECT{ring.left, ring.top, ring.right, ring.top + 1}, c);
        FillSolid(dc, RECT{ring.left, ring.bottom - 1, ring.right, ring.bottom}, c);
        FillSolid(dc, RECT{ring.left, ring.top, ring.left + 1, ring.bottom}, c);
        FillSolid(dc, RECT{ring.right - 1, ring.top, ring.right, ring.bottom}, c);
    }
}

// Gradient background modes: 1 left to right, 2 top to bottom, 3 right to
// left, 4 bottom to top, 5 and 6 from the middle outwards (horizontal,
// vertical), 7 and 8 from the edges to the middle.
void DrawGradientBackground(HDC dc, const RECT& r, uint32_t mode, const std::vector<COLORREF>& stops)
{
    const bool vertical = mode == 2 || mode == 4 || mode == 6 || mode == 8;
    const int span = vertical ? r.bottom - r.top : r.right - r.left;
    for (int i = 0; i < span; ++i) {
        double t = span > 1 ? static_cast<double>(i) / (span - 1) : 0.0;
        if (mode == 3 || mode == 4) t = 1.0 - t;
        if (mode == 5 || mode == 6) t = std::abs(t - 0.5) * 2.0;
        if (mode == 7 || mode == 8) t = 1.0 - std::abs(t - 0.5) * 2.0;
        RECT strip = vertical ? RECT{r.left, r.top + i, r.right, r.top + i + 1}
                              : RECT{r.left + i, r.top, r.left + i + 1, r.bottom};
        FillSolid(dc, strip, Interpolate(stops, t));
    }
}

class LabelUnit final : public Unit {
public:
    LabelUnit(WindowId w, UnitId u) : Unit(w, u, kUnitTypeLabel) {}

    bool Create(const uint8_t* data, uint32_t size, uint32_t style, HWND parent, uint32_t id, int x, int y, int cx,
                int cy)
    {
        if (!ReadLabelData(data, size, data_)) return false;
        if (!EnsureWindowClass(kLabelClass, nullptr)) return false;
        HWND hwnd =
            CreateWindowExW(0, kLabelClass, GbkToWide(data_.caption).c_str(), style | 0x44000000, x, y, cx, cy, parent,
                            reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), GetModuleHandleW(nullptr), nullptr);
        if (!hwnd) return false;
        Attach(hwnd);
        font_.Set(data_.font);
        picture_.SetBytes(data_.picture);
        if (data_.borderStyle <= 5) ApplyBorderStyle(hwnd, data_.borderStyle);
        return true;
    }

    int32_t SetProperty(int32_t k, const UnitPropertyValue& v) override
    {
        const int32_t n = ValueInt(v);
        switch (k) {
        case 0:
            SetWindowTextW(hwnd_, GbkToWide(ValueText(v)).c_str());
            break;
        case 1:
            data_.textEffect = ClampRange(n, 0, 3);
            break;
        case 2:
            data_.borderStyle = ClampRange(n, 0, 6);
            ApplyBorderStyle(hwnd_, data_.borderStyle <= 5 ? data_.borderStyle : 0);
            break;
        case 3:
            data_.gradientBorderWidth = n < 5 ? 5 : n;
            break;
        case 4:
        case 5:
        case 6:
            data_.borderColors[k - 4] = v.low;
            break;
        case 7:
            font_.Set(ValueBytes(v));
            break;
        case 8:
            data_.textColor = v.low;
            break;
        case 9:
            data_.backColor = v.low;
            break;
        case 10:
            picture_.SetBytes(ValueBytes(v));
            break;
        case 11:
            data_.pictureMode = ClampRange(n, 0, 2);
            break;
        case 12:
            data_.gradientMode = ClampRange(n, 0, 8);
            break;
        case 13:
        case 14:
        case 15:
            data_.gradientColors[k - 13] = v.low;
            break;
        case 16:
            data_.hAlign = ClampRange(n, 0, 2);
            break;
        case 17:
            data_.wordWrap = v.low;
            break;
        case 18:
            data_.vAlign = ClampRange(n, 0, 2);
            break;
        case 19:
            data_.dataSource = ValueText(v);
            break;
        case 20:
            data_.dataColumn = ValueText(v);
            break;
        default:
            return 0;
        }
        InvalidateRect(hwnd_, nullptr, FALSE);
        return 0;
    }

    bool GetProperty(int32_t k, UnitPropertyValue& out) override
    {
        switch (k) {
        case 0:
            ResultText(WideToGbk(WindowTextW(hwnd_)), out);
            return true;
        case 1:
            ResultInt(data_.textEffect, out);
            return true;
        case 2:
            ResultInt(data_.borderStyle, out);
            return true;
        case 3:
            ResultInt(data_.gradientBorderWidth, out);
            return true;
        case 4:
        case 5:
        case 6:
            ResultInt(data_.borderColors[k - 4], out);
            return true;
        case 7:
            ResultBytes(font_.Bytes(), out);
            return true;
        case 8:
            ResultInt(data_.textColor, out);
            return true;
        case 9:
            ResultInt(data_.backColor, out);
            return true;
        case 10:
            ResultBytes(picture_.Bytes(), out);
            return true;
        case 11:
            ResultInt(data_.pictureMode, out);
            return true;
        case 12:
            ResultInt(data_.gradientMode, out);
            return true;
        case 13:
        case 14:
        case 15:
            ResultInt(data_.gradientColors[k - 13], out);
            return true;
        case 16:
            ResultInt(data_.hAlign, out);
            return true;
        case 17:
            ResultInt(data_.wordWrap, out);
            return true;
        case 18:
            ResultInt(data_.vAlign, out);
            return true;
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
        LabelData d = data_;
        d.caption = WideToGbk(WindowTextW(hwnd_));
        d.font = font_.Bytes();
        d.picture = picture_.Bytes();
        return WriteLabelData(d);
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
            if (dc && !IsRectEmpty(&ps.rcPaint)) Paint(dc);
            EndPaint(hwnd_, &ps);
            return 0;
        }
        case WM_SETTEXT: {
            LRESULT r = CallOriginal(msg, wp, lp);
            InvalidateRect(hwnd_, nullptr, FALSE);
            return r;
        }
        default:
            return CallOriginal(msg, wp, lp);
        }
    }

private:
    void Paint(HDC dc)
    {
        RECT r;
        GetClientRect(hwnd_, &r);
        const int saved = SaveDC(dc);
        if (data_.borderStyle == 6 && data_.gradientBorderWidth > 0) {
            std::vector<COLORREF> stops = GradientStops(data_.borderColors);
            if (stops.size() >= 2) {
                int w = static_cast<int>(std::min<uint32_t>(data_.gradientBorderWidth, 0x7FFF));
                DrawGradientFrame(dc, r, w, stops);
                InflateRect(&r, -w, -w);
                if (r.right < r.left) r.right = r.left;
                if (r.bottom < r.top) r.bottom = r.top;
            }
        }
        IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
        const COLORREF back = ResolveColor(data_.backColor);
        bool filled = false;
        if (picture_.HasBytes() && picture_.Decoded()) {
            Placement p = data_.pictureMode == 0   ? Placement::Natural
                          : data_.pictureMode == 1 ? Placement::Tiled
                                                   : Placement::Fitted;
            RECT covered = picture_.Draw(dc, r, p, back);
            // The label makes its device bitmap per paint.
            picture_.DropDrawable();
            if (p == Placement::Tiled)
                filled = true;
            else
                ExcludeClipRect(dc, covered.left, covered.top, covered.right, covered.bottom);
        } else if (data_.gradientMode != 0) {
            std::vector<COLORREF> stops = GradientStops(data_.gradientColors);
            if (stops.size() >= 2) {
                DrawGradientBackground(dc, r, data_.gradientMode, stops);
                filled = true;
            }
        }
        if (!filled) FillSolid(dc, r, back);
        RestoreDC(dc, saved);
        DrawCaption(dc, r);
    }

    void DrawCaption(HDC dc, RECT r)
    {
        std::wstring text = WindowTextW(hwnd_);
        if (text.empty()) return;
        ScopedSelect font(dc, font_.Get());
        SetBkMode(dc, TRANSPARENT);
        UINT format = DT_NOPREFIX;
        format |= data_.hAlign == 1 ? DT_CENTER : data_.hAlign == 2 ? DT_RIGHT : DT_LEFT;
        if (data_.wordWrap == 1) {
            format |= DT_WORDBREAK;
        } else {
            format |= DT_SINGLELINE;
            format |= data_.vAlign == 0 ? DT_TOP : data_.vAlign == 2 ? DT_BOTTOM : DT_VCENTER;
        }
        auto draw = [&](COLORREF color, RECT at) {
            SetTextColor(dc, color);
            DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &at, format);
        };
        switch (data_.textEffect) {
        case 1:
            draw(RGB(255, 255, 255), RECT{r.left + 1, r.top + 1, r.right + 1, r.bottom + 1});
            break;
        case 2:
            draw(RGB(255, 255, 255), r);
            OffsetRect(&r, 1, 1);
            break;
        case 3:
            draw(RGB(0, 0, 0), RECT{r.left + 2, r.top + 2, r.right + 2, r.bottom + 2});
            break;
        default:
            break;
        }
        draw(static_cast<COLORREF>(data_.textColor & 0x00FFFFFF), r);
    }

    LabelData data_;
    UnitFont font_;
    UnitPicture picture_;
};

LiveUnit* CreateLabel(const uint8_t* data, uint32_t size, uint32_t style, void* parent, uint32_t controlId, void*,
                      int32_t left, int32_t top, int32_t width, int32_t height, WindowId windowId, UnitId unitId,
                      uint32_t, uint32_t)
{
    auto* unit = new LabelUnit(windowId, unitId);
    if (!unit->Create(data, size, style, static_cast<HWND>(parent), controlId, left, top, width, height)) {
        HWND hwnd = unit->Hwnd();
        if (hwnd) {
            unit->SuppressDestructionNotice();
            DestroyWindow(hwnd);  // deletes the unit
        } else {
            delete unit;
        }
        return nullptr;
    }
    return unit;
}

}  // namespace

UnitOperation LabelInterface(int32_t code) { return CommonUnitOperation(code, &CreateLabel); }
