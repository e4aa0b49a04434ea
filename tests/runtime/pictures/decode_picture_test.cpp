// Decoding every kind of picture into the pixel layout of its kind, and
// refusing what is not a picture.
#include "runtime/pictures/picture.h"
#include "tests/runtime/pictures/picture_files.h"
#include "tests/runtime/pictures/picture_pixels.h"
#include "tests/support/beside_program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>

#include <jpeglib.h>

using namespace picture_files;

namespace {

struct KindCase {
    const char* name;
    std::vector<uint8_t> bytes;
    PictureKind expected;
};

TEST(DetectPictureKind, FirstBytesDecideInTableOrder) {
    const std::vector<uint8_t> pad(8, 0x11);
    auto with = [&](std::vector<uint8_t> head) {
        head.resize(std::max<size_t>(head.size(), 8), 0x11);
        return head;
    };
    const KindCase cases[] = {
        {"jpeg", with({0xFF, 0xD8, 0xFF, 0xE0}), PictureKind::Jpeg},
        {"seven jpeg bytes", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J'}, PictureKind::None},
        {"BM and four bytes", {'B', 'M', 1, 2, 3, 4}, PictureKind::None},
        {"bmp", with({'B', 'M'}), PictureKind::Bmp},
        {"icon", with({0, 0, 1, 0, 1, 0}), PictureKind::Icon},
        {"icon with no image", with({0, 0, 1, 0, 0, 0}), PictureKind::None},
        {"cursor", with({0, 0, 2, 0, 3, 0}), PictureKind::Cursor},
        {"cursor with no image", with({0, 0, 2, 0, 0, 0}), PictureKind::None},
        {"resource type 3", with({0, 0, 3, 0, 1, 0}), PictureKind::None},
        {"gif87a", with({'G', 'I', 'F', '8', '7', 'a'}), PictureKind::Gif},
        {"gif89a", with({'G', 'I', 'F', '8', '9', 'a'}), PictureKind::Gif},
        {"gif88a", with({'G', 'I', 'F', '8', '8', 'a'}), PictureKind::None},
        {"gif89b", with({'G', 'I', 'F', '8', '9', 'b'}), PictureKind::None},
        {"pcx 8-bit v5", with({0x0A, 5, 1, 8}), PictureKind::Pcx8},
        {"pcx 8-bit v0", with({0x0A, 0, 1, 8}), PictureKind::Pcx8},
        {"pcx 8-bit v6", with({0x0A, 6, 1, 8}), PictureKind::None},
        {"pcx unencoded", with({0x0A, 5, 0, 8}), PictureKind::None},
        {"pcx 1-bit v3", with({0x0A, 3, 1, 1}), PictureKind::Pcx1},
        {"pcx 1-bit v5", with({0x0A, 5, 1, 1}), PictureKind::None},
        {"pcx 4-bit", with({0x0A, 3, 1, 4}), PictureKind::None},
        {"png", with({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}), PictureKind::Png},
        {"text", with({'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o'}), PictureKind::None},
        {"empty", {}, PictureKind::None},
    };
    for (const KindCase& c : cases) {
        EXPECT_EQ(DetectPictureKind(c.bytes.data(), int64_t(c.bytes.size())), c.expected) << c.name;
        if (c.expected == PictureKind::None) {
            EXPECT_EQ(DecodePicture(c.bytes.data(), int64_t(c.bytes.size())), nullptr) << c.name;
        }
    }
    EXPECT_EQ(DecodePicture(nullptr, 100), nullptr);
    EXPECT_EQ(DecodePicture(pad.data(), 0), nullptr);
    EXPECT_EQ(DecodePicture(pad.data(), -5), nullptr);
}

// A picture made from `pixel`, how it must come back, and how much may be cut
// from its end before it stops being a picture (padding, trailers that readers
// let pass).
struct FormatCase {
    const char* name;
    std::vector<uint8_t> bytes;
    PictureKind kind;
    int width, height;
    PixelFn pixel;
    int tolerance; // per channel; lossy coding only
    size_t cutTolerance;
};

Rgba Checker(int x, int y) {
    return ((x / 3 + y / 2) & 1) ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 0, 255};
}

Rgba Translucent(int x, int y) {
    return Rgba{uint8_t(x * 12), uint8_t(y * 20), 200, uint8_t((x * 13 + y * 7) % 256)};
}

Rgba Grey(int x, int y) {
    uint8_t v = x < 16 ? 40 : 210;
    return Rgba{v, v, v, 255};
}

// Flat colours in 8-bit table order for palette formats.
const std::vector<Rgba> kPalette = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 255}};

std::vector<uint8_t> QuadrantIndices(int w, int h) {
    std::vector<uint8_t> out;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            Rgba p = Quadrants(x, y, w, h);
            out.push_back(uint8_t(p == kPalette[0] ? 0 : p == kPalette[1] ? 1 : p == kPalette[2] ? 2 : 3));
        }
    }
    return out;
}

// 256 greys: eight of them share every 5-bit-a-channel box.
std::vector<Rgba> Greys256() {
    std::vector<Rgba> out;
    for (int i = 0; i < 256; ++i) {
        out.push_back(Rgba{uint8_t(i), uint8_t(i), uint8_t(i), 255});
    }
    return out;
}

std::vector<uint8_t> EveryIndex(int w, int h) {
    std::vector<uint8_t> out;
    for (int i = 0; i < w * h; ++i) {
        out.push_back(uint8_t(i));
    }
    return out;
}

// Samples of `depth` bits that differ in every channel and cover dark tones
// and 16-bit values whose low byte is on either side of 0x80 (rounding and
// truncation differ there); alpha is 0 on every seventh diagonal.
SampleFn Noise(int depth, int alphaChannel = -1) {
    return [depth, alphaChannel](int x, int y, int channel) {
        if (channel == alphaChannel && (x + y) % 7 == 0) {
            return uint16_t(0);
        }
        uint32_t h = uint32_t(x * 7919 + y * 104729 + channel * 1299709 + 17) * 2654435761u;
        return uint16_t(h >> (32 - depth));
    };
}

uint8_t Round16(uint16_t v) {
    return uint8_t((uint32_t(v) * 255 + 32767) / 65535);
}

// What a PNG of `format` stores at (x, y), as 8-bit samples: 16-bit samples
// rounded, lower depths scaled to 0 ... 255, no gamma applied, alpha as stored
// (a tRNS key or palette alpha included).
PixelFn StoredPixel(const PngFormat& format, const SampleFn& sample) {
    return [format, sample](int x, int y) {
        auto at = [&](int channel) {
            uint16_t v = sample(x, y, channel);
            return format.bitDepth == 16 ? Round16(v) : uint8_t(v * 255 / ((1 << format.bitDepth) - 1));
        };
        auto isKey = [&](size_t channels) {
            bool match = format.transparent.size() == channels;
            for (size_t c = 0; match && c < channels; ++c) {
                match = sample(x, y, int(c)) == format.transparent[c];
            }
            return match;
        };
        switch (format.colourType) {
        case 0:
            return Rgba{at(0), at(0), at(0), uint8_t(isKey(1) ? 0 : 255)};
        case 2:
            return Rgba{at(0), at(1), at(2), uint8_t(isKey(3) ? 0 : 255)};
        case 3:
            return format.palette[sample(x, y, 0)];
        case 4:
            return Rgba{at(0), at(0), at(0), at(1)};
        default:
            return Rgba{at(0), at(1), at(2), at(3)};
        }
    };
}

// A CMYK picture's colour as shown: each channel c * k / 255 (the samples are
// stored inverted, as Adobe's programs write them).
Cmyk CmykGradient(int x, int y) {
    return Cmyk{uint8_t(40 + x * 4), uint8_t(220 - y * 5), 150, uint8_t(255 - x - y)};
}

Rgba CmykShown(int x, int y) {
    Cmyk p = CmykGradient(x, y);
    return Rgba{uint8_t((p.c * p.k + 127) / 255), uint8_t((p.m * p.k + 127) / 255), uint8_t((p.y * p.k + 127) / 255),
                255};
}

FormatCase PngCase(const char* name, int w, int h, const PngFormat& format, const SampleFn& sample) {
    // The end chunk (12 bytes) may be missing; nothing else.
    return {name, PngSamples(w, h, format, sample), PictureKind::Png, w, h, StoredPixel(format, sample), 0, 12};
}

std::vector<FormatCase> FormatCases() {
    auto quad = [](int w, int h) { return PixelFn([w, h](int x, int y) { return Quadrants(x, y, w, h); }); };
    std::vector<uint8_t> bits;
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 21; ++x) {
            bits.push_back(Checker(x, y).r != 0);
        }
    }
    IconImage icon32{24, 20, 32, Translucent};
    IconImage icon24{16, 16, 24, [](int x, int y) { return x == y ? Rgba{0, 0, 0, 0} : Quadrants(x, y, 16, 16); }};
    IconImage iconPng{20, 12, 32, Translucent, true};
    IconImage cursor{32, 32, 32, quad(32, 32), false, 5, 7};
    GifFrame gifFrame{0, 0, 30, 14, QuadrantIndices(30, 14)};
    GifFrame interlaced{0, 0, 30, 19, QuadrantIndices(30, 19)};
    interlaced.interlace = true;
    GifFrame everyGrey{0, 0, 16, 16, EveryIndex(16, 16)};
    auto grey256 = [](int x, int y) { return Greys256()[size_t(y * 16 + x)]; };
    const double kSrgbGamma = 0.45455;
    const std::vector<Rgba> translucentPalette = {
        {255, 0, 0, 255}, {0, 255, 0, 128}, {0, 0, 255, 0}, {12, 34, 56, 255}, {200, 100, 50, 7}};
    auto paletteIndex = [](int x, int y, int) { return uint16_t((x + 2 * y) % 5); };
    // Every fourth pixel holds the tRNS key exactly.
    auto keyed = [](uint16_t key, SampleFn noise) {
        return SampleFn([key, noise](int x, int y, int channel) { return x % 4 == 0 ? key : noise(x, y, channel); });
    };
    return {
        {"jpeg", Jpeg(64, 48, quad(64, 48)), PictureKind::Jpeg, 64, 48, quad(64, 48), 12, 0},
        {"jpeg odd size", Jpeg(33, 17, quad(33, 17)), PictureKind::Jpeg, 33, 17, quad(33, 17), 40, 0},
        {"jpeg grey", Jpeg(32, 16, Grey, 95, true), PictureKind::Jpeg, 32, 16, Grey, 12, 0},
        {"jpeg progressive", Jpeg(40, 40, quad(40, 40), 95, false, true), PictureKind::Jpeg, 40, 40, quad(40, 40), 12,
         0},
        // A PNG whose image data is whole but whose end chunk is missing still shows.
        {"png rgba", Png(20, 12, Translucent), PictureKind::Png, 20, 12, Translucent, 0, 12},
        {"png rgb", Png(31, 7, quad(31, 7), false), PictureKind::Png, 31, 7, quad(31, 7), 0, 12},
        // Stored samples, whatever the depth, interlace or gamma chunk says.
        PngCase("png grey 16-bit interlaced", 19, 13, {0, 16, true}, Noise(16)),
        PngCase("png grey-alpha 16-bit interlaced", 19, 13, {4, 16, true}, Noise(16, 1)),
        PngCase("png rgb 16-bit interlaced", 19, 13, {2, 16, true}, Noise(16)),
        PngCase("png rgba 16-bit interlaced", 19, 13, {6, 16, true}, Noise(16, 3)),
        PngCase("png rgb 16-bit without gAMA", 19, 13, {2, 16}, Noise(16)),
        PngCase("png rgb 8-bit with linear gAMA", 19, 13, {2, 8, false, 1.0}, Noise(8)),
        PngCase("png rgba 16-bit with gAMA 0.7", 19, 13, {6, 16, false, 0.7}, Noise(16, 3)),
        PngCase("png grey 8-bit interlaced with sRGB gAMA", 19, 13, {0, 8, true, kSrgbGamma}, Noise(8)),
        PngCase("png grey 2-bit", 19, 13, {0, 2}, Noise(2)),
        PngCase("png palette 4-bit with alpha", 19, 13, {3, 4, false, 0, translucentPalette}, paletteIndex),
        PngCase("png grey 8-bit with tRNS key", 19, 13, {0, 8, false, 0, {}, {0x40}}, keyed(0x40, Noise(8))),
        PngCase("png rgb 16-bit with tRNS key", 19, 13, {2, 16, true, 0, {}, {0x1234, 0x1234, 0x1234}},
                keyed(0x1234, Noise(16))),
        {"jpeg cmyk", JpegCmyk(40, 30, CmykGradient), PictureKind::Jpeg, 40, 30, CmykShown, 12, 0},
        {"jpeg ycck", JpegCmyk(40, 30, CmykGradient, true), PictureKind::Jpeg, 40, 30, CmykShown, 12, 0},
        {"bmp 1-bit", Bmp(21, 9, 1, Checker), PictureKind::Bmp, 21, 9, Checker, 0, 3},
        {"bmp 4-bit", Bmp(13, 6, 4, quad(13, 6)), PictureKind::Bmp, 13, 6, quad(13, 6), 0, 3},
        {"bmp 8-bit", Bmp(30, 14, 8, quad(30, 14)), PictureKind::Bmp, 30, 14, quad(30, 14), 0, 3},
        {"bmp 16-bit", Bmp(5, 4, 16, quad(5, 4)), PictureKind::Bmp, 5, 4, quad(5, 4), 0, 3},
        {"bmp 24-bit", Bmp(33, 17, 24, quad(33, 17)), PictureKind::Bmp, 33, 17, quad(33, 17), 0, 3},
        {"bmp 24-bit top-down", Bmp(33, 17, 24, quad(33, 17), true), PictureKind::Bmp, 33, 17, quad(33, 17), 0, 3},
        {"bmp 32-bit", Bmp(9, 9, 32, quad(9, 9)), PictureKind::Bmp, 9, 9, quad(9, 9), 0, 0},
        {"bmp rle8", BmpRle8(30, 14, QuadrantIndices(30, 14), kPalette), PictureKind::Bmp, 30, 14, quad(30, 14), 0, 2},
        {"icon 32-bit", Icon(1, {icon32}), PictureKind::Icon, 24, 20, Translucent, 0, 0},
        {"icon 24-bit with mask", Icon(1, {icon24}), PictureKind::Icon, 16, 16, icon24.pixel, 0, 0},
        {"icon holding a png", Icon(1, {iconPng}), PictureKind::Icon, 20, 12, Translucent, 0, 0},
        {"cursor", Icon(2, {cursor}), PictureKind::Cursor, 32, 32, quad(32, 32), 0, 0},
        {"gif", Gif(30, 14, kPalette, {gifFrame}), PictureKind::Gif, 30, 14, quad(30, 14), 0, 1},
        {"gif interlaced", Gif(30, 19, kPalette, {interlaced}), PictureKind::Gif, 30, 19, quad(30, 19), 0, 1},
        {"gif 256 colours", Gif(16, 16, Greys256(), {everyGrey}), PictureKind::Gif, 16, 16, grey256, 0, 1},
        {"pcx 8-bit", Pcx8(30, 14, QuadrantIndices(30, 14), kPalette), PictureKind::Pcx8, 30, 14, quad(30, 14), 0, 770},
        {"pcx 1-bit", Pcx1(21, 9, bits), PictureKind::Pcx1, 21, 9, Checker, 0, 0},
    };
}

bool Near(Rgba a, Rgba b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance &&
           a.a == b.a;
}

TEST(DecodePicture, EveryFormatGivesItsSizeAndPixels) {
    for (const FormatCase& c : FormatCases()) {
        SCOPED_TRACE(c.name);
        auto picture = DecodePicture(c.bytes.data(), int64_t(c.bytes.size()));
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->kind, c.kind);
        ASSERT_EQ(picture->width, c.width);
        ASSERT_EQ(picture->height, c.height);
        int wrong = 0;
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                Rgba want = c.pixel(x, y);
                // Lossy coding blurs the quadrant edges; compare away from them.
                if (c.tolerance > 0 && (std::abs(x - c.width / 2) < 5 || std::abs(y - c.height / 2) < 5)) {
                    continue;
                }
                Rgba got = PixelOf(*picture, x, y);
                if (!Near(got, want, c.tolerance) && wrong++ < 3) {
                    ADD_FAILURE() << "pixel " << x << "," << y << " is " << int(got.r) << "," << int(got.g) << ","
                                  << int(got.b) << "," << int(got.a) << " not " << int(want.r) << "," << int(want.g)
                                  << "," << int(want.b) << "," << int(want.a);
                }
            }
        }
    }
}

TEST(DecodePicture, DataSizeFollowsTheKindsLayout) {
    struct SizeCase {
        std::vector<uint8_t> bytes;
        size_t size;
    };
    auto quad = [](int x, int y) { return Quadrants(x, y, 10, 10); };
    const SizeCase cases[] = {
        {Jpeg(10, 7, quad), 10 * 7 * 3},    // not padded
        {Bmp(10, 7, 24, quad), 10 * 7 * 3}, // not padded either
        {Png(10, 7, quad), 10 * 7 * 4},
        {Pcx8(10, 7, std::vector<uint8_t>(70, 1), kPalette), 40 + 1024 + 12 * 7},
        {Pcx1(10, 7, std::vector<uint8_t>(70, 1)), 2 * 7}, // 16-bit aligned rows
    };
    for (const SizeCase& c : cases) {
        auto picture = DecodePicture(c.bytes.data(), int64_t(c.bytes.size()));
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->pixels.size, c.size) << int(picture->kind);
    }
}

TEST(DecodePicture, IconUsesTheLargestThenDeepestImage) {
    auto red = [](int, int) { return Rgba{255, 0, 0, 255}; };
    auto blue = [](int, int) { return Rgba{0, 0, 255, 255}; };
    auto bytes = Icon(1, {{16, 16, 32, red}, {32, 32, 24, red}, {32, 32, 32, blue}, {24, 24, 32, red}});
    auto picture = DecodePicture(bytes.data(), int64_t(bytes.size()));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->width, 32);
    EXPECT_EQ(PixelOf(*picture, 3, 3), (Rgba{0, 0, 255, 255}));

    auto cursorBytes = Icon(2, {{16, 16, 32, red, false, 9, 4}});
    auto cursor = DecodePicture(cursorBytes.data(), int64_t(cursorBytes.size()));
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(cursor->kind, PictureKind::Cursor);
    EXPECT_EQ(cursor->hotspotX, 9);
    EXPECT_EQ(cursor->hotspotY, 4);
}

TEST(DecodePicture, GifKeepsEveryFrameComposedWithItsDelay) {
    // Frame 1 paints the left half red over an unpainted canvas; frame 2 paints
    // a blue square with a transparent hole; frame 3 is shown after frame 2 is
    // restored to the background.
    const std::vector<Rgba> palette = {{255, 0, 0, 255}, {0, 0, 255, 255}, {0, 255, 0, 255}, {0, 0, 0, 255}};
    GifFrame left{0, 0, 4, 8, std::vector<uint8_t>(32, 0)};
    left.delayCs = 10;
    GifFrame square{2, 2, 4, 4, std::vector<uint8_t>(16, 1)};
    square.indices[5] = 3; // transparent: frame 1 shows through at (3, 3)
    square.transparentIndex = 3;
    square.delayCs = 25;
    square.disposal = 2; // restore to background afterwards
    GifFrame dot{7, 7, 1, 1, {2}};
    auto bytes = Gif(8, 8, palette, {left, square, dot}, 0);
    auto picture = DecodePicture(bytes.data(), int64_t(bytes.size()));
    ASSERT_NE(picture, nullptr);
    ASSERT_EQ(picture->frames.size(), 3u);
    EXPECT_TRUE(picture->IsAnimated());
    EXPECT_EQ(picture->frames[0].delayMs, 100u);
    EXPECT_EQ(picture->frames[1].delayMs, 250u);
    EXPECT_EQ(picture->frames[2].delayMs, 0u);
    EXPECT_EQ(picture->loopCount, 0u);

    const Rgba red{255, 0, 0, 255}, blue{0, 0, 255, 255}, green{0, 255, 0, 255};
    auto unpainted = [&](size_t f) {
        int32_t k = picture->frames[f].transparentColour;
        return Rgba{uint8_t(k & 0xFF), uint8_t((k >> 8) & 0xFF), uint8_t((k >> 16) & 0xFF), 255};
    };
    for (size_t f = 0; f < 3; ++f) {
        ASSERT_GE(picture->frames[f].transparentColour, 0) << f;
        EXPECT_NE(unpainted(f), red);
        EXPECT_NE(unpainted(f), blue);
        EXPECT_NE(unpainted(f), green);
    }
    EXPECT_EQ(PixelOf(*picture, 0, 0, 0), red);
    EXPECT_EQ(PixelOf(*picture, 6, 6, 0), unpainted(0));
    EXPECT_EQ(PixelOf(*picture, 4, 4, 1), blue);
    EXPECT_EQ(PixelOf(*picture, 3, 3, 1), red); // through the hole
    EXPECT_EQ(PixelOf(*picture, 2, 2, 1), blue);
    EXPECT_EQ(PixelOf(*picture, 4, 4, 2), unpainted(2)); // the square was cleared
    EXPECT_EQ(PixelOf(*picture, 0, 0, 2), red);
    EXPECT_EQ(PixelOf(*picture, 7, 7, 2), green);

    // Without its trailer byte the file still shows every frame; cut inside the
    // last frame it is no picture.
    auto noTrailer = DecodePicture(bytes.data(), int64_t(bytes.size() - 1));
    ASSERT_NE(noTrailer, nullptr);
    EXPECT_EQ(noTrailer->frames.size(), 3u);
    EXPECT_EQ(DecodePicture(bytes.data(), int64_t(bytes.size() - 4)), nullptr);
}

// What a GIF frame's pixel must show: not painted, or a colour. The frame's
// own colours must be in its table; any colour in the table shows as itself,
// and one left out shows as its nearest table colour.
struct ExpectedGifPixel {
    bool painted = true;
    Rgba colour = {};
    bool own = true;
};

struct GifColourCase {
    const char* name;
    std::vector<uint8_t> bytes;
    size_t frame;
    std::function<ExpectedGifPixel(int x, int y)> expected;
    size_t ownMissing; // own colours the table may leave out (256 of them and unpainted pixels: 1)
};

int ColourDistance(Rgba a, Rgba b) {
    return (a.r - b.r) * (a.r - b.r) + (a.g - b.g) * (a.g - b.g) + (a.b - b.b) * (a.b - b.b);
}

TEST(DecodePicture, GifFramesShowTheirTableColoursExactly) {
    const std::vector<Rgba> greys = Greys256();
    std::vector<Rgba> tints; // 256 colours, none of them grey
    for (int i = 0; i < 256; ++i) {
        tints.push_back(Rgba{uint8_t(i), uint8_t(255 - i), 128, 255});
    }
    GifFrame all{0, 0, 16, 16, EveryIndex(16, 16)};
    GifFrame withHole = all;
    withHole.transparentIndex = 7;
    // An earlier frame of 256 greys, then 256 tints over its left half with a
    // transparent index: more colours than a table holds.
    std::vector<uint8_t> greyIndices;
    for (int i = 0; i < 32 * 16; ++i) {
        greyIndices.push_back(uint8_t(i % 256));
    }
    GifFrame greysUnder{0, 0, 32, 16, greyIndices};
    GifFrame tintsOver{0, 0, 16, 16, EveryIndex(16, 16), tints};
    tintsOver.transparentIndex = 0;
    // Three frames of random colours, each over part of the one before: the
    // last frame's colours are shown exactly, the rest by their nearest.
    uint32_t seed = 12345;
    auto random = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return uint8_t(seed >> 16);
    };
    std::vector<GifFrame> randomFrames;
    for (int f = 0; f < 3; ++f) {
        GifFrame frame{f * 6, f * 4, 40 - f * 12, 30 - f * 8};
        for (int i = 0; i < frame.width * frame.height; ++i) {
            frame.indices.push_back(random());
        }
        for (int i = 0; i < 256; ++i) {
            frame.localPalette.push_back(Rgba{random(), random(), random(), 255});
        }
        randomFrames.push_back(frame);
    }
    auto randomExpected = [&](int x, int y) {
        for (int f = 2; f >= 0; --f) {
            const GifFrame& frame = randomFrames[size_t(f)];
            if (x >= frame.left && x < frame.left + frame.width && y >= frame.top && y < frame.top + frame.height) {
                uint8_t i = frame.indices[size_t((y - frame.top) * frame.width + x - frame.left)];
                return ExpectedGifPixel{true, frame.localPalette[i], f == 2};
            }
        }
        return ExpectedGifPixel{false};
    };

    const GifColourCase cases[] = {
        {"256 colours, every pixel painted", Gif(16, 16, greys, {all}), 0,
         [&](int x, int y) { return ExpectedGifPixel{true, greys[size_t(y * 16 + x)]}; }, 0},
        {"256-entry table with a transparent index", Gif(16, 16, greys, {withHole}), 0,
         [&](int x, int y) {
             int i = y * 16 + x;
             return ExpectedGifPixel{i != 7, greys[size_t(i)]};
         },
         0},
        {"256 colours leaving a row unpainted", Gif(16, 17, greys, {all}), 0,
         [&](int x, int y) {
             return y < 16 ? ExpectedGifPixel{true, greys[size_t(y * 16 + x)]} : ExpectedGifPixel{false};
         },
         1},
        {"256 colours with a transparent index over other colours", Gif(32, 16, greys, {greysUnder, tintsOver}), 1,
         [&](int x, int y) {
             int i = y * 16 + x;
             if (x >= 16 || i == 0) {
                 return ExpectedGifPixel{true, greys[size_t((y * 32 + x) % 256)], false};
             }
             return ExpectedGifPixel{true, tints[size_t(i)]};
         },
         0},
        {"random colours over random colours", Gif(40, 30, greys, randomFrames), 2, randomExpected, 0},
    };
    for (const GifColourCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto picture = DecodePicture(c.bytes.data(), int64_t(c.bytes.size()));
        ASSERT_NE(picture, nullptr);
        ASSERT_GT(picture->frames.size(), c.frame);
        const int32_t k = picture->frames[c.frame].transparentColour;
        const Rgba unpainted{uint8_t(k & 0xFF), uint8_t((k >> 8) & 0xFF), uint8_t((k >> 16) & 0xFF), 255};
        // The table's colours are those the painted pixels show.
        std::set<uint32_t> shown;
        auto key = [](Rgba p) { return uint32_t(p.r) << 16 | uint32_t(p.g) << 8 | p.b; };
        bool anyUnpainted = false;
        for (int y = 0; y < picture->height; ++y) {
            for (int x = 0; x < picture->width; ++x) {
                if (c.expected(x, y).painted) {
                    shown.insert(key(PixelOf(*picture, x, y, c.frame)));
                } else {
                    anyUnpainted = true;
                }
            }
        }
        EXPECT_EQ(k >= 0, anyUnpainted);
        std::set<uint32_t> ownMissing;
        int wrong = 0;
        for (int y = 0; y < picture->height; ++y) {
            for (int x = 0; x < picture->width; ++x) {
                const ExpectedGifPixel want = c.expected(x, y);
                const Rgba got = PixelOf(*picture, x, y, c.frame);
                if (!want.painted) {
                    EXPECT_EQ(got, unpainted) << x << "," << y;
                    continue;
                }
                EXPECT_TRUE(k < 0 || got != unpainted) << x << "," << y;
                if (shown.count(key(want.colour)) != 0) {
                    if (got != want.colour && wrong++ < 3) {
                        ADD_FAILURE() << "pixel " << x << "," << y << " is " << int(got.r) << "," << int(got.g) << ","
                                      << int(got.b) << " though its colour " << int(want.colour.r) << ","
                                      << int(want.colour.g) << "," << int(want.colour.b) << " is in the table";
                    }
                    continue;
                }
                if (want.own) {
                    ownMissing.insert(key(want.colour));
                }
                int best = INT32_MAX;
                for (uint32_t t : shown) {
                    const Rgba tableColour{uint8_t(t >> 16), uint8_t(t >> 8), uint8_t(t)};
                    best = std::min(best, ColourDistance(want.colour, tableColour));
                }
                EXPECT_EQ(ColourDistance(want.colour, got), best) << "not the nearest colour at " << x << "," << y;
            }
        }
        EXPECT_LE(ownMissing.size(), c.ownMissing);
        EXPECT_LE(shown.size() + (anyUnpainted ? 1 : 0), 256u);
    }
}

TEST(DecodePicture, CmykJpegRoundsLikeLibjpegTurbosTools) {
    for (bool ycck : {false, true}) {
        SCOPED_TRACE(ycck ? "ycck" : "cmyk");
        auto bytes = JpegCmyk(48, 32, CmykGradient, ycck);
        // The library's own CMYK samples of the file.
        jpeg_decompress_struct d{};
        jpeg_error_mgr errors{};
        d.err = jpeg_std_error(&errors);
        jpeg_create_decompress(&d);
        jpeg_mem_src(&d, bytes.data(), static_cast<unsigned long>(bytes.size()));
        jpeg_read_header(&d, TRUE);
        d.out_color_space = JCS_CMYK;
        jpeg_start_decompress(&d);
        std::vector<uint8_t> cmyk(size_t(d.output_width) * d.output_height * 4);
        while (d.output_scanline < d.output_height) {
            JSAMPROW row = cmyk.data() + size_t(d.output_scanline) * d.output_width * 4;
            jpeg_read_scanlines(&d, &row, 1);
        }
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);

        auto picture = DecodePicture(bytes.data(), int64_t(bytes.size()));
        ASSERT_NE(picture, nullptr);
        ASSERT_EQ(picture->width, 48);
        ASSERT_EQ(picture->height, 32);
        int roundedUp = 0;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 48; ++x) {
                const uint8_t* s = &cmyk[(size_t(y) * 48 + size_t(x)) * 4];
                // As libjpeg-turbo's tools convert: c * k / 255 + 0.5, truncated.
                auto shown = [&](int channel) { return uint8_t(double(s[channel]) * double(s[3]) / 255.0 + 0.5); };
                const Rgba want{shown(0), shown(1), shown(2), 255};
                ASSERT_EQ(PixelOf(*picture, x, y), want) << x << "," << y;
                roundedUp += want.r != s[0] * s[3] / 255;
            }
        }
        EXPECT_GT(roundedUp, 48 * 32 / 4); // the picture does tell rounding from truncation
    }
}

TEST(DecodePicture, CutOffOrDamagedBytesAreNoPicture) {
    for (const FormatCase& c : FormatCases()) {
        SCOPED_TRACE(c.name);
        // Every prefix: null unless only what readers forgive is missing.
        for (size_t n = 0; n + c.cutTolerance < c.bytes.size(); ++n) {
            auto picture = DecodePicture(c.bytes.data(), int64_t(n));
            if (picture != nullptr) {
                ADD_FAILURE() << "prefix of " << n << " of " << c.bytes.size() << " bytes decoded";
                break;
            }
        }
        // Damage at every position must not crash (the sanitizer build checks
        // the memory); whatever decodes keeps within its own dimensions.
        std::vector<uint8_t> damaged = c.bytes;
        for (size_t i = 0; i < damaged.size(); ++i) {
            for (uint8_t v : {uint8_t(0x00), uint8_t(0xFF), uint8_t(damaged[i] ^ 0x5A)}) {
                uint8_t keep = damaged[i];
                damaged[i] = v;
                auto picture = DecodePicture(damaged.data(), int64_t(damaged.size()));
                if (picture != nullptr) {
                    EXPECT_GT(picture->width, 0);
                    EXPECT_GT(picture->height, 0);
                }
                damaged[i] = keep;
            }
        }
    }
}

void Patch16(std::vector<uint8_t>& b, size_t at, uint32_t v, bool bigEndian = false) {
    b[at] = uint8_t(bigEndian ? v >> 8 : v);
    b[at + 1] = uint8_t(bigEndian ? v : v >> 8);
}

void Patch32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + size_t(i)] = uint8_t(v >> (8 * i));
    }
}

TEST(DecodePicture, PicturesOverTheSizeCapAreRefused) {
    auto quad = [](int x, int y) { return Quadrants(x, y, 16, 16); };
    std::vector<std::pair<const char*, std::vector<uint8_t>>> cases;

    auto jpeg = Jpeg(16, 16, quad);
    for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) { // baseline frame header: height, width
            Patch16(jpeg, i + 5, 60000, true);
            Patch16(jpeg, i + 7, 60000, true);
            break;
        }
    }
    cases.push_back({"jpeg 60000 x 60000", jpeg});

    auto bmp = Bmp(16, 16, 24, quad);
    Patch32(bmp, 18, 20000);
    Patch32(bmp, 22, 20000);
    cases.push_back({"bmp 20000 x 20000", bmp});

    auto bmpUpsideDown = Bmp(16, 16, 24, quad);
    Patch32(bmpUpsideDown, 22, 0x80000000u);
    cases.push_back({"bmp height INT_MIN", bmpUpsideDown});

    auto gif = Gif(16, 16, kPalette, {GifFrame{0, 0, 16, 16, std::vector<uint8_t>(256, 1)}});
    Patch16(gif, 6, 65535);
    Patch16(gif, 8, 65535);
    cases.push_back({"gif 65535 x 65535", gif});

    auto pcx = Pcx8(16, 16, std::vector<uint8_t>(256, 1), kPalette);
    Patch16(pcx, 8, 65535);
    Patch16(pcx, 10, 65535);
    Patch16(pcx, 66, 65535);
    cases.push_back({"pcx 65536 x 65536", pcx});

    auto icon = Icon(1, {{16, 16, 32, quad}});
    Patch32(icon, 22 + 4, 30000);
    Patch32(icon, 22 + 8, 60000);
    cases.push_back({"icon 30000 x 30000", icon});

    for (auto& [name, bytes] : cases) {
        EXPECT_EQ(DecodePicture(bytes.data(), int64_t(bytes.size())), nullptr) << name;
    }
}

TEST(DecodePicture, ProgressiveJpegsWithEndlessScansAreRefused) {
    auto quad = [](int x, int y) { return Quadrants(x, y, 16, 16); };
    // 190 scans: unusual but sound, and decoded.
    auto many = JpegManyScans(16, 16, quad, false);
    auto picture = DecodePicture(many.data(), int64_t(many.size()));
    ASSERT_NE(picture, nullptr);
    EXPECT_GT(PixelOf(*picture, 2, 2).r, 240);
    // 2,080 scans: what only a file made to stall the decoder has.
    auto endless = JpegManyScans(16, 16, quad, true);
    EXPECT_EQ(DecodePicture(endless.data(), int64_t(endless.size())), nullptr);
}

TEST(CompositeOverColour, MixesTranslucentPixelsOverTheBackground) {
    struct MixCase {
        uint8_t b, g, r, a;
        PictureColour background; // 0x00BBGGRR
        uint8_t wantB, wantG, wantR;
    };
    const MixCase cases[] = {
        {10, 20, 30, 0, 0x00332211, 0x33, 0x22, 0x11},   // alpha 0: exactly the background
        {10, 20, 30, 255, 0x00332211, 10, 20, 30},       // alpha 255: its own colour
        {255, 255, 255, 128, 0x00000000, 128, 128, 128}, // 128/255 * 255, truncated
        {0, 0, 0, 1, 0x00FFFFFF, 254, 254, 254},         // 254/255 * 255 = 254
        {200, 100, 0, 100, 0x00C0C0C0, 195, 155, 116},   // (100*c + 155*192) / 255, truncated
    };
    for (const MixCase& c : cases) {
        uint8_t in[4] = {c.b, c.g, c.r, c.a};
        uint8_t out[4] = {};
        CompositeOverColour(in, 1, c.background, out);
        EXPECT_EQ(out[0], c.wantB);
        EXPECT_EQ(out[1], c.wantG);
        EXPECT_EQ(out[2], c.wantR);
        EXPECT_EQ(out[3], c.a);
    }
    // In place over a whole row.
    std::vector<uint8_t> row = {1, 2, 3, 0, 4, 5, 6, 255};
    CompositeOverColour(row.data(), 2, 0x00090807, row.data());
    EXPECT_EQ(row, (std::vector<uint8_t>{9, 8, 7, 0, 4, 5, 6, 255}));
}

std::string TempPath(const char* name) {
#ifdef _WIN32
    const char* dir = std::getenv("TEMP");
#else
    const char* dir = std::getenv("TMPDIR");
#endif
    return std::string(dir != nullptr ? dir : "/tmp") + "/" + name;
}

TEST(DecodePictureFile, ReadsTheFilesContents) {
    auto bytes = Png(7, 5, Translucent);
    std::string path = TempPath("sl_picture_file_test.png");
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    auto picture = DecodePictureFile(path.c_str());
    std::remove(path.c_str());
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->kind, PictureKind::Png);
    EXPECT_EQ(picture->width, 7);

    EXPECT_EQ(DecodePictureFile(TempPath("sl_no_such_picture.png").c_str()), nullptr);
    EXPECT_EQ(DecodePictureFile(""), nullptr);
    EXPECT_EQ(DecodePictureFile(nullptr), nullptr);
}

TEST(DecodePictureFile, TheStoredClearButtonIsA128SquareJpeg) {
    auto picture = DecodePictureFile(BesideProgram("clear_button.jpg").c_str());
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->kind, PictureKind::Jpeg);
    EXPECT_EQ(picture->width, 128);
    EXPECT_EQ(picture->height, 128);
    EXPECT_EQ(picture->pixels.size, 128u * 128u * 3u);
    // Red disc in the middle of the left edge's reach, white corners.
    Rgba corner = PixelOf(*picture, 1, 1);
    Rgba disc = PixelOf(*picture, 64, 20);
    EXPECT_GT(corner.g, 230);
    EXPECT_GT(disc.r, 180);
    EXPECT_LT(disc.g, 80);
}

} // namespace

namespace {

TEST(DecodePicture, LargePixelBlocksAreReusedByTheNextPicture) {
    // 1000 x 700 BGRA is 2.8 MB: big enough to be kept when freed.
    auto first = Png(
        1000, 700,
        [](int x, int y) {
            return Rgba{uint8_t(x), uint8_t(y), 1, 255};
        },
        false);
    auto second = Png(
        1000, 700,
        [](int x, int y) {
            return Rgba{9, uint8_t(x + y), uint8_t(y), 255};
        },
        false);
    auto small = Png(
        650, 420,
        [](int, int) {
            return Rgba{1, 2, 3, 255};
        },
        false); // 1.1 MB

    auto picture = DecodePicture(first.data(), int64_t(first.size()));
    ASSERT_NE(picture, nullptr);
    const uint8_t* block = picture->pixels.data();
    picture.reset();
    // A picture needing less than half of it does not take the big block.
    auto other = DecodePicture(small.data(), int64_t(small.size()));
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other->pixels.data(), block);
    picture = DecodePicture(second.data(), int64_t(second.size()));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->pixels.data(), block);
    // Every pixel is the new picture's, none left from the old one.
    for (int y = 0; y < 700; y += 7) {
        for (int x = 0; x < 1000; x += 5) {
            ASSERT_EQ(PixelOf(*picture, x, y), (Rgba{9, uint8_t(x + y), uint8_t(y), 255})) << x << "," << y;
        }
    }
    // Alive at once, two pictures never share it.
    auto third = DecodePicture(first.data(), int64_t(first.size()));
    ASSERT_NE(third, nullptr);
    EXPECT_NE(third->pixels.data(), picture->pixels.data());
}

} // namespace
