// Icon and cursor files (our own reader). Of several images the largest is
// used, and of equally large ones the deepest; each may be a device-independent
// bitmap with its AND mask or a PNG. Out: 32-bit blue-green-red-alpha, top row
// first, from which the drawable form makes the icon handle.
#include "runtime/pictures/picture_internal.h"

namespace pictures {
namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

struct IconEntry {
    size_t offset = 0;
    size_t size = 0;
    uint64_t area = 0;
    uint32_t depth = 0;
    uint16_t hotspotX = 0;
    uint16_t hotspotY = 0;
};

bool IsPng(const uint8_t* p, size_t n) {
    return n >= 8 && std::memcmp(p, kPngSignature, 8) == 0;
}

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Size and depth an image says of itself (the directory's bytes are often wrong).
bool MeasureImage(const uint8_t* p, size_t n, IconEntry& e) {
    if (IsPng(p, n)) {
        if (n < 24) {
            return false;
        }
        e.area = uint64_t(BigEndian32(p + 16)) * BigEndian32(p + 20);
        e.depth = 32;
        return true;
    }
    ByteCursor in(p, n);
    uint32_t headerSize = in.U32();
    int32_t w = in.I32();
    int32_t h = in.I32();
    in.U16();
    uint32_t bpp = in.U16();
    if (!in.ok() || headerSize < 40 || w <= 0 || h <= 1) {
        return false;
    }
    e.area = uint64_t(w) * uint64_t(h / 2);
    e.depth = bpp;
    return true;
}

bool DecodeDibImage(const uint8_t* p, size_t n, Picture& picture) {
    ByteCursor in(p, n);
    uint32_t headerSize = in.U32();
    int32_t w = in.I32();
    int32_t h2 = in.I32();
    in.U16();
    uint32_t bpp = in.U16();
    uint32_t compression = in.U32();
    in.Skip(12);
    uint32_t coloursUsed = in.U32();
    if (!in.ok() || headerSize > n || w <= 0 || h2 <= 1 || compression != 0 || !in.Seek(headerSize)) {
        return false;
    }
    const uint64_t width = uint64_t(w), height = uint64_t(h2 / 2);
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) {
        return false;
    }
    uint8_t palette[256 * 4] = {};
    if (bpp <= 8) {
        uint32_t count = (coloursUsed == 0 || coloursUsed > (1u << bpp)) ? (1u << bpp) : coloursUsed;
        const uint8_t* table = in.Take(size_t(count) * 4);
        if (table == nullptr) {
            return false;
        }
        std::memcpy(palette, table, size_t(count) * 4);
    }
    uint64_t outSize = 0;
    if (!CheckedMul(width * 4, height, &outSize) || outSize > kMaxPicturePixelBytes) {
        return false;
    }
    const uint64_t colourStride = PaddedRowBytes(width, bpp, 4);
    const uint64_t maskStride = PaddedRowBytes(width, 1, 4);
    if (colourStride * height > in.remaining()) {
        return false;
    }
    const uint8_t* colour = in.Take(size_t(colourStride * height));
    // 32-bit images carry their own alpha; some writers leave the mask out.
    const uint8_t* mask = maskStride * height <= in.remaining() ? in.Take(size_t(maskStride * height)) : nullptr;
    if (mask == nullptr && bpp != 32) {
        return false;
    }
    PixelBlock out = AllocatePixels(outSize);
    if (out.empty()) {
        return false;
    }
    bool anyAlpha = false;
    for (uint64_t y = 0; y < height; ++y) {
        const uint8_t* src = colour + (height - 1 - y) * colourStride;
        uint8_t* o = out.data() + y * width * 4;
        for (uint64_t x = 0; x < width; ++x) {
            uint8_t* q = o + x * 4;
            if (bpp == 32) {
                std::memcpy(q, src + x * 4, 4);
                anyAlpha = anyAlpha || q[3] != 0;
            } else if (bpp == 24) {
                std::memcpy(q, src + x * 3, 3);
                q[3] = 255;
            } else {
                const uint32_t perByte = 8 / bpp;
                uint32_t shift = 8 - bpp * (1 + uint32_t(x % perByte));
                uint32_t index = (src[x / perByte] >> shift) & ((1u << bpp) - 1);
                std::memcpy(q, palette + index * 4, 3);
                q[3] = 255;
            }
        }
    }
    // Without alpha of its own, the AND mask says which pixels are transparent.
    if (!(bpp == 32 && anyAlpha) && mask != nullptr) {
        for (uint64_t y = 0; y < height; ++y) {
            const uint8_t* m = mask + (height - 1 - y) * maskStride;
            uint8_t* o = out.data() + y * width * 4;
            for (uint64_t x = 0; x < width; ++x) {
                bool transparent = (m[x / 8] >> (7 - x % 8)) & 1;
                o[x * 4 + 3] = transparent ? 0 : 255;
            }
        }
    } else if (bpp == 32 && !anyAlpha) {
        for (uint64_t i = 0; i < width * height; ++i) {
            out.data()[i * 4 + 3] = 255;
        }
    }
    picture.width = w;
    picture.height = int32_t(height);
    picture.pixels = std::move(out);
    return true;
}

} // namespace

std::unique_ptr<Picture> DecodeIcon(const uint8_t* bytes, size_t length, PictureKind kind) {
    ByteCursor in(bytes, length);
    in.Skip(4);
    uint32_t count = in.U16();
    IconEntry best;
    bool found = false;
    for (uint32_t i = 0; i < count; ++i) {
        IconEntry e;
        in.Skip(4);
        e.hotspotX = in.U16();
        e.hotspotY = in.U16();
        e.size = in.U32();
        e.offset = in.U32();
        if (!in.ok()) {
            return nullptr;
        }
        if (e.offset >= length || e.size > length - e.offset || !MeasureImage(bytes + e.offset, e.size, e)) {
            continue;
        }
        if (!found || e.area > best.area || (e.area == best.area && e.depth > best.depth)) {
            best = e;
            found = true;
        }
    }
    if (!found) {
        return nullptr;
    }
    auto picture = std::make_unique<Picture>();
    picture->kind = kind;
    const uint8_t* image = bytes + best.offset;
    bool ok = IsPng(image, best.size)
                  ? DecodePngPixels(image, best.size, &picture->width, &picture->height, &picture->pixels)
                  : DecodeDibImage(image, best.size, *picture);
    if (!ok) {
        return nullptr;
    }
    if (kind == PictureKind::Cursor) {
        picture->hotspotX = best.hotspotX < picture->width ? best.hotspotX : 0;
        picture->hotspotY = best.hotspotY < picture->height ? best.hotspotY : 0;
    }
    return picture;
}

} // namespace pictures
