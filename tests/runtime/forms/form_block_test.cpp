#include "runtime/forms/form_block.h"
#include "runtime/forms/window_set.h"

#include <gtest/gtest.h>

namespace {

UnitRecord MakeUnit(UnitId id, UnitTypeId type, const std::string& name)
{
    UnitRecord u;
    u.id = id;
    u.type = type;
    u.name = name;
    return u;
}

// Two windows covering every field: children with a page separator, pointer
// data, tag, bindings with and without handlers, unit data, a menu run.
WindowSet SampleSet()
{
    WindowSet set;
    auto w = std::make_unique<WindowRecord>();
    w->id = 0x52010001;
    w->word1 = 0x02635568;
    w->word2 = 0x19011EE2;
    w->text1 = "t1";
    UnitRecord win = MakeUnit(0x06010000, kUnitTypeWindow, "");
    win.left = 50;
    win.top = -7;
    win.width = 415;
    win.height = 127;
    win.flags = kUnitVisible;
    win.pointerData = {0, 0, 0, 0};
    UnitRecord menu = MakeUnit(0x26010001, kUnitTypeMenuItem, "\xB2\xCB\xB5\xA5" "1");
    menu.menu.flags = kMenuChecked;
    menu.menu.caption = "File";
    menu.menu.storedHandler = 12;
    menu.menu.rest = {9, 8, 7};
    UnitRecord button = MakeUnit(0x16011EE1, kUnitTypeButton, "\xB0\xB4\xC5\xA5" "1");
    button.link = 0x16011EE2;
    button.secondName = "second";
    button.children = {0x16000001, 0, 0x16000002};
    button.tag = "tag text";
    button.reservedWord = 5;
    button.flags = kUnitVisible | kUnitTabStop;
    button.tabOrder = 3;
    button.bindings = {{0, 0, 0}, {-1, kNoHandlerWord, 0}, {7, 0x40, 0}};
    button.unitData = {1, 0, 0, 0, 0xAA};
    button.reserved[3] = 0x11;
    button.reservedTail[19] = 0x22;
    w->units.units = {win, menu, button};
    set.windows.push_back(std::move(w));

    auto w2 = std::make_unique<WindowRecord>();
    w2->id = 0x52010002;
    w2->text2 = "x";
    w2->units.units = {MakeUnit(0x06010000, kUnitTypeWindow, "")};
    set.windows.push_back(std::move(w2));
    return set;
}

void ExpectSameUnit(const UnitRecord& a, const UnitRecord& b)
{
    EXPECT_EQ(a.id, b.id);
    EXPECT_EQ(a.type, b.type);
    EXPECT_EQ(a.link, b.link);
    EXPECT_EQ(a.reserved, b.reserved);
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.secondName, b.secondName);
    EXPECT_EQ(a.IsMenuItem(), b.IsMenuItem());
    if (a.IsMenuItem()) {
        EXPECT_EQ(a.menu.flags, b.menu.flags);
        EXPECT_EQ(a.menu.caption, b.menu.caption);
        EXPECT_EQ(a.menu.storedHandler, b.menu.storedHandler);
        EXPECT_EQ(a.menu.rest, b.menu.rest);
        return;
    }
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(a.top, b.top);
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.parent, b.parent);
    EXPECT_EQ(a.children, b.children);
    EXPECT_EQ(a.pointerData, b.pointerData);
    EXPECT_EQ(a.tag, b.tag);
    EXPECT_EQ(a.reservedWord, b.reservedWord);
    EXPECT_EQ(a.flags, b.flags);
    EXPECT_EQ(a.tabOrder, b.tabOrder);
    ASSERT_EQ(a.bindings.size(), b.bindings.size());
    for (size_t k = 0; k < a.bindings.size(); ++k) {
        EXPECT_EQ(a.bindings[k].event, b.bindings[k].event);
        EXPECT_EQ(a.bindings[k].stored, b.bindings[k].stored);
    }
    EXPECT_EQ(a.reservedTail, b.reservedTail);
    EXPECT_EQ(a.unitData, b.unitData);
}

TEST(FormBlock, WriteThenReadGivesTheSameRecordsAndBytes)
{
    WindowSet original = SampleSet();
    std::vector<uint8_t> bytes = WriteFormBlock(original);
    WindowSet read;
    ASSERT_TRUE(ReadFormBlock(bytes.data(), bytes.size(), &read));
    ASSERT_EQ(read.windows.size(), 2u);
    for (size_t w = 0; w < 2; ++w) {
        const WindowRecord& a = *original.windows[w];
        const WindowRecord& b = *read.windows[w];
        EXPECT_EQ(a.id, b.id);
        EXPECT_EQ(a.word1, b.word1);
        EXPECT_EQ(a.word2, b.word2);
        EXPECT_EQ(a.text1, b.text1);
        EXPECT_EQ(a.text2, b.text2);
        ASSERT_EQ(a.units.units.size(), b.units.units.size());
        for (size_t k = 0; k < a.units.units.size(); ++k) ExpectSameUnit(a.units.units[k], b.units.units[k]);
    }
    EXPECT_EQ(WriteFormBlock(read), bytes);
}

TEST(FormBlock, EmptyBlockMeansNoWindows)
{
    WindowSet set = SampleSet();
    EXPECT_TRUE(ReadFormBlock(nullptr, 0, &set));
    EXPECT_TRUE(set.windows.empty());
    EXPECT_TRUE(WriteFormBlock(set).empty());
}

TEST(FormBlock, EveryCutOffBlockFailsAndLeavesNothing)
{
    std::vector<uint8_t> bytes = WriteFormBlock(SampleSet());
    for (size_t n = 1; n < bytes.size(); ++n) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + n);  // exact size: ASan sees overreads
        WindowSet set = SampleSet();
        EXPECT_FALSE(ReadFormBlock(cut.data(), cut.size(), &set)) << "length " << n;
        EXPECT_TRUE(set.windows.empty());
    }
}

// Offsets into the first window of a block of one window holding one unit.
struct Layout {
    size_t unitCount = 28, listLength = 32, list = 36;
};

std::vector<uint8_t> OneUnitBlock()
{
    WindowSet set;
    auto w = std::make_unique<WindowRecord>();
    w->id = 0x52010001;
    UnitRecord u = MakeUnit(0x06010000, kUnitTypeWindow, "");
    u.children = {1, 2};
    u.bindings = {{0, 4, 0}};
    w->units.units = {u};
    set.windows.push_back(std::move(w));
    return WriteFormBlock(set);
}

void Put(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

TEST(FormBlock, DamagedCountsAndOffsetsFailCleanly)
{
    const Layout L;
    // Record starts at list + 8 (id, offset) + 4 (length word); its fixed
    // part follows 24 bytes and two empty names.
    const size_t record = L.list + 12;
    const size_t childCount = record + 26 + 28;
    struct Case {
        const char* what;
        size_t at;
        uint32_t value;
    } cases[] = {
        {"window table longer than the block", 0, 0x7FFFFFF8},
        {"unit count beyond the list", L.unitCount, 0x10000000},
        {"unit count whose table overflows 32 bits", L.unitCount, 0x20000001},
        {"list length beyond the block", L.listLength, 0xFFFFFFF0},
        {"entry offset beyond the list", L.list + 4, 0x1000},
        {"entry offset near 2^32", L.list + 4, 0xFFFFFFFE},
        {"record length beyond the list", L.list + 8, 0x7FFFFFFF},
        {"child count beyond the record", childCount, 0x40000000},
        {"binding count beyond the record", childCount + 4 + 8 + 4 + 1 + 12, 0x20000000},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> b = OneUnitBlock();
        WindowSet probe;
        ASSERT_TRUE(ReadFormBlock(b.data(), b.size(), &probe));
        Put(b, c.at, c.value);
        WindowSet set;
        EXPECT_FALSE(ReadFormBlock(b.data(), b.size(), &set)) << c.what;
        EXPECT_TRUE(set.windows.empty()) << c.what;
    }
}

TEST(FormBlock, NameWithoutTerminatorFails)
{
    std::vector<uint8_t> b = OneUnitBlock();
    const size_t record = Layout().list + 12;
    // Replace the two NULs of the empty names and everything after by 'A'.
    for (size_t k = record + 24; k < b.size(); ++k) b[k] = 'A';
    WindowSet set;
    EXPECT_FALSE(ReadFormBlock(b.data(), b.size(), &set));
}

TEST(FormBlock, HandlerFixUpAddsTheCodeBaseAndMapsNoneToZero)
{
    WindowSet set = SampleSet();
    const uintptr_t base = 0x00401000;
    FixUpHandlers(&set, base);
    const UnitList& list = set.windows[0]->units;
    const UnitRecord& button = list.units[2];
    struct {
        size_t index;
        int32_t event;
        uintptr_t handler;
    } expect[] = {{0, 0, base}, {1, -1, 0}, {2, 7, base + 0x40}};
    for (const auto& e : expect) {
        EXPECT_EQ(button.bindings[e.index].event, e.event);
        EXPECT_EQ(button.bindings[e.index].handler, e.handler);
    }
    EXPECT_EQ(button.FindHandler(7), base + 0x40);
    EXPECT_EQ(button.FindHandler(-1), 0u);
    EXPECT_EQ(button.FindHandler(3), 0u);
    EXPECT_EQ(list.units[1].menu.handler, base + 12);
}

TEST(FormBlock, UnitLookupTriesEntryZeroFirstThenStoredOrder)
{
    WindowSet set = SampleSet();
    UnitList& list = set.windows[0]->units;
    list.units.push_back(MakeUnit(0x16011EE1, kUnitTypeLabel, "dup"));
    EXPECT_EQ(list.FindIndex(0x06010000), 0);
    EXPECT_EQ(list.FindIndex(0x16011EE1), 2);  // the first of two equal ids
    EXPECT_EQ(list.FindIndex(0x16999999), -1);
    EXPECT_EQ(list.MenuRun(), (std::pair<size_t, size_t>{1, 2}));
    UnitList empty;
    EXPECT_EQ(empty.FindIndex(0), -1);
}

TEST(WindowSetRegistry, ReadsFixesUpAndFindsWindowsAndUnits)
{
    std::vector<uint8_t> bytes = WriteFormBlock(SampleSet());
    static const int table[4] = {};
    ASSERT_TRUE(ReadProgramFormBlock(bytes.data(), uint32_t(bytes.size()), table));
    EXPECT_EQ(ProgramWindowSet()->windows.size(), 2u);
    ASSERT_NE(FindWindowRecord(0x52010002), nullptr);
    EXPECT_EQ(FindWindowRecord(0x52010003), nullptr);
    UnitRecord* button = FindUnitRecord(0x52010001, 0x16011EE1);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->FindHandler(0), reinterpret_cast<uintptr_t>(table));
    EXPECT_EQ(FindUnitRecord(0x52010001, 0)->id, 0x06010000u);
    EXPECT_EQ(FindUnitRecord(0x52010009, 0), nullptr);

    bytes.resize(bytes.size() - 1);
    EXPECT_FALSE(ReadProgramFormBlock(bytes.data(), uint32_t(bytes.size()), table));
    EXPECT_TRUE(ProgramWindowSet()->windows.empty());
    ReleaseWindowDescriptions();
}

}  // namespace
