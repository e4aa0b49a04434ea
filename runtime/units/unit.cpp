#include "runtime/units/unit.h"

#include "runtime/core/services.h"
#include "runtime/core/gbk_wide.h"
#include "runtime/forms/accessible_names.h"
#include "runtime/units/property_rules.h"

#include <cstring>

namespace {
constexpr wchar_t kUnitProp[] = L"SongLink.Unit";
constexpr int32_t kNotifyUnitDestroyed = 2000;
}  // namespace

Unit* Unit::FromHwnd(HWND hwnd) { return hwnd ? static_cast<Unit*>(GetPropW(hwnd, kUnitProp)) : nullptr; }

void Unit::Attach(HWND hwnd)
{
    hwnd_ = hwnd;
    SetPropW(hwnd, kUnitProp, this);
    original_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Unit::SubclassProc)));
}

LRESULT Unit::CallOriginal(UINT msg, WPARAM wp, LPARAM lp) { return CallWindowProcW(original_, hwnd_, msg, wp, lp); }

LRESULT CALLBACK Unit::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    Unit* unit = FromHwnd(hwnd);
    if (!unit) return DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_DESTROY && !unit->noticeSuppressed_) {
        LRESULT r = unit->WndProc(msg, wp, lp);
        SystemNotify(kNotifyUnitDestroyed, unit->windowId_, unit->unitId_);
        unit->AfterDestructionNotice();
        return r;
    }
    if (msg == WM_NCDESTROY) {
        LRESULT r = unit->WndProc(msg, wp, lp);
        ForgetAccessibleAnnotations(hwnd);
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(unit->original_));
        RemovePropW(hwnd, kUnitProp);
        unit->hwnd_ = nullptr;
        delete unit;
        return r;
    }
    return unit->WndProc(msg, wp, lp);
}

void Unit::ResultText(const std::string& text, UnitPropertyValue& out)
{
    resultText_ = text;
    out = {};
    out.pointer = resultText_.c_str();
    out.size = static_cast<uint32_t>(resultText_.size());
}

void Unit::ResultBytes(const std::vector<uint8_t>& bytes, UnitPropertyValue& out)
{
    resultBytes_ = bytes;
    out = {};
    out.pointer = resultBytes_.empty() ? nullptr : resultBytes_.data();
    out.size = static_cast<uint32_t>(resultBytes_.size());
}

// ---- helpers -----------------------------------------------------------------------

COLORREF ResolveColor(uint32_t color)
{
    return color == 0xFF000000 ? GetSysColor(COLOR_BTNFACE) : static_cast<COLORREF>(color & 0x00FFFFFF);
}

bool EnsureWindowClass(const wchar_t* name, HBRUSH background)
{
    HINSTANCE module = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(module, name, &wc)) return true;
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = module;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0;
}

namespace {

// Whether the font has glyphs for Latin letters, Chinese characters and
// full-width punctuation alike.
bool DrawsChineseAndLatin(HFONT font)
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    WORD glyphs[3] = {};
    DWORD n = GetGlyphIndicesW(dc, L"A\u4e2d\uff1a", 3, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return n == 3 && glyphs[0] != 0xFFFF && glyphs[1] != 0xFFFF && glyphs[2] != 0xFFFF;
}

HFONT ChooseDefaultGuiFont()
{
    auto stock = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW lf{};
    if (!GetObjectW(stock, sizeof lf, &lf)) return stock;
    // A Chinese system's stock font is made for Chinese (linked fonts supply
    // what its face lacks, which a glyph query does not see).
    if (lf.lfCharSet == GB2312_CHARSET || DrawsChineseAndLatin(stock)) return stock;
    // The first Chinese face that also draws Latin letters at the stock size.
    const wchar_t* const faces[] = {L"SimSun", L"Microsoft YaHei", L"NSimSun", L"SimHei",
                                    L"WenQuanYi Micro Hei", L"Noto Sans CJK SC"};
    lf.lfCharSet = GB2312_CHARSET;
    // Crisp strokes at dialog sizes, as SimSun's own bitmaps draw them.
    lf.lfQuality = NONANTIALIASED_QUALITY;
    for (const wchar_t* face : faces) {
        wcscpy(lf.lfFaceName, face);
        HFONT candidate = CreateFontIndirectW(&lf);
        if (candidate && DrawsChineseAndLatin(candidate)) return candidate;
        if (candidate) DeleteObject(candidate);
    }
    return stock;
}

}  // namespace

// The system's default GUI font, able to draw Chinese. On a Chinese system it
// is the stock font itself; elsewhere the stock font draws every GBK text as
// boxes, so a Chinese face of the same size that also draws Latin letters
// takes its place. Chosen once; it lives as long as the process, like the
// stock font it stands in for.
HFONT DefaultGuiFont()
{
    static HFONT font = ChooseDefaultGuiFont();
    return font;
}

HFONT CreateStoredFont(const std::vector<uint8_t>& font)
{
    if (font.size() != sizeof(FontRecord60)) return nullptr;
    FontRecord60 rec;
    std::memcpy(&rec, font.data(), sizeof rec);
    LOGFONTW lf{};
    lf.lfHeight = rec.height;
    lf.lfWidth = rec.width;
    lf.lfEscapement = rec.escapement;
    lf.lfOrientation = rec.orientation;
    lf.lfWeight = rec.weight;
    lf.lfItalic = rec.italic;
    lf.lfUnderline = rec.underline;
    lf.lfStrikeOut = rec.strikeOut;
    lf.lfCharSet = rec.charSet;
    lf.lfOutPrecision = rec.outPrecision;
    lf.lfClipPrecision = rec.clipPrecision;
    lf.lfQuality = rec.quality;
    lf.lfPitchAndFamily = rec.pitchAndFamily;
    size_t n = strnlen(rec.faceName, sizeof rec.faceName);
    std::wstring face = GbkToWide(std::string_view(rec.faceName, n));
    if (face.size() >= LF_FACESIZE) face.resize(LF_FACESIZE - 1);
    std::memcpy(lf.lfFaceName, face.c_str(), (face.size() + 1) * sizeof(wchar_t));
    return CreateFontIndirectW(&lf);
}

std::vector<uint8_t> FontRecordOf(HFONT font)
{
    LOGFONTW lf{};
    if (!font || !GetObjectW(font, sizeof lf, &lf)) GetObjectW(DefaultGuiFont(), sizeof lf, &lf);
    FontRecord60 rec{};
    rec.height = lf.lfHeight;
    rec.width = lf.lfWidth;
    rec.escapement = lf.lfEscapement;
    rec.orientation = lf.lfOrientation;
    rec.weight = lf.lfWeight;
    rec.italic = lf.lfItalic;
    rec.underline = lf.lfUnderline;
    rec.strikeOut = lf.lfStrikeOut;
    rec.charSet = lf.lfCharSet;
    rec.outPrecision = lf.lfOutPrecision;
    rec.clipPrecision = lf.lfClipPrecision;
    rec.quality = lf.lfQuality;
    rec.pitchAndFamily = lf.lfPitchAndFamily;
    std::string face = WideToGbk(lf.lfFaceName);
    std::memcpy(rec.faceName, face.data(), face.size() < 31 ? face.size() : 31);
    std::vector<uint8_t> out(sizeof rec);
    std::memcpy(out.data(), &rec, sizeof rec);
    return out;
}

void ApplyBorderStyle(HWND hwnd, uint32_t code)
{
    const LONG_PTR oldEx = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
    const LONG_PTR oldStyle = GetWindowLongPtrW(hwnd, GWL_STYLE);
    LONG_PTR ex = oldEx & ~static_cast<LONG_PTR>(WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME | WS_EX_STATICEDGE);
    LONG_PTR style = oldStyle & ~static_cast<LONG_PTR>(WS_BORDER);
    switch (code) {
    case 1:
        ex |= WS_EX_CLIENTEDGE;
        break;
    case 2:
        ex |= WS_EX_DLGMODALFRAME;
        break;
    case 3:
        ex |= WS_EX_STATICEDGE;
        break;
    case 4:
        ex |= WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME;
        break;
    case 5:
        style |= WS_BORDER;
        break;
    default:
        break;
    }
    // Unchanged styles need no new frame (most units at creation).
    if (ex == oldEx && style == oldStyle) return;
    SetWindowLongPtrW(hwnd, GWL_EXSTYLE, ex);
    SetWindowLongPtrW(hwnd, GWL_STYLE, style);
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

std::wstring WindowTextW(HWND hwnd)
{
    int n = GetWindowTextLengthW(hwnd);
    if (n <= 0) return {};
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    int got = GetWindowTextW(hwnd, s.data(), n + 1);
    s.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return s;
}

std::string ValueText(const UnitPropertyValue& v)
{
    if (!v.pointer) return {};
    const char* p = static_cast<const char*>(v.pointer);
    return v.size ? std::string(p, strnlen(p, v.size)) : std::string(p);
}

std::vector<uint8_t> ValueBytes(const UnitPropertyValue& v)
{
    if (!v.pointer || !v.size) return {};
    const uint8_t* p = static_cast<const uint8_t*>(v.pointer);
    // A copy the process cannot hold is reported by the property service
    // that passed the value in (WriteUnitProperty).
    return std::vector<uint8_t>(p, p + v.size);
}

void UnitFont::Set(const std::vector<uint8_t>& bytes)
{
    Reset();
    bytes_ = bytes;
    font_ = CreateStoredFont(bytes);
}

void UnitFont::Reset()
{
    if (font_) DeleteObject(font_);
    font_ = nullptr;
    bytes_.clear();
}

// ---- UnitInterface plumbing ------------------------------------------------------

int32_t UnitSetPropertyOp(LiveUnit* unit, int32_t k, const UnitPropertyValue* value)
{
    if (!unit || !value) return 0;
    return static_cast<Unit*>(unit)->SetProperty(k, *value);
}

int32_t UnitGetPropertyOp(LiveUnit* unit, int32_t k, UnitPropertyValue* out)
{
    if (!unit || !out) return 0;
    *out = {};
    return static_cast<Unit*>(unit)->GetProperty(k, *out) ? 1 : 0;
}

bool UnitGetDataOp(LiveUnit* unit, std::vector<uint8_t>* out)
{
    if (!unit || !out) return false;
    *out = static_cast<Unit*>(unit)->CurrentData();
    return true;
}

UnitOperation CommonUnitOperation(int32_t code, UnitCreateFn create)
{
    switch (code) {
    case kUnitOpCreate:
        return reinterpret_cast<UnitOperation>(create);
    case kUnitOpSetProperty:
        return reinterpret_cast<UnitOperation>(&UnitSetPropertyOp);
    case kUnitOpGetData:
        return reinterpret_cast<UnitOperation>(&UnitGetDataOp);
    case kUnitOpGetProperty:
        return reinterpret_cast<UnitOperation>(&UnitGetPropertyOp);
    default:
        return nullptr;
    }
}
