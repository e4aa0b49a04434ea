#include "runtime/forms/mouse_pointer.h"
#include "runtime/forms/unit_types.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(UnitTypes, ProgramTypesHaveTheirNamesFlagsAndPropertyCounts)
{
    struct {
        UnitTypeId id;
        const char* english;
        uint32_t flags;
        uint32_t properties;
    } table[] = {
        {0x00010001, "window", 0x800000D0, 32},   {0x00010005, "EditBox", 0x80000040, 29},
        {0x00010006, "PicBox", 0x840100C0, 15},   {0x0001000A, "Label", 0x84012040, 29},
        {0x0001000B, "Button", 0x80000840, 14},   {0x00030001, "HtmlViewer", 0x00000040, 15},
        {0x00010030, "ComObject", 0, 0},          {0x00010031, "Variant", 0, 0},
    };
    for (const auto& t : table) {
        const UnitTypeDescriptor* d = FindUnitType(t.id);
        ASSERT_NE(d, nullptr) << std::hex << t.id;
        EXPECT_STREQ(d->englishName, t.english);
        EXPECT_EQ(d->flags, t.flags) << t.english;
        EXPECT_EQ(d->propertyCount, t.properties) << t.english;
        if (t.properties) {
            ASSERT_NE(d->properties, nullptr);
            EXPECT_EQ(d->properties[7].type & 0xFFFF, kPropMousePointer) << t.english;
        }
    }
    EXPECT_STREQ(FindUnitType(kUnitTypeButton)->name, "\xB0\xB4\xC5\xA5");
    // "地址" is property 11 of the HTML viewer, a web address.
    const PropertyDescriptor& url = FindUnitType(kUnitTypeHtmlViewer)->properties[11];
    EXPECT_STREQ(url.name, "\xB5\xD8\xD6\xB7");
    EXPECT_EQ(url.type, kPropUrl);
}

TEST(UnitTypes, IdsOutsideTheLibraryRangeFindNothing)
{
    const UnitTypeId none[] = {
        0,           // no type
        0x00010000,  // type number 0
        0x00010002,  // an empty slot of the core library
        0x00010032,  // past the core library's table
        0x00020001,  // the special functions library has no unit types
        0x00040001,  // no fourth library
        0x00030002,  // past the HTML viewer library's table
        0x40010001,  // at or above 0x40000000: a runtime value type
        0x80000301,  // TYPE_INT
        0xC0010001,  // below -0x40000000
    };
    for (UnitTypeId id : none) EXPECT_EQ(FindUnitType(id), nullptr) << std::hex << id;
}

UnitOperation NoOperation(int32_t) { return nullptr; }

TEST(UnitTypes, InterfacesPlugIntoTheProgramTablesAndTestLibrariesReplaceThem)
{
    EXPECT_TRUE(SetUnitInterface(kUnitTypeLabel, &NoOperation));
    EXPECT_EQ(FindUnitType(kUnitTypeLabel)->unitInterface, &NoOperation);
    EXPECT_FALSE(SetUnitInterface(0x00010002, &NoOperation));
    EXPECT_FALSE(SetUnitInterface(0x00050001, &NoOperation));
    EXPECT_TRUE(SetUnitInterface(kUnitTypeLabel, nullptr));

    static const UnitTypeDescriptor types[2] = {
        {"a", "A", nullptr, 0, 0, kTypeWindowUnit, 0, 0, 0, 0, nullptr, nullptr, 0, 0}, {}};
    static const LibraryDescriptor lib = {kLibraryFormatMarker, "0", 1, 0, "t", 2, types, 0, nullptr, nullptr};
    static const LibraryDescriptor* const libs[] = {&lib};
    SetUnitLibraries(libs, 1);
    EXPECT_EQ(FindUnitType(0x00010001), &types[0]);
    EXPECT_EQ(FindUnitType(0x00010002), nullptr);
    EXPECT_EQ(FindUnitType(0x00030001), nullptr);
    SetUnitLibraries(nullptr, 0);
    EXPECT_STREQ(FindUnitType(0x00010001)->englishName, "window");
}

// ---- mouse pointer rule ---------------------------------------------------------

TEST(MousePointer, DataSelectsNoneSystemOwnHandOrCursorBytes)
{
    using K = PointerChoice;
    struct Case {
        const char* what;
        std::vector<uint8_t> data;
        K::Kind kind;
        uint32_t cursor;
        bool tryWhole;
    } cases[] = {
        {"empty", {}, K::None, 0, false},
        {"stored zero word", {0, 0, 0, 0}, K::None, 0, false},
        {"index 1 in one byte", {1}, K::System, 32512, false},
        {"index 3 in two bytes (first byte only)", {3, 9}, K::System, 32513, false},
        {"index 13 as a word", {13, 0, 0, 0}, K::System, 32516, false},
        {"index 14 is the hand", {14, 0, 0, 0}, K::OwnHand, 0, false},
        {"cursor number given directly", {0x00, 0x7F, 0, 0}, K::System, 32512, false},
        {"a number that is no standard cursor", {0x02, 0x80, 0, 0}, K::None, 0, false},
        {"hand number given directly", {0x89, 0x7F, 0, 0}, K::OwnHand, 0, false},
        {"index 15 is no pointer", {15, 0, 0, 0}, K::None, 0, false},
        {"marker with 4 bytes only", {0xFF, 0xFF, 0xFF, 0xFF}, K::None, 0, false},
        {"marker then cursor bytes", {0xFF, 0xFF, 0xFF, 0xFF, 0}, K::FromData, 0, false},
        {"long data is tried as a cursor file", std::vector<uint8_t>(11, 0), K::None, 0, true},
        {"long data with a valid index", {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, K::System, 32515, true},
        {"ten bytes are not tried", std::vector<uint8_t>(10, 0), K::None, 0, false},
        {"long marker data is not tried whole", {0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4, 5, 6, 7}, K::FromData, 0, false},
    };
    for (const Case& c : cases) {
        PointerChoice p = ResolvePointerData(c.data.empty() ? nullptr : c.data.data(), c.data.size());
        EXPECT_EQ(p.kind, c.kind) << c.what;
        EXPECT_EQ(p.tryWholeData, c.tryWhole) << c.what;
        if (c.kind == K::System) {
            EXPECT_EQ(p.systemCursor, c.cursor) << c.what;
        }
        if (c.kind == K::FromData) {
            EXPECT_EQ(p.dataOffset, 4u) << c.what;
        }
    }
}

TEST(MousePointer, StandardTableRoundTrips)
{
    EXPECT_EQ(StandardPointerCursor(0), 0u);
    EXPECT_EQ(StandardPointerCursor(15), 0u);
    for (uint32_t k = 1; k < kStandardPointerCount; ++k) {
        EXPECT_EQ(StandardPointerIndex(StandardPointerCursor(k)), int32_t(k));
    }
    EXPECT_EQ(StandardPointerIndex(0), -1);
    EXPECT_EQ(StandardPointerIndex(12345), -1);
}

}  // namespace
