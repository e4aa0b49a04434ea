// The mouse-pointer rule: which cursor a unit's stored mouse-pointer data
// stands for. The decision is portable; making the cursor is Win32.
#pragma once

#include <cstddef>
#include <cstdint>

// Standard pointers by index 0..14 (0 = none); cursor 32649, the hand, is
// taken from the program's own cursor resource 1032.
constexpr uint32_t kStandardPointerCount = 15;
uint32_t StandardPointerCursor(uint32_t index);
// Index of a standard pointer cursor number, -1 if it is none of them.
int32_t StandardPointerIndex(uint32_t cursorNumber);

constexpr uint32_t kHandCursorNumber = 32649;
constexpr uint32_t kOwnHandCursorResource = 1032;

struct PointerChoice {
    enum Kind { None, System, OwnHand, FromData } kind = None;
    uint32_t systemCursor = 0;  // kind System: the IDC_ number
    size_t dataOffset = 0;      // kind FromData: cursor-file bytes start here
    // Before applying `kind`, try the whole data as cursor-file bytes.
    bool tryWholeData = false;
};

PointerChoice ResolvePointerData(const uint8_t* data, size_t length);

#ifdef _WIN32
// Makes the cursor for the data. *owned tells whether the caller must destroy
// it (system and resource cursors are shared). Null: no cursor.
void* MakeUnitCursor(const uint8_t* data, size_t length, bool* owned);
// Cursor from cursor-file (.cur) bytes, or null.
void* CursorFromFileBytes(const uint8_t* data, size_t length);
#endif
