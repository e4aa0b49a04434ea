// Labels on a real window: caption layout, default look and colours.
#include "runtime/core/gbk_wide.h"
#include "runtime/units/unit.h"
#include "runtime/units/unit_data.h"
#include "tests/runtime/units/window_fixture.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

#include <vector>

using namespace unit_test;

namespace {

const std::string kCaption2 =
    "\xc8\xed\xbc\xfe\xbd\xf6\xb9\xa9\xd1\xa7\xcf\xb0\xbd\xbb\xc1\xf7\x20\x20\x20\x42\x59\xa3\xba"
    "\x4d\x69\x72\x76\x61\x6e\x65";  // 软件仅供学习交流   BY：Mirvane
constexpr UnitId kLabel = 0x16011EE1;

UnitSpec MainWindow() { return {kWindowUnitId, kUnitTypeWindow, 50, 50, 415, 127}; }

class LabelTest : public ::testing::Test {
protected:
    void TearDown() override { UnloadTestWindow(); }
};

COLORREF ButtonFace() { return GetSysColor(COLOR_BTNFACE); }

// Widest run of background columns strictly inside the drawn text.
int WidestInnerGap(const ClientPixels& p, COLORREF background)
{
    int first = -1, last = -1;
    for (int x = 0; x < p.Width(); ++x)
        if (p.ColumnHasNot(x, background)) {
            if (first < 0) first = x;
            last = x;
        }
    int widest = 0, run = 0;
    for (int x = first; x <= last && first >= 0; ++x) {
        run = p.ColumnHasNot(x, background) ? 0 : run + 1;
        if (run > widest) widest = run;
    }
    return widest;
}

TEST_F(LabelTest, ApplicationCaptionKeepsItsThreeSpacesOnOneCentredLine)
{
    SL_SKIP_UNLESS_96_DPI();
    LabelData data;
    data.caption = kCaption2;
    ASSERT_TRUE(
        LoadTestWindow(MainWindow(), {{kLabel, kUnitTypeLabel, 8, 40, 216, 32, kUnitVisible, WriteLabelData(data)}}));
    HWND label = UnitWindow(kLabel);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(WindowTextW(label), Wide(kCaption2));

    ClientPixels p(label);
    ASSERT_EQ(p.Width(), 216);
    ASSERT_EQ(p.Height(), 32);
    const int top = p.FirstRowNot(ButtonFace()), bottom = p.LastRowNot(ButtonFace());
    ASSERT_GE(top, 0) << "the caption is drawn";
    // One line of the default GUI font, vertically centred in 32 pixels.
    EXPECT_LT(bottom - top, 20);
    EXPECT_NEAR((top + bottom) / 2.0, 15.5, 3.0);
    // The three spaces before "BY" stay: the widest gap inside the text is at
    // least as wide as three spaces of the font.
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, DefaultGuiFont());
    SIZE spaces{};
    GetTextExtentPoint32W(dc, L"   ", 3, &spaces);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    EXPECT_GE(WidestInnerGap(p, ButtonFace()), spaces.cx - 2);
    // Left-aligned: ink starts within the first few columns.
    EXPECT_TRUE(p.ColumnHasNot(0, ButtonFace()) || p.ColumnHasNot(1, ButtonFace()) || p.ColumnHasNot(2, ButtonFace()));
}

// The default font (the one a label without font data draws with) must hold
// the caption's Chinese characters whatever the
// system's locale, or the window shows boxes.
TEST_F(LabelTest, DefaultFontDrawsChineseCaptions)
{
    LabelData data;
    data.caption = kCaption2;
    ASSERT_TRUE(
        LoadTestWindow(MainWindow(), {{kLabel, kUnitTypeLabel, 8, 40, 216, 32, kUnitVisible, WriteLabelData(data)}}));
    HWND label = UnitWindow(kLabel);
    ASSERT_NE(label, nullptr);
    std::wstring caption = Wide(kCaption2);
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, DefaultGuiFont());
    std::vector<WORD> glyphs(caption.size());
    DWORD n = GetGlyphIndicesW(dc, caption.c_str(), static_cast<int>(caption.size()), glyphs.data(),
                               GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    ASSERT_EQ(n, caption.size());
    for (size_t i = 0; i < glyphs.size(); ++i) EXPECT_NE(glyphs[i], 0xFFFF) << "character " << i << " has no glyph";
}

TEST_F(LabelTest, LabelWithoutDataShowsBiaoQianInBlackOnButtonFace)
{
    SL_SKIP_UNLESS_96_DPI();
    ASSERT_TRUE(LoadTestWindow(MainWindow(), {{kLabel, kUnitTypeLabel, 10, 10, 120, 30, kUnitVisible, {}}}));
    HWND label = UnitWindow(kLabel);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(WindowTextW(label), L"\u6807\u7b7e");  // 标签
    ClientPixels p(label);
    EXPECT_TRUE(Near(p.At(119, 0), ButtonFace(), 0));
    EXPECT_TRUE(Near(p.At(119, 29), ButtonFace(), 0));
    int darkest = 255 * 3;
    int rightmostInk = -1;
    for (int y = 0; y < p.Height(); ++y)
        for (int x = 0; x < p.Width(); ++x) {
            COLORREF c = p.At(x, y);
            int sum = GetRValue(c) + GetGValue(c) + GetBValue(c);
            if (sum < darkest) darkest = sum;
            if (!Near(c, ButtonFace(), 8) && x > rightmostInk) rightmostInk = x;
        }
    EXPECT_LT(darkest, 60) << "text colour black";
    EXPECT_GT(rightmostInk, 0);
    EXPECT_LT(rightmostInk, 60) << "left-aligned, two characters";
    const int top = p.FirstRowNot(ButtonFace()), bottom = p.LastRowNot(ButtonFace());
    EXPECT_NEAR((top + bottom) / 2.0, 14.5, 3.0);
}

TEST_F(LabelTest, ColoursAlignmentAndClampsThroughOwnProperties)
{
    SL_SKIP_UNLESS_96_DPI();
    LabelData data;
    data.caption = "W";
    data.backColor = 0x00FF0000;  // blue
    data.textColor = 0x000000FF;  // red
    data.hAlign = 2;
    ASSERT_TRUE(
        LoadTestWindow(MainWindow(), {{kLabel, kUnitTypeLabel, 10, 10, 100, 20, kUnitVisible, WriteLabelData(data)}}));
    HWND label = UnitWindow(kLabel);
    ClientPixels p(label);
    EXPECT_TRUE(Near(p.At(1, 1), RGB(0, 0, 255), 0));
    EXPECT_FALSE(p.ColumnHasNot(40, RGB(0, 0, 255))) << "right-aligned: the left part is empty";
    bool red = false;
    for (int x = 80; x < 100; ++x)
        for (int y = 0; y < 20; ++y) red = red || Near(p.At(x, y), RGB(255, 0, 0), 40);
    EXPECT_TRUE(red);
}

}  // namespace
