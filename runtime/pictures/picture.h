// Picture bytes (JPEG, BMP, icon, cursor, GIF, PCX, PNG) decoded into pixels.
// Win32-free: the drawable form lives in picture_draw.h.
//
// Picture bytes come from stored unit data and from the network, so every
// reader here treats its input as hostile: damaged, cut-off or oversized
// pictures give null, never a crash or a runtime error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// What the first bytes of a picture say. The values are the stored kind codes.
enum class PictureKind : int32_t {
    None = 0,
    Jpeg = 1,
    Bmp = 2,
    Icon = 3,
    Cursor = 4,
    Gif = 5,
    Pcx8 = 6,
    Pcx1 = 7,
    Png = 8,
};

// Decoded pixel data of every picture (all frames together) is capped here; a
// larger picture is refused as not a picture rather than ending the program
// through an allocation failure.
#ifdef SL_PICTURE_FUZZING
// The fuzzer's copy of the decoders: small caps keep every run fast, and the
// paths taken are the same.
constexpr uint64_t kMaxPicturePixelBytes = 16ull << 20;
#else
constexpr uint64_t kMaxPicturePixelBytes = 256ull << 20;
#endif

// Frees a pixel block of `capacity` bytes. The decoder keeps the last large
// block freed and hands it to the next picture of about its size: a window
// that shows one downloaded cover after another reuses its memory instead of
// faulting in tens of megabytes of fresh pages for every picture.
struct PixelBlockFree {
    size_t capacity = 0;
    void operator()(uint8_t* block) const;
};

// A block of pixel bytes that is not zero-filled on allocation (a 4000 x 3000
// picture is written once by the decoder, not twice).
struct PixelBlock {
    std::unique_ptr<uint8_t[], PixelBlockFree> bytes;
    size_t size = 0;

    uint8_t* data() { return bytes.get(); }
    const uint8_t* data() const { return bytes.get(); }
    bool empty() const { return size == 0; }
};

// One frame of a GIF: a whole-canvas 8-bit device-independent bitmap (the
// layout of kind 6) as it looks once the frame has been shown, and how long it
// stays before the next one.
struct PictureFrame {
    PixelBlock pixels;
    uint32_t delayMs = 0; // GIF delay; 0 when the file gives none
    // 0x00BBGGRR of the colour that stands for "not painted" (a colour no
    // painted pixel of the frame has), or -1 when every pixel is painted.
    // DrawPicture with the raster operation -transparentColour lets the
    // background show through there.
    int32_t transparentColour = -1;
};

// Pixel layouts by kind:
//   Jpeg, Bmp:    3 bytes a pixel, blue green red, bottom row first, rows not padded
//                 (width * 3 bytes each).
//   Icon, Cursor: 4 bytes a pixel, blue green red alpha, top row first: the image
//                 of the file that is used (the largest, then the deepest); the
//                 drawable form makes the icon handle from it.
//   Gif:          `pixels` is empty; every frame (at least one) is in `frames`.
//   Pcx8:         an 8-bit device-independent bitmap: a 40-byte BITMAPINFOHEADER,
//                 256 four-byte colour entries (blue green red 0), then the rows
//                 bottom row first, each padded to a multiple of 4 bytes.
//   Pcx1:         a monochrome bitmap, 1 bit a pixel (bit 7 first, 1 = white), top
//                 row first, each row padded to a multiple of 2 bytes.
//   Png:          4 bytes a pixel, blue green red alpha (not premultiplied), top row
//                 first.
struct Picture {
    PictureKind kind = PictureKind::None;
    int32_t width = 0;
    int32_t height = 0;
    PixelBlock pixels;
    int32_t hotspotX = 0; // cursors only
    int32_t hotspotY = 0;
    std::vector<PictureFrame> frames; // GIF only
    uint32_t loopCount = 0;           // GIF only: the file's loop count; 0 = for ever, or not given

    bool IsAnimated() const { return frames.size() > 1; }
};

// The kind tests, in their order, on the first 8 bytes; fewer than 8 bytes or no
// match gives PictureKind::None.
PictureKind DetectPictureKind(const uint8_t* bytes, int64_t length);

// Decodes picture bytes; null for null, empty, unrecognised, damaged, cut-off or
// too large input.
std::unique_ptr<Picture> DecodePicture(const uint8_t* bytes, int64_t length);

// The same on a file's contents. The name is a GBK text.
std::unique_ptr<Picture> DecodePictureFile(const char* fileName);

// 0x00BBGGRR background colour as used by the units.
using PictureColour = uint32_t;

// PNG compositing over a background colour: pixels with alpha below 255 become
// alpha/255 * channel + (1 - alpha/255) * background channel, truncated; opaque
// pixels stay. Writes width * height 4-byte pixels (alpha kept) into `out`,
// which may be the picture's own pixels. Used by MakeDrawable.
void CompositeOverColour(const uint8_t* bgra, size_t pixelCount, PictureColour background, uint8_t* out);
