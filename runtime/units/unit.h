// The live unit behind every window of a loaded form: the window unit and the
// label, button, edit box, picture box and HTML viewer. A unit is attached to
// its window by subclassing, tells the runtime when its window is destroyed
// (SystemNotify 2000) and deletes itself when the window is gone.
#pragma once

#include "runtime/forms/unit_types.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class Unit : public LiveUnit {
public:
    void* Handle() const override { return hwnd_; }
    HWND Hwnd() const { return hwnd_; }
    WindowId GetWindowId() const { return windowId_; }
    UnitId GetUnitId() const { return unitId_; }
    UnitTypeId Type() const { return type_; }

    // Own property k: returns 1 when the unit must be re-created to show the
    // change, 0 otherwise (also for an unknown k).
    virtual int32_t SetProperty(int32_t k, const UnitPropertyValue& value) = 0;
    // False when k is unknown. Pointer results stay owned by the unit until its
    // next property change.
    virtual bool GetProperty(int32_t k, UnitPropertyValue& out) = 0;
    // The current unit-type data, newest version.
    virtual std::vector<uint8_t> CurrentData() = 0;

    // Notifications the parent window reflects to the unit that sent them.
    virtual bool OnCommand(UINT code) { return false; }
    virtual HBRUSH OnControlColor(HDC dc) { return nullptr; }
    // A key message for a window inside the unit, offered before the window's
    // own translation: true when the unit's control took it.
    virtual bool TranslateKey(MSG* msg) { return false; }

    // While a unit is re-created its old window goes without destruction notice.
    void SuppressDestructionNotice() { noticeSuppressed_ = true; }

    // The unit attached to a window, or null.
    static Unit* FromHwnd(HWND hwnd);

protected:
    Unit(WindowId windowId, UnitId unitId, UnitTypeId type) : windowId_(windowId), unitId_(unitId), type_(type) {}
    virtual ~Unit() = default;

    // Subclasses the new window; from then on WndProc sees its messages.
    void Attach(HWND hwnd);
    // The unit's own message handling; CallOriginal for the rest.
    virtual LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) { return CallOriginal(msg, wp, lp); }
    // Called once the runtime has been told that the window is destroyed.
    virtual void AfterDestructionNotice() {}
    LRESULT CallOriginal(UINT msg, WPARAM wp, LPARAM lp);

    // Keeps a property result alive for the caller of GetProperty.
    void ResultText(const std::string& text, UnitPropertyValue& out);
    void ResultBytes(const std::vector<uint8_t>& bytes, UnitPropertyValue& out);

    HWND hwnd_ = nullptr;

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    WindowId windowId_;
    UnitId unitId_;
    UnitTypeId type_;
    WNDPROC original_ = nullptr;
    bool noticeSuppressed_ = false;
    std::string resultText_;
    std::vector<uint8_t> resultBytes_;
};

// ---- helpers shared by the units -------------------------------------------------

// 0xFF000000 stands for the system button-face colour.
COLORREF ResolveColor(uint32_t color);

// Registers one of the runtime's own classes once (class style: horizontal and
// vertical redraw, double clicks; arrow cursor; the given background brush).
// False when the class can be neither found nor registered.
bool EnsureWindowClass(const wchar_t* name, HBRUSH background);

// A font made from a stored 60-byte logical font; null when the bytes are not
// a font (the default GUI font then serves).
HFONT CreateStoredFont(const std::vector<uint8_t>& font);
HFONT DefaultGuiFont();

// The 60-byte record of the font a window uses (default GUI font when none).
std::vector<uint8_t> FontRecordOf(HFONT font);

// Border style codes 0..5 of the label, edit box and picture box: extended
// styles and the border bit replaced, frame recomputed in place.
void ApplyBorderStyle(HWND hwnd, uint32_t code);

std::wstring WindowTextW(HWND hwnd);

// A number from a property value, and the text/bytes it carries.
inline int32_t ValueInt(const UnitPropertyValue& v) { return static_cast<int32_t>(v.low); }
std::string ValueText(const UnitPropertyValue& v);
std::vector<uint8_t> ValueBytes(const UnitPropertyValue& v);
inline void ResultInt(int32_t v, UnitPropertyValue& out)
{
    out = {};
    out.low = static_cast<uint32_t>(v);
}

// A font owned by a unit: the stored bytes and the GDI font made from them.
class UnitFont {
public:
    UnitFont() = default;
    UnitFont(const UnitFont&) = delete;
    UnitFont& operator=(const UnitFont&) = delete;
    ~UnitFont() { Reset(); }
    void Set(const std::vector<uint8_t>& bytes);
    HFONT Get() const { return font_ ? font_ : DefaultGuiFont(); }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    void Reset();
    std::vector<uint8_t> bytes_;
    HFONT font_ = nullptr;  // owned
};

// Selects a GDI object into a DC for one scope.
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ obj) : dc_(dc), old_(SelectObject(dc, obj)) {}
    ~ScopedSelect() { SelectObject(dc_, old_); }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// A GDI object owned for one scope.
template <typename T> class GdiObject {
public:
    explicit GdiObject(T obj = nullptr) : obj_(obj) {}
    ~GdiObject() { Reset(); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    void Reset(T obj = nullptr)
    {
        if (obj_) DeleteObject(obj_);
        obj_ = obj;
    }
    T Get() const { return obj_; }

private:
    T obj_;
};

// ---- UnitInterface plumbing ------------------------------------------------------

// The set, get and data operations every unit type of this folder shares; they
// reach the unit's virtual functions.
int32_t UnitSetPropertyOp(LiveUnit* unit, int32_t k, const UnitPropertyValue* value);
int32_t UnitGetPropertyOp(LiveUnit* unit, int32_t k, UnitPropertyValue* out);
bool UnitGetDataOp(LiveUnit* unit, std::vector<uint8_t>* out);

// The operation for `code` of a type whose create operation is `create`.
UnitOperation CommonUnitOperation(int32_t code, UnitCreateFn create);
