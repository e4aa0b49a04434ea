// The application's own window at the system's DPI: its stored 96-DPI layout
// scaled to the screen, read back by the program in stored units, and both
// labels' captions drawn whole. They hold at whatever DPI the machine has;
// CTest runs them once per DPI (96, 120, 144, 192), each in a Wine prefix at
// that DPI, and names it with --expect-dpi=N so that a prefix at another DPI
// cannot pass for it.
#include "runtime/forms/unit_properties.h"
#include "runtime/forms/window_set.h"
#include "runtime/units/property_rules.h"
#include "runtime/units/unit.h"
#include "sl_app_form.h"
#include "tests/runtime/units/window_fixture.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>

using namespace unit_test;

namespace {

constexpr UnitId kLabel2 = 0x16011F52;  // "软件仅供学习交流   BY：Mirvane"
constexpr UnitId kLabel1 = 0x16011EE6;  // "网址："
constexpr UnitId kHtmlViewer = 0x16011EE4;

// The DPI named on the command line, 0 when none is.
int32_t ExpectedDpi()
{
    const wchar_t* flag = wcsstr(GetCommandLineW(), L"--expect-dpi=");
    return flag ? _wtoi(flag + wcslen(L"--expect-dpi=")) : 0;
}

// The test's own rounding of stored * dpi / 96 (stored values here are >= 0).
int Scaled(int stored, int dpi) { return (stored * dpi + 48) / 96; }

// A window's rectangle in its parent's client coordinates (screen
// coordinates for the top-level window).
RECT PlacedRect(HWND hwnd)
{
    RECT r;
    GetWindowRect(hwnd, &r);
    if (HWND parent = (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD) ? GetParent(hwnd) : nullptr)
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

class DpiLayoutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(LoadFormBlock(kMainWindowForm, kMainWindowFormSize, kWindowId));
        // The test is DPI aware, as the program is (window_fixture.cpp).
        dpi_ = static_cast<int>(SystemDpi());
        // A prefix that is not at the DPI asked for would test 96 DPI again.
        if (const int32_t expected = ExpectedDpi()) ASSERT_EQ(dpi_, expected) << "the system is not at this run's DPI";
    }
    void TearDown() override { UnloadTestWindow(); }

    int dpi_ = 96;
};

TEST_F(DpiLayoutTest, WindowAndUnitsAreTheStoredLayoutScaled)
{
    HWND window = UnitWindow(0);
    ASSERT_NE(window, nullptr);
    RECT outer = PlacedRect(window);
    EXPECT_NEAR(outer.right - outer.left, Scaled(415, dpi_), 1);
    EXPECT_NEAR(outer.bottom - outer.top, Scaled(127, dpi_), 1);
    // Centred with its scaled size.
    EXPECT_NEAR(outer.left, (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2, 1);
    EXPECT_NEAR(outer.top, (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2, 1);
    // The program reads the stored size, and the position in stored units.
    EXPECT_EQ(ReadUnitProperty(kWindowId, 0, 2, -1), 415);
    EXPECT_EQ(ReadUnitProperty(kWindowId, 0, 3, -1), 127);
    EXPECT_NEAR(ReadUnitProperty(kWindowId, 0, 0, -1), outer.left * 96.0 / dpi_, 0.51);
    EXPECT_NEAR(ReadUnitProperty(kWindowId, 0, 1, -1), outer.top * 96.0 / dpi_, 0.51);

    const WindowRecord* record = FindWindowRecord(kWindowId);
    ASSERT_NE(record, nullptr);
    int checked = 0;
    for (size_t k = 1; k < record->units.units.size(); ++k) {
        const UnitRecord& u = record->units.units[k];
        SCOPED_TRACE(::testing::Message() << "unit " << std::hex << u.id << std::dec);
        HWND h = UnitWindow(u.id);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(IsWindowVisible(h) != FALSE, u.id != kHtmlViewer);
        RECT r = PlacedRect(h);
        EXPECT_NEAR(r.left, Scaled(u.left, dpi_), 1);
        EXPECT_NEAR(r.top, Scaled(u.top, dpi_), 1);
        EXPECT_NEAR(r.right - r.left, Scaled(u.width, dpi_), 1);
        EXPECT_NEAR(r.bottom - r.top, Scaled(u.height, dpi_), 1);
        const int32_t stored[] = {u.left, u.top, u.width, u.height};
        for (int32_t index = 0; index < 4; ++index)
            EXPECT_EQ(ReadUnitProperty(kWindowId, u.id, index, -1), stored[index]) << "property " << index;
        ++checked;
    }
    EXPECT_EQ(checked, 6);
}

TEST_F(DpiLayoutTest, WrittenPositionsAndSizesAreScaledAndReadBackAsWritten)
{
    struct Case {
        UnitId unit;
        int32_t index, value;
    };
    // Odd values, whose scaled pixels are rounded at every DPI but 96, and
    // one whose scaled pixels are cut to the coordinate limit above 96 DPI,
    // so that they no longer say which stored value they came from.
    const Case cases[] = {
        {kLabel2, 0, 101}, {kLabel2, 1, 53}, {kLabel2, 2, 201}, {kLabel2, 3, 33},
        {kLabel1, 2, 45},  {0, 2, 431},      {0, 3, 133},       {kLabel1, 0, 30000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.unit << std::dec << " property " << c.index);
        WriteUnitProperty(kWindowId, c.unit, c.index, -1, static_cast<uintptr_t>(c.value), 0);
        EXPECT_EQ(ReadUnitProperty(kWindowId, c.unit, c.index, -1), c.value);
        RECT r = PlacedRect(UnitWindow(c.unit));
        const LONG placed[] = {r.left, r.top, r.right - r.left, r.bottom - r.top};
        EXPECT_NEAR(placed[c.index], std::min(Scaled(c.value, dpi_), kMaxCoordinate), 1);
    }
}

// The rightmost column of the caption's ink must lie past the end of all but
// its last character and within the caption's measured extent: the whole
// caption is drawn, and it was not cut off at the label's edge.
TEST_F(DpiLayoutTest, LabelCaptionsAreDrawnWhole)
{
    for (UnitId id : {kLabel2, kLabel1}) {
        HWND label = UnitWindow(id);
        ASSERT_NE(label, nullptr);
        const std::wstring caption = WindowTextW(label);
        ASSERT_GE(caption.size(), 2u);
        SCOPED_TRACE(::testing::Message() << std::hex << id);

        HDC dc = GetDC(label);
        HGDIOBJ old = SelectObject(dc, DefaultGuiFont());
        SIZE whole{}, head{};
        GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &whole);
        GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size() - 1), &head);
        SelectObject(dc, old);
        ReleaseDC(label, dc);

        ClientPixels p(label);
        EXPECT_LE(whole.cx, p.Width()) << "the caption is wider than its label";
        int rightmost = -1;
        for (int x = p.Width(); x-- > 0;) {
            if (p.ColumnHasNot(x, GetSysColor(COLOR_BTNFACE))) {
                rightmost = x;
                break;
            }
        }
        EXPECT_GE(rightmost, head.cx) << "the last character is missing";
        EXPECT_LT(rightmost, whole.cx + 2);
        EXPECT_LT(rightmost, p.Width() - 1) << "ink up to the label's edge: cut off";
    }
}

}  // namespace
