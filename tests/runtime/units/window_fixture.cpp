#include "tests/runtime/units/window_fixture.h"

#include "runtime/core/heap.h"
#include "runtime/forms/input_filter.h"
#include "runtime/forms/unit_types.h"
#include "runtime/forms/window_loader.h"
#include "runtime/forms/window_set.h"
#include "runtime/core/gbk_wide.h"
#include "runtime/units/window_part_entries.h"

#include <ole2.h>

namespace unit_test {

ProgramRoutine gRoutines[kRoutineCount] = {};

namespace {

UnitRecord MakeRecord(const UnitSpec& s)
{
    UnitRecord r;
    r.id = s.id;
    r.type = s.type;
    r.link = s.link;
    r.name = s.name;
    r.left = s.left;
    r.top = s.top;
    r.width = s.width;
    r.height = s.height;
    r.pointerData = {0, 0, 0, 0};
    r.flags = s.flags;
    r.tabOrder = s.tabOrder;
    for (auto [event, routine] : s.bindings) {
        EventBinding b;
        b.event = event;
        b.stored = routine < 0 ? kNoHandlerWord : static_cast<uint32_t>(routine * sizeof(void*));
        r.bindings.push_back(b);
    }
    r.unitData = s.data;
    return r;
}

}  // namespace

std::vector<uint8_t> BuildFormBlock(const UnitSpec& window, const std::vector<UnitSpec>& units)
{
    WindowSet set;
    auto record = std::make_unique<WindowRecord>();
    record->id = kWindowId;
    record->units.units.push_back(MakeRecord(window));
    for (const UnitSpec& u : units) record->units.units.push_back(MakeRecord(u));
    set.windows.push_back(std::move(record));
    return WriteFormBlock(set);
}

namespace {

// DPI aware like the program (its manifest says so), before any window exists
// and before a test asks for the DPI: at a scaled display the windows are then
// laid out and measured in the screen's own pixels.
const bool kDpiAware = SetProcessDPIAware() != FALSE;

void StartWindowPart()
{
    static bool once = [] {
        OleInitialize(nullptr);
        RegisterWindowUnits();
        return true;
    }();
    (void)once;
}

}  // namespace

bool ReadTestForm(const UnitSpec& window, const std::vector<UnitSpec>& units)
{
    StartWindowPart();
    static std::vector<uint8_t> block;
    block = BuildFormBlock(window, units);
    return ReadProgramFormBlock(block.data(), static_cast<uint32_t>(block.size()), gRoutines);
}

bool LoadTestWindow(const UnitSpec& window, const std::vector<UnitSpec>& units)
{
    if (!ReadTestForm(window, units)) return false;
    bool ok = LoadWindowById(kWindowId);
    Pump();
    return ok;
}

bool LoadFormBlock(const uint8_t* block, uint32_t size, WindowId id)
{
    StartWindowPart();
    if (!ReadProgramFormBlock(block, size, gRoutines)) return false;
    bool ok = LoadWindowById(id);
    Pump();
    return ok;
}

void UnloadTestWindow()
{
    if (HWND h = UnitWindow(0)) DestroyWindow(h);
    Pump();
    ReleaseWindowDescriptions();
    for (auto& r : gRoutines) r = nullptr;
}

HWND UnitWindow(UnitId unit)
{
    const UnitRecord* r = FindUnitRecord(kWindowId, unit);
    if (!r || !r->object) return nullptr;
    HWND h = static_cast<HWND>(r->object->Handle());
    return IsWindow(h) ? h : nullptr;
}

void Pump(int ms)
{
    const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            if (InputEventFilter(&msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (ms > 0) Sleep(5);
    } while (ms > 0 && static_cast<int32_t>(end - GetTickCount()) > 0);
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    const DWORD end = GetTickCount() + static_cast<DWORD>(timeoutMs);
    while (!done()) {
        if (static_cast<int32_t>(end - GetTickCount()) <= 0) return false;
        Pump();
        Sleep(5);
    }
    return true;
}

ClientPixels::ClientPixels(HWND hwnd)
{
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pump();
    RECT r;
    GetClientRect(hwnd, &r);
    width_ = r.right;
    height_ = r.bottom;
    if (width_ <= 0 || height_ <= 0) return;
    HDC dc = GetDC(hwnd);
    HDC mem = CreateCompatibleDC(dc);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width_;
    bi.bmiHeader.biHeight = -height_;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, width_, height_, dc, 0, 0, SRCCOPY);
    GdiFlush();
    pixels_.assign(static_cast<uint32_t*>(bits), static_cast<uint32_t*>(bits) + width_ * height_);
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(hwnd, dc);
}

COLORREF ClientPixels::At(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
    uint32_t p = pixels_[static_cast<size_t>(y) * width_ + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

int ClientPixels::FirstRowNot(COLORREF background) const
{
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            if (!Near(At(x, y), background, 8)) return y;
    return -1;
}

int ClientPixels::LastRowNot(COLORREF background) const
{
    for (int y = height_; y-- > 0;)
        for (int x = 0; x < width_; ++x)
            if (!Near(At(x, y), background, 8)) return y;
    return -1;
}

bool ClientPixels::ColumnHasNot(int x, COLORREF background) const
{
    for (int y = 0; y < height_; ++y)
        if (!Near(At(x, y), background, 8)) return true;
    return false;
}

bool Near(COLORREF a, COLORREF b, int tolerance)
{
    auto d = [](int u, int v) { return u > v ? u - v : v - u; };
    return d(GetRValue(a), GetRValue(b)) <= tolerance && d(GetGValue(a), GetGValue(b)) <= tolerance &&
           d(GetBValue(a), GetBValue(b)) <= tolerance;
}

uintptr_t HeapText(const std::string& gbk) { return reinterpret_cast<uintptr_t>(CopyText(gbk.c_str())); }

uintptr_t HeapBytes(const std::vector<uint8_t>& bytes)
{
    return reinterpret_cast<uintptr_t>(CopyBytesAsByteSet(bytes.data(), static_cast<int64_t>(bytes.size())));
}

std::wstring Wide(const std::string& gbk) { return GbkToWide(gbk); }

}  // namespace unit_test
