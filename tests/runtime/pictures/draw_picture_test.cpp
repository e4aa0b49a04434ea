// Device bitmaps made from decoded pictures, drawn into a 32-bit memory
// surface and read back pixel by pixel.
#include "runtime/pictures/picture_draw.h"
#include "tests/runtime/pictures/picture_files.h"

#include <gtest/gtest.h>

using namespace picture_files;

namespace {

// A 32-bit top-down surface selected into a memory DC.
class Surface {
public:
    Surface(int width, int height) : width_(width), height_(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        HDC screen = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen);
        ReleaseDC(nullptr, screen);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
    }
    ~Surface() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC dc() const { return dc_; }
    void Fill(COLORREF colour) {
        HBRUSH brush = CreateSolidBrush(colour);
        RECT all{0, 0, width_, height_};
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
        GdiFlush();
    }
    // 0x00BBGGRR, like the colours the units use.
    COLORREF At(int x, int y) const {
        GdiFlush();
        uint32_t v = bits_[size_t(y) * size_t(width_) + size_t(x)];
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }

private:
    int width_, height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    uint32_t* bits_ = nullptr;
};

std::unique_ptr<Picture> Decode(const std::vector<uint8_t>& bytes) {
    return DecodePicture(bytes.data(), int64_t(bytes.size()));
}

COLORREF Ref(Rgba p) {
    return RGB(p.r, p.g, p.b);
}

struct DrawCase {
    const char* name;
    std::vector<uint8_t> bytes;
    int width, height;
    PixelFn pixel;
};

TEST(DrawPicture, EveryKindDrawsItsPixelsAtNaturalSize) {
    auto quad = [](int w, int h) { return PixelFn([w, h](int x, int y) { return Quadrants(x, y, w, h); }); };
    const std::vector<Rgba> palette = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 255}};
    auto indices = [&](int w, int h) {
        std::vector<uint8_t> out;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                Rgba p = Quadrants(x, y, w, h);
                out.push_back(uint8_t(p == palette[0] ? 0 : p == palette[1] ? 1 : p == palette[2] ? 2 : 3));
            }
        }
        return out;
    };
    auto checker = [](int x, int y) { return ((x + y) & 1) ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 0, 255}; };
    std::vector<uint8_t> bits;
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 19; ++x) {
            bits.push_back((x + y) & 1);
        }
    }
    const DrawCase cases[] = {
        {"bmp, odd row length", Bmp(33, 17, 24, quad(33, 17)), 33, 17, quad(33, 17)},
        {"png opaque", Png(20, 10, quad(20, 10)), 20, 10, quad(20, 10)},
        {"gif", Gif(30, 14, palette, {GifFrame{0, 0, 30, 14, indices(30, 14)}}), 30, 14, quad(30, 14)},
        {"pcx 8-bit", Pcx8(30, 14, indices(30, 14), palette), 30, 14, quad(30, 14)},
        {"pcx 1-bit", Pcx1(19, 9, bits), 19, 9, checker},
        {"icon", Icon(1, {{16, 16, 32, quad(16, 16)}}), 16, 16, quad(16, 16)},
    };
    for (const DrawCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto picture = Decode(c.bytes);
        ASSERT_NE(picture, nullptr);
        Surface surface(64, 64);
        surface.Fill(RGB(1, 2, 3));
        DrawablePicture drawable;
        ASSERT_EQ(MakeDrawable(surface.dc(), picture.get(), &drawable, RGB(9, 9, 9)), 1);
        EXPECT_EQ(drawable.width, c.width);
        EXPECT_EQ(drawable.height, c.height);
        // Colours a unit may have set must not tint a monochrome picture.
        SetTextColor(surface.dc(), RGB(200, 0, 0));
        SetBkColor(surface.dc(), RGB(0, 0, 200));
        DrawPicture(&drawable, 2, 3, -1, -1, SRCCOPY);
        EXPECT_EQ(GetTextColor(surface.dc()), RGB(200, 0, 0));
        int wrong = 0;
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                if (surface.At(2 + x, 3 + y) != Ref(c.pixel(x, y)) && wrong++ < 3) {
                    ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << surface.At(2 + x, 3 + y);
                }
            }
        }
        // Nothing outside the picture's rectangle.
        EXPECT_EQ(surface.At(1, 3), RGB(1, 2, 3));
        EXPECT_EQ(surface.At(2 + c.width, 3 + c.height), RGB(1, 2, 3));
        ReleaseDrawable(&drawable);
        EXPECT_EQ(drawable.bitmap, nullptr);
        EXPECT_EQ(drawable.icon, nullptr);
        EXPECT_EQ(drawable.kind, PictureKind::None);
    }
}

TEST(MakeDrawable, PngAlphaIsCompositedOverTheButtonFaceColour) {
    auto pixel = [](int x, int) {
        return x == 0 ? Rgba{10, 200, 30, 0} : x == 1 ? Rgba{10, 200, 30, 255} : Rgba{250, 0, 0, 128};
    };
    auto picture = Decode(Png(3, 1, pixel));
    ASSERT_NE(picture, nullptr);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    Surface surface(8, 8);
    DrawablePicture drawable;
    ASSERT_EQ(MakeDrawable(surface.dc(), picture.get(), &drawable, face), 1);
    DrawPicture(&drawable, 0, 0, -1, -1, SRCCOPY);
    EXPECT_EQ(surface.At(0, 0), face);
    EXPECT_EQ(surface.At(1, 0), RGB(10, 200, 30));
    EXPECT_EQ(surface.At(2, 0), RGB((128 * 250 + 127 * GetRValue(face)) / 255, (127 * GetGValue(face)) / 255,
                                    (127 * GetBValue(face)) / 255));
    ReleaseDrawable(&drawable);
}

TEST(DrawPicture, NegativeRasterOperationLeavesThatColourTransparent) {
    const Rgba magenta{255, 0, 255, 255}, red{255, 0, 0, 255};
    auto pixel = [&](int x, int y) { return (x >= 4 && x < 8 && y >= 4 && y < 8) ? red : magenta; };
    auto picture = Decode(Bmp(12, 12, 24, pixel));
    ASSERT_NE(picture, nullptr);
    Surface surface(32, 32);
    surface.Fill(RGB(0, 128, 0));
    DrawablePicture drawable;
    ASSERT_EQ(MakeDrawable(surface.dc(), picture.get(), &drawable, 0), 1);
    // Twice the natural size: the mask stretches with the picture.
    DrawPicture(&drawable, 0, 0, 24, 24, -int64_t(RGB(255, 0, 255)));
    EXPECT_EQ(surface.At(1, 1), RGB(0, 128, 0));
    EXPECT_EQ(surface.At(20, 20), RGB(0, 128, 0));
    EXPECT_EQ(surface.At(10, 10), RGB(255, 0, 0));
    EXPECT_EQ(surface.At(15, 15), RGB(255, 0, 0));
    EXPECT_EQ(surface.At(26, 26), RGB(0, 128, 0)); // outside
    ReleaseDrawable(&drawable);
}

TEST(DrawPicture, IconsKeepTheBackgroundWhereTheyAreTransparent) {
    auto pixel = [](int x, int y) { return x < 8 ? Rgba{0, 0, 0, 0} : Rgba{0, 0, 255, 255}; };
    auto picture = Decode(Icon(1, {{16, 16, 32, pixel}}));
    ASSERT_NE(picture, nullptr);
    Surface surface(40, 40);
    surface.Fill(RGB(200, 100, 50));
    DrawablePicture drawable;
    ASSERT_EQ(MakeDrawable(surface.dc(), picture.get(), &drawable, 0), 1);
    EXPECT_NE(drawable.icon, nullptr);
    EXPECT_EQ(drawable.bitmap, nullptr);
    DrawPicture(&drawable, 0, 0, 32, 32, SRCCOPY);
    EXPECT_EQ(surface.At(4, 4), RGB(200, 100, 50));
    EXPECT_EQ(surface.At(24, 24), RGB(0, 0, 255));
    EXPECT_EQ(surface.At(35, 35), RGB(200, 100, 50));
    ReleaseDrawable(&drawable);
}

TEST(DrawPicture, StretchesToTheGivenRectangle) {
    auto quad = [](int x, int y) { return Quadrants(x, y, 8, 8); };
    auto picture = Decode(Bmp(8, 8, 24, quad));
    ASSERT_NE(picture, nullptr);
    Surface surface(40, 40);
    surface.Fill(RGB(0, 0, 0));
    DrawablePicture drawable;
    ASSERT_EQ(MakeDrawable(surface.dc(), picture.get(), &drawable, 0), 1);
    DrawPicture(&drawable, 0, 0, 32, 16, SRCCOPY);
    EXPECT_EQ(surface.At(2, 2), RGB(255, 0, 0));
    EXPECT_EQ(surface.At(29, 2), RGB(0, 255, 0));
    EXPECT_EQ(surface.At(2, 13), RGB(0, 0, 255));
    EXPECT_EQ(surface.At(29, 13), RGB(255, 255, 255));
    EXPECT_EQ(surface.At(2, 18), RGB(0, 0, 0));
    ReleaseDrawable(&drawable);
}

TEST(MakeDrawable, GifFramesAreDrawnOneByOne) {
    const std::vector<Rgba> palette = {{255, 0, 0, 255}, {0, 0, 255, 255}};
    auto bytes =
        Gif(4, 4, palette,
            {GifFrame{0, 0, 4, 4, std::vector<uint8_t>(16, 0)}, GifFrame{0, 0, 4, 4, std::vector<uint8_t>(16, 1)}});
    auto picture = Decode(bytes);
    ASSERT_NE(picture, nullptr);
    Surface surface(8, 8);
    DrawablePicture drawable;
    for (size_t frame = 0; frame < 2; ++frame) {
        ASSERT_EQ(MakeDrawable(surface.dc(), picture.get(), &drawable, 0, frame), 1);
        DrawPicture(&drawable, 0, 0, -1, -1, SRCCOPY);
        EXPECT_EQ(surface.At(1, 1), frame == 0 ? RGB(255, 0, 0) : RGB(0, 0, 255));
    }
    ReleaseDrawable(&drawable);
    EXPECT_EQ(MakeDrawable(surface.dc(), picture.get(), &drawable, 0, 2), 0);
}

TEST(MakeDrawable, NoPictureGivesNothingToDraw) {
    Surface surface(4, 4);
    surface.Fill(RGB(7, 7, 7));
    DrawablePicture drawable;
    EXPECT_EQ(MakeDrawable(surface.dc(), nullptr, &drawable, 0), 0);
    Picture empty;
    EXPECT_EQ(MakeDrawable(surface.dc(), &empty, &drawable, 0), 0);
    EXPECT_EQ(MakeDrawable(surface.dc(), &empty, nullptr, 0), 0);
    DrawPicture(&drawable, 0, 0, -1, -1, SRCCOPY); // draws nothing, no fault
    DrawPicture(nullptr, 0, 0, -1, -1, SRCCOPY);
    ReleaseDrawable(&drawable);
    ReleaseDrawable(nullptr);
    EXPECT_EQ(surface.At(0, 0), RGB(7, 7, 7));
}

} // namespace
