// Pictures on screen: the picture box's display modes and the window's
// background picture in each mode, read back from the window.
#include "runtime/forms/unit_properties.h"
#include "runtime/forms/window_unit.h"
#include "runtime/units/unit_data.h"
#include "tests/runtime/pictures/picture_files.h"
#include "tests/runtime/units/window_fixture.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

using namespace unit_test;
namespace pf = picture_files;

namespace {

constexpr UnitId kPicture = 0x16011EE3;
const COLORREF kRed = RGB(255, 0, 0), kGreen = RGB(0, 255, 0), kBlue = RGB(0, 0, 255), kWhite = RGB(255, 255, 255);

pf::Bytes QuadrantJpeg(int w, int h)
{
    return pf::Jpeg(w, h, [w, h](int x, int y) { return pf::Quadrants(x, y, w, h); });
}

pf::Bytes QuadrantBmp(int w, int h)
{
    return pf::Bmp(w, h, 24, [w, h](int x, int y) { return pf::Quadrants(x, y, w, h); });
}

class PictureTest : public ::testing::Test {
protected:
    void TearDown() override { UnloadTestWindow(); }

    HWND LoadPictureBox(uint32_t mode, const pf::Bytes& picture)
    {
        PictureBoxData data;
        data.displayMode = mode;
        data.picture = picture;
        EXPECT_TRUE(
            LoadTestWindow({kWindowUnitId, kUnitTypeWindow, 50, 50, 415, 127},
                           {{kPicture, kUnitTypePicBox, 8, 8, 16, 16, kUnitVisible, WritePictureBoxData(data)}}));
        return UnitWindow(kPicture);
    }
};

TEST_F(PictureTest, PictureBoxShowsTheSquarePictureByDisplayMode)
{
    SL_SKIP_UNLESS_96_DPI();
    struct Case {
        uint32_t mode;
        COLORREF topLeft, topRight, bottomLeft, bottomRight;
    };
    // 128 x 128 in 16 x 16: natural size shows only its top-left (red) corner;
    // stretched and fitted both scale it to the whole box.
    const Case cases[] = {
        {0, kRed, kRed, kRed, kRed}, {1, kRed, kGreen, kBlue, kWhite}, {2, kRed, kGreen, kBlue, kWhite}};
    const pf::Bytes jpeg = QuadrantJpeg(128, 128);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        HWND box = LoadPictureBox(c.mode, jpeg);
        ASSERT_NE(box, nullptr);
        ClientPixels p(box);
        ASSERT_EQ(p.Width(), 16);
        EXPECT_TRUE(Near(p.At(3, 3), c.topLeft, 48));
        EXPECT_TRUE(Near(p.At(12, 3), c.topRight, 48));
        EXPECT_TRUE(Near(p.At(3, 12), c.bottomLeft, 48));
        EXPECT_TRUE(Near(p.At(12, 12), c.bottomRight, 48));
        UnloadTestWindow();
    }
}

TEST_F(PictureTest, FittedModeCentresAWidePictureOverTheBackground)
{
    SL_SKIP_UNLESS_96_DPI();
    HWND box = LoadPictureBox(2, QuadrantBmp(128, 64));
    ClientPixels p(box);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    // 128 x 64 scaled by 16/128 is 16 x 8, centred: rows 4..11.
    EXPECT_TRUE(Near(p.At(8, 1), face, 0));
    EXPECT_TRUE(Near(p.At(8, 14), face, 0));
    EXPECT_TRUE(Near(p.At(3, 5), kRed, 8));
    EXPECT_TRUE(Near(p.At(12, 10), kWhite, 8));
}

TEST_F(PictureTest, PictureBoxPictureReplacedThroughItsProperty)
{
    HWND box = LoadPictureBox(1, {});
    ClientPixels empty(box);
    EXPECT_TRUE(Near(empty.At(8, 8), GetSysColor(COLOR_BTNFACE), 0));
    WriteUnitProperty(kWindowId, kPicture, 8 + 2, -1, HeapBytes(QuadrantBmp(16, 16)), 0);
    ClientPixels shown(box);
    EXPECT_TRUE(Near(shown.At(2, 2), kRed, 8));
    EXPECT_TRUE(Near(shown.At(13, 13), kWhite, 8));
    // Bytes that are no picture: the background colour only, no error.
    WriteUnitProperty(kWindowId, kPicture, 8 + 1, -1, 0x0000FF00, 0);
    WriteUnitProperty(kWindowId, kPicture, 8 + 2, -1, HeapBytes({1, 2, 3, 4, 5, 6, 7, 8, 9}), 0);
    ClientPixels garbage(box);
    EXPECT_TRUE(Near(garbage.At(8, 8), kGreen, 0));
}

TEST_F(PictureTest, AnimatedPictureAdvancesItsFrames)
{
    const std::vector<pf::Rgba> palette = {{255, 0, 0}, {0, 255, 0}};
    std::vector<pf::GifFrame> frames(2);
    for (int i = 0; i < 2; ++i) {
        frames[i].width = frames[i].height = 8;
        frames[i].indices.assign(64, static_cast<uint8_t>(i));
        frames[i].delayCs = 3;
    }
    HWND box = LoadPictureBox(1, pf::Gif(8, 8, palette, frames, 0));
    bool sawRed = false, sawGreen = false;
    PumpUntil(
        [&] {
            ClientPixels p(box);
            sawRed = sawRed || Near(p.At(8, 8), kRed, 8);
            sawGreen = sawGreen || Near(p.At(8, 8), kGreen, 8);
            return sawRed && sawGreen;
        },
        5000);
    EXPECT_TRUE(sawRed);
    EXPECT_TRUE(sawGreen);
    // Stopping the animation through its property keeps one frame on screen.
    WriteUnitProperty(kWindowId, kPicture, 8 + 4, -1, 0, 0);
    ClientPixels first(box);
    Pump(150);
    ClientPixels later(box);
    EXPECT_EQ(first.At(8, 8), later.At(8, 8));
}

TEST_F(PictureTest, WindowBackgroundPictureInEachMode)
{
    ASSERT_TRUE(LoadTestWindow({kWindowUnitId, kUnitTypeWindow, 50, 50, 415, 127}, {}));
    HWND window = UnitWindow(0);
    const COLORREF magenta = RGB(255, 0, 255);
    WriteUnitProperty(kWindowId, 0, 8 + 2, -1, magenta, 0);
    WriteUnitProperty(kWindowId, 0, 8 + 3, -1, HeapBytes(QuadrantBmp(40, 30)), 0);
    RECT client;
    GetClientRect(window, &client);
    const int cw = client.right, ch = client.bottom;
    ASSERT_GT(cw, 100);
    ASSERT_GT(ch, 60);
    struct Probe {
        int x, y;
        COLORREF expected;
    };
    struct Case {
        uint32_t mode;
        std::vector<Probe> probes;
    };
    const int cx = (cw - 40) / 2, cy = (ch - 30) / 2;
    const Case cases[] = {
        {0, {{5, 5, kRed}, {35, 25, kWhite}, {45, 5, magenta}, {5, 35, magenta}}},
        {1, {{5, 5, kRed}, {45, 5, kRed}, {65, 5, kGreen}, {5, 35, kRed}, {65, 50, kWhite}}},
        {2, {{5, 5, magenta}, {cx + 5, cy + 5, kRed}, {cx + 35, cy + 25, kWhite}, {cw - 3, ch - 3, magenta}}},
        {3, {{5, 5, kRed}, {cw - 5, 5, kGreen}, {5, ch - 5, kBlue}, {cw - 5, ch - 5, kWhite}}},
    };
    const uint32_t decodes = WindowPictureDecodes();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        WriteUnitProperty(kWindowId, 0, 8 + 4, -1, c.mode, 0);
        ClientPixels p(window);
        for (const Probe& probe : c.probes)
            EXPECT_TRUE(Near(p.At(probe.x, probe.y), probe.expected, 8)) << probe.x << "," << probe.y;
    }
    EXPECT_LE(WindowPictureDecodes() - decodes, 1u) << "decoded once, not per paint";
    // The mode is clamped to 0..3.
    WriteUnitProperty(kWindowId, 0, 8 + 4, -1, 9, 0);
    EXPECT_EQ(ReadUnitProperty(kWindowId, 0, 8 + 4, -1), 3);
}

}  // namespace
