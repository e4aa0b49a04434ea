// Builders of small picture files of every kind, so the tests, the fuzzer's
// seeds and the benchmark make their own pictures instead of shipping samples.
// JPEG, PNG and GIF are written with the libraries' encoders; BMP, icon,
// cursor and PCX byte by byte.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace picture_files {

using Bytes = std::vector<uint8_t>;

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
    bool operator==(const Rgba&) const = default;
};

using PixelFn = std::function<Rgba(int x, int y)>;

// Four flat quadrants (red, green / blue, white), easy to check after lossy
// coding and wrong row order or colour order alike.
Rgba Quadrants(int x, int y, int width, int height);

Bytes Jpeg(int width, int height, const PixelFn& pixel, int quality = 95, bool grey = false, bool progressive = false);
// A progressive JPEG with one scan for every AC coefficient of every
// component (190 scans), or with each of those refined bit by bit (2,080 scans).
Bytes JpegManyScans(int width, int height, const PixelFn& pixel, bool refineEveryBit);
// A CMYK JPEG (Adobe marker, samples stored as given), in YCCK when `ycck`.
struct Cmyk {
    uint8_t c = 0, m = 0, y = 0, k = 0;
};
Bytes JpegCmyk(int width, int height, const std::function<Cmyk(int x, int y)>& pixel, bool ycck = false);

Bytes Png(int width, int height, const PixelFn& pixel, bool withAlpha = true);

// A PNG of any colour type, depth and interlace written through libpng's row
// interface, with the samples given one by one.
struct PngFormat {
    int colourType = 2;      // the file's code: 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGBA
    int bitDepth = 8;        // 1, 2, 4, 8 or 16, as the colour type allows
    bool interlaced = false; // Adam7
    double gamma = 0;        // a gAMA chunk with this file gamma (0.45455 is usual); 0 writes none
    std::vector<Rgba> palette = {};         // colour type 3; alpha below 255 goes into tRNS
    std::vector<uint16_t> transparent = {}; // a tRNS key: one grey sample, or red, green, blue
};
// Sample `channel` of pixel (x, y) in the file's channel order (grey; grey,
// alpha; red, green, blue; red, green, blue, alpha; or the palette index).
using SampleFn = std::function<uint16_t(int x, int y, int channel)>;
Bytes PngSamples(int width, int height, const PngFormat& format, const SampleFn& sample);

// 1, 4, 8 (palette made of the colours met, which must be few enough), 16
// (5-5-5), 24 or 32 bits; bottom-up unless topDown.
Bytes Bmp(int width, int height, int bitsPerPixel, const PixelFn& pixel, bool topDown = false);
// 8-bit RLE of the given palette indices (bottom-up), with `palette` colours.
Bytes BmpRle8(int width, int height, const std::vector<uint8_t>& indices, const std::vector<Rgba>& palette);

struct IconImage {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 32; // 32 (alpha) or 24 (AND mask from alpha 0 / 255)
    PixelFn pixel = {};
    bool asPng = false;
    uint16_t hotspotX = 0, hotspotY = 0;
};
// type 1 icon, 2 cursor.
Bytes Icon(uint16_t type, const std::vector<IconImage>& images);

struct GifFrame {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<uint8_t> indices = {};   // width * height
    std::vector<Rgba> localPalette = {}; // empty: the global one
    int delayCs = 0;
    int disposal = 0;
    int transparentIndex = -1;
    bool interlace = false;
};
Bytes Gif(int width, int height, const std::vector<Rgba>& globalPalette, const std::vector<GifFrame>& frames,
          int loopCount = -1);

Bytes Pcx8(int width, int height, const std::vector<uint8_t>& indices, const std::vector<Rgba>& palette);
// `bits` holds width * height values 0/1, top row first.
Bytes Pcx1(int width, int height, const std::vector<uint8_t>& bits);

} // namespace picture_files
