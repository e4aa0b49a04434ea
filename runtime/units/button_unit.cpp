#include "runtime/units/button_unit.h"

#include "runtime/forms/events.h"
#include "runtime/pictures/picture_draw.h"
#include "runtime/core/gbk_wide.h"
#include "runtime/units/property_rules.h"
#include "runtime/units/unit.h"
#include "runtime/units/unit_data.h"

namespace {

constexpr uint32_t kButtonBaseStyle = 0x44002000;  // child, clip siblings, multi-line
constexpr uint32_t kAlignBits = 0x0F00;
constexpr uint32_t kImageBits = BS_ICON | BS_BITMAP;

uint32_t AlignStyle(uint32_t h, uint32_t v)
{
    static const uint32_t kH[3] = {0x100, 0x300, 0x200};
    static const uint32_t kV[3] = {0x400, 0xC00, 0x800};
    return kH[h > 2 ? 1 : h] | kV[v > 2 ? 1 : v];
}

class ButtonUnit final : public Unit {
public:
    ButtonUnit(WindowId w, UnitId u) : Unit(w, u, kUnitTypeButton) {}
    ~ButtonUnit() override { ReleaseDrawable(&image_); }

    bool Create(const uint8_t* data, uint32_t size, uint32_t style, HWND parent, uint32_t id, int x, int y, int cx,
                int cy)
    {
        if (!ReadButtonData(data, size, data_)) return false;
        style |= kButtonBaseStyle | (data_.type == 1 ? 1u : 0u) | AlignStyle(data_.hAlign, data_.vAlign);
        style |= PreparePicture();
        HWND hwnd =
            CreateWindowExW(0, L"BUTTON", GbkToWide(data_.caption).c_str(), style, x, y, cx, cy, parent,
                            reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), GetModuleHandleW(nullptr), nullptr);
        if (!hwnd) return false;
        Attach(hwnd);
        if (image_.icon) SendMessageW(hwnd, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(image_.icon));
        if (image_.bitmap) SendMessageW(hwnd, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(image_.bitmap));
        font_.Set(data_.font);
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
        return true;
    }

    bool OnCommand(UINT code) override
    {
        if (code != BN_CLICKED) return false;
        RaiseUnitEvent(GetWindowId(), GetUnitId(), 0);
        return true;
    }

    int32_t SetProperty(int32_t k, const UnitPropertyValue& v) override
    {
        const int32_t n = ValueInt(v);
        switch (k) {
        case 0:
            data_.picture = ValueBytes(v);
            return 1;  // the image style is fixed at creation
        case 1:
            data_.type = ClampRange(n, 0, 1);
            SendMessageW(hwnd_, BM_SETSTYLE, (Style() & ~0x1Fu) | (data_.type == 1 ? BS_DEFPUSHBUTTON : 0), TRUE);
            return 0;
        case 2:
            SetWindowTextW(hwnd_, GbkToWide(ValueText(v)).c_str());
            return 0;
        case 3:
            data_.hAlign = ClampRange(n, 0, 2);
            ApplyAlignment();
            return 0;
        case 4:
            data_.vAlign = ClampRange(n, 0, 2);
            ApplyAlignment();
            return 0;
        case 5:
            font_.Set(ValueBytes(v));
            SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), TRUE);
            return 0;
        default:
            return 0;
        }
    }

    bool GetProperty(int32_t k, UnitPropertyValue& out) override
    {
        switch (k) {
        case 0:
            ResultBytes(data_.picture, out);
            return true;
        case 1:
            ResultInt(data_.type, out);
            return true;
        case 2:
            ResultText(WideToGbk(WindowTextW(hwnd_)), out);
            return true;
        case 3:
            ResultInt(data_.hAlign, out);
            return true;
        case 4:
            ResultInt(data_.vAlign, out);
            return true;
        case 5:
            ResultBytes(font_.Bytes(), out);
            return true;
        default:
            return false;
        }
    }

    std::vector<uint8_t> CurrentData() override
    {
        ButtonData d = data_;
        d.caption = WideToGbk(WindowTextW(hwnd_));
        d.font = font_.Bytes();
        return WriteButtonData(d);
    }

    // The stored type, not the style: dialog navigation makes whichever push
    // button has the focus look like the default one while it has it.
    bool IsDefaultButton() const { return data_.type == 1; }

private:
    uint32_t Style() const { return static_cast<uint32_t>(GetWindowLongPtrW(hwnd_, GWL_STYLE)); }

    void ApplyAlignment()
    {
        uint32_t style = (Style() & ~kAlignBits) | AlignStyle(data_.hAlign, data_.vAlign);
        SetWindowLongPtrW(hwnd_, GWL_STYLE, static_cast<LONG_PTR>(style));
        InvalidateRect(hwnd_, nullptr, TRUE);
    }

    // Decodes the stored picture over the button face; returns the image style.
    uint32_t PreparePicture()
    {
        if (data_.picture.empty()) return 0;
        auto picture = DecodePicture(data_.picture.data(), static_cast<int64_t>(data_.picture.size()));
        if (!picture) return 0;  // not a picture: dropped
        HDC screen = GetDC(nullptr);
        int ok = MakeDrawable(screen, picture.get(), &image_, GetSysColor(COLOR_BTNFACE));
        ReleaseDC(nullptr, screen);
        if (!ok) return 0;
        return image_.icon ? BS_ICON : BS_BITMAP;
    }

    ButtonData data_;
    UnitFont font_;
    DrawablePicture image_;  // owned: the button's image
};

LiveUnit* CreateButton(const uint8_t* data, uint32_t size, uint32_t style, void* parent, uint32_t controlId, void*,
                       int32_t left, int32_t top, int32_t width, int32_t height, WindowId windowId, UnitId unitId,
                       uint32_t, uint32_t)
{
    auto* unit = new ButtonUnit(windowId, unitId);
    if (!unit->Create(data, size, style & ~kImageBits, static_cast<HWND>(parent), controlId, left, top, width,
                      height)) {
        delete unit;
        return nullptr;
    }
    return unit;
}

int32_t IsDefaultButtonOp(LiveUnit* unit) { return unit && static_cast<ButtonUnit*>(unit)->IsDefaultButton(); }

}  // namespace

UnitOperation ButtonInterface(int32_t code)
{
    if (code == kUnitOpIsDefaultButton) return reinterpret_cast<UnitOperation>(&IsDefaultButtonOp);
    return CommonUnitOperation(code, &CreateButton);
}
