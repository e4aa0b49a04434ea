// The stored form description (FormBlock): every window of the program with
// its units, read once at start-up into WindowRecords and written back by the
// build's form compiler and by tests.
//
// Byte format (little-endian, nothing aligned):
//   u32 T = 8 * W; W window identifiers; W record slots (stored values are
//   meaningless); then W window records:
//     u32 word1, u32 word2, counted text, counted text, u32 unit count U,
//     u32 unit list length B, B bytes of unit list:
//       U unit identifiers, U entry offsets (from the end of the offset
//       table), entries of (u32 n, n bytes of unit record).
//   A unit record: u32 type, u32 event source link, 16 reserved bytes, name
//   and second name as inline (NUL-terminated) texts; then either the menu
//   item part (two words, flags, inline caption, handler, rest) or the fixed
//   part (object slot, left, top, width, height, cursor slot, parent, child
//   count, children), counted mouse-pointer data, inline tag, reserved word,
//   state flags, tab order, binding count, (i32 event, u32 handler) pairs, 20
//   reserved bytes and the unit-type data (the rest of the record).
//
// Event handlers. A stored handler word is an offset from the program's code
// base, or 0xFFFFFFFF for none. Our compiled routines are C++ functions, so
// ProgramHeader::codeBase is the address of the program's table of subroutine
// addresses; after fix-up a handler is code base + offset, i.e. the address of
// one entry of that table (offset = index * the table's entry size, 4 on the
// shipped i686 build), and 0 means no handler. Callers read the routine's
// address out of that entry.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using WindowId = uint32_t;
using UnitId = uint32_t;
using UnitTypeId = uint32_t;  // (library number << 16) | type number, both from 1

class LiveUnit;

// ---- identifiers ---------------------------------------------------------------

// A window or unit identifier is valid with non-zero low 24 bits and non-zero
// bits 24..27.
constexpr bool IsValidFormId(uint32_t id) { return (id & 0x00FFFFFFu) != 0 && (id & 0x0F000000u) != 0; }

// Bits 28..31 of a UnitId.
enum class UnitKind : uint32_t { WindowUnit = 0, Ordinary = 1, MenuItem = 2 };
constexpr uint32_t UnitKindOf(UnitId id) { return id >> 28; }

constexpr UnitTypeId MakeUnitTypeId(uint32_t library, uint32_t type) { return (library << 16) | type; }
constexpr uint32_t LibraryNumberOf(UnitTypeId t) { return t >> 16; }
constexpr uint32_t TypeNumberOf(UnitTypeId t) { return t & 0xFFFFu; }

constexpr UnitTypeId kUnitTypeWindow = 0x00010001;
constexpr UnitTypeId kUnitTypeMenuItem = 0x00010003;
constexpr UnitTypeId kUnitTypeEditBox = 0x00010005;
constexpr UnitTypeId kUnitTypePicBox = 0x00010006;
constexpr UnitTypeId kUnitTypeLabel = 0x0001000A;
constexpr UnitTypeId kUnitTypeButton = 0x0001000B;
constexpr UnitTypeId kUnitTypeHtmlViewer = 0x00030001;

// State flags of a unit record.
constexpr uint32_t kUnitVisible = 0x1;
constexpr uint32_t kUnitDisabled = 0x2;
constexpr uint32_t kUnitTabStop = 0x4;

// Menu flags of a menu item record.
constexpr uint32_t kMenuHidden = 0x1;
constexpr uint32_t kMenuDisabled = 0x2;
constexpr uint32_t kMenuChecked = 0x4;

constexpr uint32_t kNoHandlerWord = 0xFFFFFFFFu;

// ---- records -------------------------------------------------------------------

struct EventBinding {
    int32_t event = 0;
    uint32_t stored = kNoHandlerWord;  // the word as stored: code-base offset or 0xFFFFFFFF
    uintptr_t handler = 0;             // after fix-up: 0 = none, else code base + stored
};

// The part of a menu item record after its two names.
struct MenuItemPart {
    uint32_t words[2] = {0, 0};  // carried, not interpreted
    uint32_t flags = 0;          // kMenuHidden | kMenuDisabled | kMenuChecked
    std::string caption;
    uint32_t storedHandler = kNoHandlerWord;
    uintptr_t handler = 0;       // after fix-up, as EventBinding::handler
    std::vector<uint8_t> rest;   // read by the menu builder
};

// One entry of a unit list, decoded. The object and cursor slots are the live
// state filled while the window is loaded; everything else is stored data.
struct UnitRecord {
    UnitId id = 0;
    UnitTypeId type = 0;
    UnitId link = 0;  // event source link: 0 = none
    std::array<uint8_t, 16> reserved{};
    std::string name;
    std::string secondName;

    // Ordinary units and the window unit.
    int32_t left = 0, top = 0, width = 0, height = 0;
    UnitId parent = 0;             // 0 = the window's client area
    std::vector<UnitId> children;  // paged containers: pages separated by 0
    std::vector<uint8_t> pointerData;
    std::string tag;
    uint32_t reservedWord = 0;
    uint32_t flags = 0;  // kUnitVisible | kUnitDisabled | kUnitTabStop
    uint32_t tabOrder = 0;
    std::vector<EventBinding> bindings;
    std::array<uint8_t, 20> reservedTail{};
    std::vector<uint8_t> unitData;  // empty: the type's defaults

    // Menu items (type kUnitTypeMenuItem) use this instead of the fields above.
    MenuItemPart menu;

    // Live slots.
    LiveUnit* object = nullptr;  // borrowed: a live unit owns itself
    void* cursor = nullptr;      // HCURSOR made from pointerData, or null
    bool cursorOwned = false;    // true when `cursor` must be destroyed

    bool IsMenuItem() const { return type == kUnitTypeMenuItem; }
    // First bound handler for `event` (0 when unbound or bound to none).
    uintptr_t FindHandler(int32_t event) const;
};

struct UnitList {
    std::vector<UnitRecord> units;  // entry 0 is the window's own unit

    // Compares with entry 0 first, then searches in stored order; -1 if absent.
    int FindIndex(UnitId id) const;
    UnitRecord* Find(UnitId id);
    const UnitRecord* Find(UnitId id) const;
    // First and one-past-last index of the run of menu items; equal if none.
    std::pair<size_t, size_t> MenuRun() const;
};

// Live state of a loaded window, kept with its record.
struct WindowLiveState {
    void* accelerators = nullptr;  // HACCEL, owned
    void* menu = nullptr;          // HMENU, owned until given to the window
    bool loaded = false;
    bool modal = false;
    // Windows disabled by a modal load, with their previous enabled state,
    // re-enabled when the modal window closes.
    std::vector<std::pair<void*, bool>> disabledByModal;
};

struct WindowRecord {
    WindowId id = 0;
    uint32_t word1 = 0, word2 = 0;  // carried, not interpreted
    std::string text1, text2;       // carried, not interpreted
    UnitList units;
    // The list as it stood before the current load; present from a load to
    // the destruction of its window, when it becomes `units` again.
    std::unique_ptr<UnitList> restoreCopy;
    WindowLiveState live;
};

// The registry of the program's windows, in window table order.
struct WindowSet {
    std::vector<std::unique_ptr<WindowRecord>> windows;

    WindowRecord* Find(WindowId id);
    const WindowRecord* Find(WindowId id) const;
};

// ---- reading and writing ---------------------------------------------------

// Decodes a FormBlock (size 0: no windows). False, with `out` left empty, when
// any field reaches past its enclosing length or a count cannot fit the bytes
// left. Handlers are not fixed up.
bool ReadFormBlock(const uint8_t* data, size_t size, WindowSet* out);

// Replaces every stored handler word v by codeBase + v, 0xFFFFFFFF by 0.
void FixUpHandlers(WindowSet* set, uintptr_t codeBase);

// Encodes one unit record (without its leading length word) and a whole
// block. Handlers are written as stored; live slots as 0.
std::vector<uint8_t> WriteUnitRecord(const UnitRecord& unit);
std::vector<uint8_t> WriteUnitList(const UnitList& list);
std::vector<uint8_t> WriteFormBlock(const WindowSet& set);
