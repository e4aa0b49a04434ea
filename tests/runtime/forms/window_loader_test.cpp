// Window loading with unit types of the test's own: each create records what
// it was asked and makes a plain window, so the loader's order, identifiers,
// styles, parents, Z-order, visibility and events can be checked.
#include "runtime/core/services.h"
#include "runtime/core/window_part.h"
#include "runtime/forms/form_block.h"
#include "runtime/forms/mouse_pointer.h"
#include "runtime/forms/unit_types.h"
#include "runtime/forms/window_loader.h"
#include "runtime/forms/window_set.h"

#include "sl_app_form.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

struct CreateCall {
    UnitId unit;
    uint32_t style;
    HWND parent;
    uint32_t controlId;
    uint32_t dataSize;
    int32_t left, top, width, height;
    WindowId window;
    bool modal;
};

std::vector<CreateCall> gCalls;
std::vector<std::pair<WindowId, int32_t>> gEvents;
UnitId gFailUnit = 0;      // create of this unit returns null
int gCloseOnEvent = -1;    // the window is destroyed when this event is raised

class TestUnit final : public LiveUnit {
public:
    TestUnit(WindowId w, UnitId u) : windowId(w), unitId(u) {}
    void* Handle() const override { return hwnd; }
    HWND hwnd = nullptr;
    WindowId windowId;
    UnitId unitId;
};

LRESULT CALLBACK TestWindowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp)
{
    auto* unit = reinterpret_cast<TestUnit*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (msg == WM_DESTROY && unit) {
        SystemNotify(2000, unit->windowId, unit->unitId);
    } else if (msg == WM_NCDESTROY && unit) {
        SetWindowLongPtrW(h, GWLP_USERDATA, 0);
        delete unit;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

const wchar_t kClass[] = L"SlFormsTestUnit";

LiveUnit* CreateTestUnit(const uint8_t*, uint32_t size, uint32_t style, void* parent, uint32_t controlId, void*,
                         int32_t left, int32_t top, int32_t width, int32_t height, WindowId windowId, UnitId unitId,
                         uint32_t, uint32_t)
{
    gCalls.push_back({unitId, style, static_cast<HWND>(parent), controlId, size, left, top, width, height, windowId,
                      LoadingModalWindow()});
    if (unitId == gFailUnit) return nullptr;
    auto* unit = new TestUnit(windowId, unitId);
    const bool top_level = UnitKindOf(unitId) == 0;
    DWORD ws = top_level ? WS_OVERLAPPEDWINDOW : (WS_CHILD | WS_CLIPSIBLINGS | (style & kStyleDisabled));
    unit->hwnd = CreateWindowExW(0, kClass, L"", ws, left, top, width, height, static_cast<HWND>(parent),
                                 top_level ? nullptr : reinterpret_cast<HMENU>(uintptr_t(controlId)),
                                 GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(unit->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(unit));
    return unit;
}

UnitOperation TestInterface(int32_t code)
{
    return code == kUnitOpCreate ? reinterpret_cast<UnitOperation>(&CreateTestUnit) : nullptr;
}

int64_t TestNotify(int32_t code, uintptr_t a1, uintptr_t a2)
{
    if (code == 2008) {
        const uint32_t* record = reinterpret_cast<const uint32_t*>(a1);
        gEvents.push_back({record[0], int32_t(record[2])});
        if (int32_t(record[2]) == gCloseOnEvent) {
            if (UnitRecord* w = FindUnitRecord(record[0], 0); w && w->object) {
                DestroyWindow(static_cast<HWND>(w->object->Handle()));
            }
        }
        return 0;
    }
    int64_t result = 0;
    FormsNotify(code, a1, a2, &result);
    return result;
}

// A test library: window (1), paged container (2), always hidden (4), no
// interface (5), plain (6). Number 3 stays free: it is the menu item's.
UnitTypeDescriptor gTypes[6] = {
    {"w", "W", nullptr, 0, 0, kTypeWindowUnit, 0, 0, 0, 0, nullptr, &TestInterface, 0, 0},
    {"c", "C", nullptr, 0, 0, kTypeWindowUnit | kTypePagedContainer, 0, 0, 0, 0, nullptr, &TestInterface, 0, 0},
    {},
    {"h", "H", nullptr, 0, 0, kTypeWindowUnit | kTypeAlwaysHidden, 0, 0, 0, 0, nullptr, &TestInterface, 0, 0},
    {"n", "N", nullptr, 0, 0, kTypeWindowUnit, 0, 0, 0, 0, nullptr, nullptr, 0, 0},
    {"p", "P", nullptr, 0, 0, kTypeWindowUnit, 0, 0, 0, 0, nullptr, &TestInterface, 0, 0},
};
const LibraryDescriptor gLib = {kLibraryFormatMarker, "0", 1, 0, "t", 6, gTypes, 0, nullptr, nullptr};
const LibraryDescriptor* const gLibs[] = {&gLib};

constexpr UnitTypeId kW = 0x00010001, kC = 0x00010002, kH = 0x00010004, kN = 0x00010005, kP = 0x00010006;

UnitRecord Unit(UnitId id, UnitTypeId type, uint32_t flags, UnitId parent = 0)
{
    UnitRecord u;
    u.id = id;
    u.type = type;
    u.flags = flags;
    u.parent = parent;
    u.left = 10;
    u.top = 20;
    u.width = 30;
    u.height = 40;
    return u;
}

class WindowLoader : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &TestWindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kClass;
        RegisterClassW(&wc);
        static WindowPartEntries entries{};
        FillFormsWindowPartEntries(&entries);
        entries.notify = &TestNotify;
        RegisterWindowPart(&entries);
    }
    void SetUp() override
    {
        gCalls.clear();
        gEvents.clear();
        gFailUnit = 0;
        gCloseOnEvent = -1;
        ReleaseWindowDescriptions();
    }
    void TearDown() override
    {
        for (auto& w : ProgramWindowSet()->windows) {
            if (!w->units.units.empty() && w->units.units[0].object) {
                DestroyWindow(static_cast<HWND>(w->units.units[0].object->Handle()));
            }
        }
        SetUnitLibraries(nullptr, 0);
        ReleaseWindowDescriptions();
        EXPECT_EQ(LoadingDepth(), 0);
    }
    // Installs one window made of `units` in the registry, through the bytes.
    WindowRecord* Install(std::vector<UnitRecord> units, WindowId id = 0x52010001)
    {
        WindowSet set;
        auto w = std::make_unique<WindowRecord>();
        w->id = id;
        w->units.units = std::move(units);
        set.windows.push_back(std::move(w));
        std::vector<uint8_t> bytes = WriteFormBlock(set);
        EXPECT_TRUE(ReadProgramFormBlock(bytes.data(), uint32_t(bytes.size()), nullptr));
        SetUnitLibraries(gLibs, 1);
        return FindWindowRecord(id);
    }
    static HWND H(const UnitRecord& u) { return u.object ? static_cast<HWND>(u.object->Handle()) : nullptr; }
};

TEST_F(WindowLoader, AppWindowUnitsAreCreatedInReverseOrderWithControlIds)
{
    SL_SKIP_UNLESS_96_DPI();
    ASSERT_TRUE(ReadProgramFormBlock(kMainWindowForm, kMainWindowFormSize, nullptr));
    for (UnitTypeId t : {kUnitTypeWindow, kUnitTypeLabel, kUnitTypePicBox, kUnitTypeEditBox, kUnitTypeButton,
                         kUnitTypeHtmlViewer}) {
        ASSERT_TRUE(SetUnitInterface(t, &TestInterface));
    }
    ASSERT_TRUE(LoadWindowById(0x52010001));
    struct {
        UnitId unit;
        uint32_t controlId;
        uint32_t style;
    } expect[] = {
        {0x06010000, 0, 0},
        {0x16011EE1, 100, kStyleTabStop},  // button
        {0x16011EE4, 110, kStyleTabStop},  // HTML viewer
        {0x16011EE6, 120, 0},              // label 1
        {0x16011EE7, 130, kStyleTabStop},  // edit box
        {0x16011F16, 140, 0},              // picture box
        {0x16011F52, 150, 0},              // label "标签2"
    };
    ASSERT_EQ(gCalls.size(), 7u);
    HWND window = H(FindWindowRecord(0x52010001)->units.units[0]);
    for (size_t k = 0; k < 7; ++k) {
        EXPECT_EQ(gCalls[k].unit, expect[k].unit) << k;
        EXPECT_EQ(gCalls[k].controlId, expect[k].controlId) << k;
        EXPECT_EQ(gCalls[k].style, expect[k].style) << k;
        EXPECT_EQ(gCalls[k].window, 0x52010001u);
        EXPECT_EQ(gCalls[k].parent, k == 0 ? nullptr : window) << k;
    }
    EXPECT_EQ(gCalls[0].dataSize, 0u);  // the window stores no data
    EXPECT_EQ(gCalls[1].left, 328);
    EXPECT_EQ(gCalls[1].width, 72);
    // Shown: everything but the HTML viewer, and the window itself.
    const UnitList& list = FindWindowRecord(0x52010001)->units;
    for (const UnitRecord& u : list.units) {
        EXPECT_EQ(IsWindowVisible(H(u)) != FALSE, u.id != 0x16011EE4) << std::hex << u.id;
    }
    EXPECT_EQ(gEvents, (std::vector<std::pair<WindowId, int32_t>>{{0x52010001, 0}, {0x52010001, 3}, {0x52010001, 4}}));
    EXPECT_TRUE(AnyLoadedWindowAlive());
    uint32_t ids[2] = {};
    EXPECT_EQ(LoadedWindowIds(ids, 2), 1u);
    EXPECT_EQ(ids[0], 0x52010001u);
    // Stored mouse pointer 0: no cursor.
    EXPECT_EQ(list.units[1].cursor, nullptr);

    for (UnitTypeId t : {kUnitTypeWindow, kUnitTypeLabel, kUnitTypePicBox, kUnitTypeEditBox, kUnitTypeButton,
                         kUnitTypeHtmlViewer}) {
        SetUnitInterface(t, nullptr);
    }
}

TEST_F(WindowLoader, ParentsPagesZOrderStylesAndCursors)
{
    UnitRecord container = Unit(0x16000001, kC, kUnitVisible);
    container.children = {0x16000003, 0, 0x16000004};
    UnitRecord onFirstPage = Unit(0x16000003, kP, kUnitVisible, 0x16000001);
    UnitRecord onSecondPage = Unit(0x16000004, kP, kUnitVisible | kUnitDisabled, 0x16000001);
    onSecondPage.pointerData = {2, 0, 0, 0};  // cross
    UnitRecord hidden = Unit(0x16000005, kH, kUnitVisible | kUnitDisabled | kUnitTabStop);
    UnitRecord sibling = Unit(0x16000006, kP, kUnitVisible);
    container.tabOrder = hidden.tabOrder = 2;
    sibling.tabOrder = 1;
    WindowRecord* r = Install({Unit(0x06010000, kW, kUnitVisible), container, onFirstPage, onSecondPage, hidden,
                               sibling});
    ASSERT_TRUE(LoadWindow(r, false, false, nullptr));
    const auto& u = r->units.units;
    HWND window = H(u[0]);
    EXPECT_EQ(GetParent(H(u[2])), H(u[1]));
    EXPECT_EQ(GetParent(H(u[3])), H(u[1]));
    EXPECT_EQ(GetParent(H(u[5])), window);
    EXPECT_TRUE(IsWindowVisible(H(u[2])));
    EXPECT_FALSE(IsWindowVisible(H(u[3])));  // after the page separator
    EXPECT_FALSE(IsWindowVisible(H(u[4])));  // its type is always hidden
    // Style bits: disabled only where the type allows it.
    EXPECT_EQ(gCalls[2].unit, 0x16000005u);
    EXPECT_EQ(gCalls[2].style, kStyleTabStop);
    EXPECT_EQ(gCalls[3].unit, 0x16000004u);
    EXPECT_EQ(gCalls[3].style, kStyleDisabled);
    // Siblings stack in tab order, equal ones in stored order: sibling,
    // container, hidden. Navigation steps into the container.
    EXPECT_EQ(GetWindow(window, GW_CHILD), H(u[5]));
    EXPECT_EQ(GetWindow(H(u[5]), GW_HWNDNEXT), H(u[1]));
    EXPECT_EQ(GetWindow(H(u[1]), GW_HWNDNEXT), H(u[4]));
    EXPECT_EQ(GetWindow(H(u[1]), GW_CHILD), H(u[2]));
    EXPECT_TRUE(GetWindowLongPtrW(H(u[1]), GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
    EXPECT_FALSE(GetWindowLongPtrW(H(u[5]), GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
    EXPECT_EQ(u[3].cursor, LoadCursorW(nullptr, IDC_CROSS));
    EXPECT_FALSE(u[3].cursorOwned);
}

TEST_F(WindowLoader, OpenWindowIsRestoredNotCreatedAgain)
{
    WindowRecord* r = Install({Unit(0x06010000, kW, kUnitVisible), Unit(0x16000001, kP, kUnitVisible)});
    ASSERT_TRUE(LoadWindow(r, false, false, nullptr));
    HWND window = H(r->units.units[0]);
    ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(window));
    ASSERT_TRUE(LoadWindow(r, false, false, nullptr));
    EXPECT_EQ(gCalls.size(), 2u);
    EXPECT_FALSE(IsIconic(window));
    EXPECT_EQ(H(r->units.units[0]), window);
}

TEST_F(WindowLoader, ClosingGivesBackTheListAsItWasBeforeTheLoad)
{
    SL_SKIP_UNLESS_96_DPI();
    WindowRecord* r = Install({Unit(0x06010000, kW, kUnitVisible), Unit(0x16000001, kP, kUnitVisible)});
    ASSERT_TRUE(LoadWindow(r, false, false, nullptr));
    r->units.units[1].left = 999;  // a change made while the window is open
    DestroyWindow(H(r->units.units[0]));
    EXPECT_FALSE(r->restoreCopy);
    EXPECT_FALSE(AnyLoadedWindowAlive());
    for (const UnitRecord& u : r->units.units) EXPECT_EQ(u.object, nullptr);
    EXPECT_EQ(r->units.units[1].left, 10);
    ASSERT_TRUE(LoadWindow(r, false, false, nullptr));  // and loads again from it
    EXPECT_EQ(gCalls.size(), 4u);
    EXPECT_EQ(gCalls[3].left, 10);
}

TEST_F(WindowLoader, FailuresLeaveNoWindowAndTheStoredList)
{
    struct Case {
        const char* what;
        UnitTypeId secondType;
        UnitId failUnit;
        void* owner;
    } cases[] = {
        {"unknown unit type", 0x00010009, 0, nullptr},
        {"type without interface", kN, 0, nullptr},
        {"unit create fails", kP, 0x16000002, nullptr},
        {"window create fails", kP, 0x06010000, nullptr},
        {"owner is no window", kP, 0, reinterpret_cast<void*>(uintptr_t(0x12345678))},
    };
    for (const Case& c : cases) {
        SetUp();
        WindowRecord* r = Install({Unit(0x06010000, kW, kUnitVisible), Unit(0x16000001, kP, kUnitVisible),
                                   Unit(0x16000002, c.secondType, kUnitVisible)});
        gFailUnit = c.failUnit;
        EXPECT_FALSE(LoadWindow(r, false, false, c.owner)) << c.what;
        EXPECT_FALSE(r->restoreCopy) << c.what;
        for (const UnitRecord& u : r->units.units) EXPECT_EQ(u.object, nullptr) << c.what;
        EXPECT_FALSE(AnyLoadedWindowAlive()) << c.what;
        EXPECT_EQ(LoadingDepth(), 0) << c.what;
        EXPECT_TRUE(gEvents.empty()) << c.what;
        EXPECT_FALSE(LoadWindowById(0x52019999));
        TearDown();
    }
}

TEST_F(WindowLoader, WindowClosedByItsLoadEventStopsTheLoadCleanly)
{
    WindowRecord* r = Install({Unit(0x06010000, kW, kUnitVisible), Unit(0x16000001, kP, kUnitVisible)});
    gCloseOnEvent = 0;
    EXPECT_TRUE(LoadWindow(r, false, false, nullptr));
    EXPECT_EQ(gEvents.size(), 1u);  // 3 and 4 need the window
    EXPECT_FALSE(AnyLoadedWindowAlive());
    EXPECT_EQ(r->units.units[0].object, nullptr);
}

TEST_F(WindowLoader, ModalLoadIgnoresTheOwnerAndDisablesOtherLoadedWindows)
{
    WindowSet set;
    for (WindowId id : {0x52010001u, 0x52010002u}) {
        auto w = std::make_unique<WindowRecord>();
        w->id = id;
        w->units.units = {Unit(0x06010000, kW, kUnitVisible)};
        set.windows.push_back(std::move(w));
    }
    std::vector<uint8_t> bytes = WriteFormBlock(set);
    ASSERT_TRUE(ReadProgramFormBlock(bytes.data(), uint32_t(bytes.size()), nullptr));
    SetUnitLibraries(gLibs, 1);
    WindowRecord* first = FindWindowRecord(0x52010001);
    WindowRecord* second = FindWindowRecord(0x52010002);
    ASSERT_TRUE(LoadWindow(first, false, false, nullptr));
    HWND firstWindow = H(first->units.units[0]);
    ASSERT_TRUE(LoadWindow(second, false, true, reinterpret_cast<void*>(uintptr_t(0x12345678))));
    EXPECT_TRUE(gCalls.back().modal);
    EXPECT_EQ(gCalls.back().parent, nullptr);
    EXPECT_TRUE(second->live.modal);
    EXPECT_FALSE(IsWindowEnabled(firstWindow));
    ASSERT_EQ(second->live.disabledByModal.size(), 1u);
    EXPECT_EQ(second->live.disabledByModal[0].first, firstWindow);
    EXPECT_TRUE(second->live.disabledByModal[0].second);
    EXPECT_FALSE(LoadingModalWindow());
    // Destroyed without its close: the first window is usable again.
    DestroyWindow(H(second->units.units[0]));
    EXPECT_TRUE(IsWindowEnabled(firstWindow));
}

}  // namespace

namespace {

void Put32(std::vector<uint8_t>& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& b, uint16_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

// A 32 x 32 monochrome cursor file with its hot spot at (1, 2).
std::vector<uint8_t> CursorFile()
{
    std::vector<uint8_t> b;
    Put16(b, 0);
    Put16(b, 2);
    Put16(b, 1);
    b.insert(b.end(), {32, 32, 0, 0});
    Put16(b, 1);
    Put16(b, 2);
    Put32(b, 40 + 8 + 256);
    Put32(b, 22);
    Put32(b, 40);
    Put32(b, 32);
    Put32(b, 64);
    Put16(b, 1);
    Put16(b, 1);
    for (int k = 0; k < 6; ++k) Put32(b, 0);
    Put32(b, 0);           // black
    Put32(b, 0x00FFFFFF);  // white
    for (int k = 0; k < 128; ++k) b.push_back(k & 1 ? 0xF0 : 0x0F);  // colour bits
    for (int k = 0; k < 128; ++k) b.push_back(0);                    // mask: all opaque
    return b;
}

TEST(UnitCursor, CursorFileDataMakesAnOwnedCursorAndDamagedDataNone)
{
    const std::vector<uint8_t> file = CursorFile();
    bool owned = false;
    HCURSOR c = static_cast<HCURSOR>(MakeUnitCursor(file.data(), file.size(), &owned));
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(owned);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(c, &info));
    EXPECT_EQ(info.xHotspot, 1u);
    EXPECT_EQ(info.yHotspot, 2u);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    DestroyCursor(c);

    std::vector<uint8_t> marked = {0xFF, 0xFF, 0xFF, 0xFF};
    marked.insert(marked.end(), file.begin(), file.end());
    c = static_cast<HCURSOR>(MakeUnitCursor(marked.data(), marked.size(), &owned));
    EXPECT_NE(c, nullptr);
    EXPECT_TRUE(owned);
    DestroyCursor(c);

    struct Damage {
        const char* what;
        size_t at;
        uint8_t value;
        size_t cut;  // bytes taken off the end
    } damages[] = {
        {"cut inside the mask", 0, 0, 1},       {"cut inside the header", 0, 0, 300},
        {"image offset past the end", 18, 0xF0, 0}, {"image size past the end", 15, 0x10, 0},
        {"width 0", 26, 0, 0},                   {"huge width", 29, 0x40, 0},
        {"bit count 3", 36, 3, 0},               {"not a cursor file", 2, 1, 0},
    };
    for (const Damage& d : damages) {
        std::vector<uint8_t> b = file;
        if (d.cut) {
            b.resize(b.size() - d.cut);
        } else {
            b[d.at] = d.value;
        }
        std::vector<uint8_t> withMarker = {0xFF, 0xFF, 0xFF, 0xFF};
        withMarker.insert(withMarker.end(), b.begin(), b.end());
        EXPECT_EQ(CursorFromFileBytes(b.data(), b.size()), nullptr) << d.what;
        EXPECT_EQ(MakeUnitCursor(withMarker.data(), withMarker.size(), &owned), nullptr) << d.what;
    }
    // Standard pointers are shared, never owned.
    const uint8_t wait[4] = {4, 0, 0, 0};
    EXPECT_EQ(MakeUnitCursor(wait, 4, &owned), LoadCursorW(nullptr, IDC_WAIT));
    EXPECT_FALSE(owned);
    const uint8_t hand[4] = {14, 0, 0, 0};
    EXPECT_NE(MakeUnitCursor(hand, 4, &owned), nullptr);
    EXPECT_FALSE(owned);
}

}  // namespace
