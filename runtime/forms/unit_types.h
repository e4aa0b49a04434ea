// What the runtime knows about a unit type: the support libraries' descriptor
// tables, the UnitInterface through which the loader and the property
// services reach a type's operations, and the lookup by UnitTypeId.
#pragma once

#include "runtime/forms/form_block.h"

#include <cstdint>
#include <vector>

// A live unit made by a type's create operation. Units own themselves: a unit
// deletes itself once its window is gone, and tells the runtime first through
// the destruction notice (SystemNotify 2000), which clears the record's slots.
class LiveUnit {
public:
    // The unit's window (HWND), or null when it has none.
    virtual void* Handle() const = 0;

protected:
    ~LiveUnit() = default;
};

// ---- UnitInterface ---------------------------------------------------------------

// A type's operations, looked up by code. The entry returns null for a code
// the type does not serve.
using UnitOperation = void (*)();
using UnitInterfaceFn = UnitOperation (*)(int32_t code);

constexpr int32_t kUnitOpCreate = 1;
constexpr int32_t kUnitOpSetProperty = 4;
constexpr int32_t kUnitOpGetData = 5;
constexpr int32_t kUnitOpGetProperty = 6;
constexpr int32_t kUnitOp7 = 7;
constexpr int32_t kUnitOp8 = 8;
constexpr int32_t kUnitOpEnumTexts = 9;
constexpr int32_t kUnitOpIsDefaultButton = 10;

// Code 1. Fourteen arguments: unit-type data and its length (null/0: the
// type's defaults), style bits chosen by the loader, parent HWND (window
// unit: the owner or null), control identifier (0 for the window unit), HMENU
// (window unit only), left, top, width, height, WindowId, UnitId, two words
// passed as 0 (the last one is the HTML viewer's preview flag). Returns the
// new unit or null on failure.
using UnitCreateFn = LiveUnit* (*)(const uint8_t* data, uint32_t size, uint32_t style, void* parent,
                                   uint32_t controlId, void* menu, int32_t left, int32_t top, int32_t width,
                                   int32_t height, WindowId windowId, UnitId unitId, uint32_t reserved1,
                                   uint32_t preview);

// A property value as it crosses the set and get operations (own index k =
// property index - 8). Numbers and logicals in `low` (64-bit values in
// low/high); texts, byte sets, fonts and addresses in `pointer` (borrowed)
// with their byte length in `size`.
struct UnitPropertyValue {
    uint32_t low = 0;
    uint32_t high = 0;
    const void* pointer = nullptr;
    uint32_t size = 0;
};

// Code 4: returns 1 when the unit must be re-created for the change to show.
using UnitSetPropertyFn = int32_t (*)(LiveUnit* unit, int32_t k, const UnitPropertyValue* value);
// Code 6: returns 1 when k is known. Pointer results stay owned by the unit
// and are valid until its next property change.
using UnitGetPropertyFn = int32_t (*)(LiveUnit* unit, int32_t k, UnitPropertyValue* out);
// Code 5: the current unit-type data of a live unit, in the newest version.
using UnitGetDataFn = bool (*)(LiveUnit* unit, std::vector<uint8_t>* out);

template <typename Fn>
Fn GetUnitOperation(UnitInterfaceFn entry, int32_t code)
{
    return entry ? reinterpret_cast<Fn>(entry(code)) : nullptr;
}

// ---- descriptors -------------------------------------------------------------------

// Property type codes (low 16 bits of PropertyDescriptor::type).
constexpr uint32_t kPropInt = 1001;
constexpr uint32_t kPropBool = 1003;
constexpr uint32_t kPropText = 1005;
constexpr uint32_t kPropChoice = 1006;
constexpr uint32_t kPropPicture = 1009;
constexpr uint32_t kPropMousePointer = 1011;
constexpr uint32_t kPropFont = 1013;
constexpr uint32_t kPropUrl = 1016;
constexpr uint32_t kPropColor = 1000;

struct PropertyDescriptor {
    const char* name;         // GBK
    const char* englishName;
    const char* description;
    uint32_t type;            // low 16 bits: type code 1000..1024; upper bits flags
    uint32_t reserved;
};

// Type flags.
constexpr uint32_t kTypeRaisesEvents = 0x00000004;
constexpr uint32_t kTypeWindowUnit = 0x00000040;
constexpr uint32_t kTypePagedContainer = 0x00000100;
constexpr uint32_t kTypeAlwaysHidden = 0x00008000;

// Fourteen words, one per type number; a type number without a type is all 0.
struct UnitTypeDescriptor {
    const char* name;         // GBK display name
    const char* englishName;
    const char* description;
    uint32_t unused3;
    uint32_t unused4;
    uint32_t flags;
    uint32_t unused6;
    uint32_t unused7;
    uint32_t unused8;
    uint32_t propertyCount;
    const PropertyDescriptor* properties;
    UnitInterfaceFn unitInterface;  // null for types without windows
    uint32_t unused12;
    uint32_t unused13;

    bool CanRaiseEvents() const { return (flags & (kTypeWindowUnit | kTypeRaisesEvents)) != 0; }
};

constexpr uint32_t kLibraryFormatMarker = 20000101;

struct LibraryDescriptor {
    uint32_t formatMarker;  // kLibraryFormatMarker
    const char* identifier; // 32 hexadecimal characters, identity only
    uint32_t majorVersion;
    uint32_t minorVersion;
    const char* displayName;  // GBK
    uint32_t unitTypeCount;
    const UnitTypeDescriptor* unitTypes;  // unitTypeCount entries, type number k at [k-1]
    uint32_t commandCount;
    const void* commands;
    intptr_t (*notify)(int32_t code, uintptr_t arg1, uintptr_t arg2);
};

// ---- the program's libraries -----------------------------------------------------

// The three libraries of this program: 1 core, 2 special functions (no unit
// types), 3 HTML viewer. Their unit type tables start with every interface
// null; the unit modules plug theirs in at start-up.
const LibraryDescriptor* const* ProgramLibraries();
uint32_t ProgramLibraryCount();

// Replaces the library table FindUnitType consults (tests use libraries of
// their own). Null restores the program's libraries.
void SetUnitLibraries(const LibraryDescriptor* const* libraries, uint32_t count);

// Installs a unit type's interface entry in the program's own tables; false
// when the type id names no type there.
bool SetUnitInterface(UnitTypeId type, UnitInterfaceFn entry);

// SystemNotify 1002. Null unless the id is a library type id (non-zero, and
// -0x40000000 <= (int32) id < 0x40000000) with library 1..count and type
// 1..that library's type count, and the slot holds a type (non-null name).
const UnitTypeDescriptor* FindUnitType(UnitTypeId id);
