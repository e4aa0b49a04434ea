// Reads one pixel of a decoded picture through the layout of its kind, so the
// tests can compare every format with the picture it was made from.
#pragma once

#include "runtime/pictures/picture.h"
#include "tests/runtime/pictures/picture_files.h"

#include <cstring>

namespace picture_files {

inline uint32_t ReadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Pixel (x, y), y counted from the top, of an 8-bit DIB (header, table, rows).
inline Rgba Dib8Pixel(const PixelBlock& dib, int width, int height, int x, int y) {
    size_t stride = size_t((width + 3) & ~3);
    uint8_t index = dib.data()[40 + 1024 + size_t(height - 1 - y) * stride + size_t(x)];
    const uint8_t* c = dib.data() + 40 + size_t(index) * 4;
    return Rgba{c[2], c[1], c[0], 255};
}

inline Rgba PixelOf(const Picture& p, int x, int y, size_t frame = 0) {
    switch (p.kind) {
    case PictureKind::Jpeg:
    case PictureKind::Bmp: {
        const uint8_t* q = p.pixels.data() + (size_t(p.height - 1 - y) * size_t(p.width) + size_t(x)) * 3;
        return Rgba{q[2], q[1], q[0], 255};
    }
    case PictureKind::Icon:
    case PictureKind::Cursor:
    case PictureKind::Png: {
        const uint8_t* q = p.pixels.data() + (size_t(y) * size_t(p.width) + size_t(x)) * 4;
        return Rgba{q[2], q[1], q[0], q[3]};
    }
    case PictureKind::Gif:
        return Dib8Pixel(p.frames[frame].pixels, p.width, p.height, x, y);
    case PictureKind::Pcx8:
        return Dib8Pixel(p.pixels, p.width, p.height, x, y);
    case PictureKind::Pcx1: {
        size_t stride = size_t((p.width + 15) / 16 * 2);
        bool white = (p.pixels.data()[size_t(y) * stride + size_t(x / 8)] >> (7 - x % 8)) & 1;
        uint8_t v = white ? 255 : 0;
        return Rgba{v, v, v, 255};
    }
    case PictureKind::None:
        break;
    }
    return Rgba{};
}

} // namespace picture_files
