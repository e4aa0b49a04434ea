// Loading real windows from FormBlocks written by the tests, pumping their
// messages the way the runtime's loop does, and reading their pixels back.
#pragma once

#include "runtime/forms/events.h"
#include "runtime/forms/form_block.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace unit_test {

constexpr WindowId kWindowId = 0x52010001;
constexpr UnitId kWindowUnitId = 0x06010000;

struct UnitSpec {
    UnitId id = 0;
    UnitTypeId type = 0;
    int32_t left = 0, top = 0, width = 0, height = 0;
    uint32_t flags = kUnitVisible;
    std::vector<uint8_t> data;
    // (event, index into the routine table)
    std::vector<std::pair<int32_t, int>> bindings;
    std::string name;
    UnitId link = 0;
    uint32_t tabOrder = 0;
};

// The program's table of subroutine addresses for the tests: bindings name
// an index into it.
constexpr int kRoutineCount = 16;
extern ProgramRoutine gRoutines[kRoutineCount];

// A FormBlock of one window (entry 0 from `window`, then `units`).
std::vector<uint8_t> BuildFormBlock(const UnitSpec& window, const std::vector<UnitSpec>& units);

// Registers the window part and reads the block as the program's form data
// without loading anything.
bool ReadTestForm(const UnitSpec& window, const std::vector<UnitSpec>& units);

// Registers the window part, reads the block as the program's form data and
// loads the window. False if the load failed.
bool LoadTestWindow(const UnitSpec& window, const std::vector<UnitSpec>& units);
// Reads a compiled FormBlock (the application's own, say) as the program's
// form data and loads window `id` from it. False if the load failed.
bool LoadFormBlock(const uint8_t* block, uint32_t size, WindowId id);
// Destroys whatever window is still open and empties the registry.
void UnloadTestWindow();

// The live window of a unit (0: the window), or null.
HWND UnitWindow(UnitId unit);

// Dispatches waiting messages through the input filter, as the loop does,
// for `ms` milliseconds (0: until the queue is empty).
void Pump(int ms = 0);
// Pumps until `done` or the time-out; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 3000);

// Pixels of a window's client area after it has painted: 0x00RRGGBB-free
// COLORREF values (0x00BBGGRR).
class ClientPixels {
public:
    explicit ClientPixels(HWND hwnd);
    COLORREF At(int x, int y) const;
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Rows and columns that hold a pixel differing from `background`.
    int FirstRowNot(COLORREF background) const;
    int LastRowNot(COLORREF background) const;
    bool ColumnHasNot(int x, COLORREF background) const;

private:
    int width_ = 0, height_ = 0;
    std::vector<uint32_t> pixels_;  // 0x00RRGGBB, top row first
};

bool Near(COLORREF a, COLORREF b, int tolerance = 24);

// Runtime values for WriteUnitProperty: a text or byte set on the heap.
uintptr_t HeapText(const std::string& gbk);
uintptr_t HeapBytes(const std::vector<uint8_t>& bytes);

// GBK of UTF-8 test literals is written as escapes; this turns GBK to wide text.
std::wstring Wide(const std::string& gbk);

}  // namespace unit_test
