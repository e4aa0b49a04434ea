// BMP pictures (our own reader): every header version, 1/4/8-bit palette,
// 16/24/32-bit with or without bit fields, RLE4 and RLE8, either row order.
// Out: 24-bit blue-green-red, bottom row first, rows not padded.
#include "runtime/pictures/picture_internal.h"

#include <vector>

namespace pictures {
namespace {

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;

// One colour channel described by a bit mask, scaled to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    static Channel FromMask(uint32_t mask) {
        Channel c;
        c.mask = mask;
        if (mask == 0) {
            return c;
        }
        while (((mask >> c.shift) & 1) == 0) {
            ++c.shift;
        }
        while (c.shift + c.bits < 32 && ((mask >> (c.shift + c.bits)) & 1) != 0) {
            ++c.bits;
        }
        return c;
    }
    uint8_t Extract(uint32_t value) const {
        if (bits == 0) {
            return 0;
        }
        uint32_t v = (value & mask) >> shift;
        if (bits >= 8) {
            return uint8_t(v >> (bits - 8));
        }
        uint32_t max = (1u << bits) - 1;
        return uint8_t(v * 255 / max);
    }
};

struct BmpInfo {
    int32_t width = 0;
    int32_t height = 0; // always positive here
    bool topDown = false;
    uint32_t bitsPerPixel = 0;
    uint32_t compression = kRgb;
    Channel red, green, blue;
    std::vector<uint8_t> palette; // 4 bytes an entry: blue, green, red, unused
};

// Decodes RLE8/RLE4 into one palette index per pixel, rows in file order
// (bottom-up). Pixels the codes skip stay index 0.
bool DecodeRle(ByteCursor& in, const BmpInfo& info, uint8_t* indices) {
    const uint32_t w = uint32_t(info.width), h = uint32_t(info.height);
    uint32_t x = 0, y = 0;
    const bool four = info.compression == kRle4;
    while (y < h) {
        uint8_t count = in.U8();
        uint8_t code = in.U8();
        if (!in.ok()) {
            return false;
        }
        if (count > 0) {
            for (uint32_t i = 0; i < count && x < w; ++i, ++x) {
                indices[size_t(y) * w + x] = four ? ((i & 1) ? (code & 0x0F) : (code >> 4)) : code;
            }
            continue;
        }
        if (code == 0) { // end of line
            x = 0;
            ++y;
        } else if (code == 1) { // end of picture
            return true;
        } else if (code == 2) { // delta
            uint8_t dx = in.U8();
            uint8_t dy = in.U8();
            if (!in.ok()) {
                return false;
            }
            x += dx;
            y += dy;
        } else { // a literal run of `code` pixels, padded to 16 bits
            size_t bytes = four ? (code + 1) / 2 : code;
            const uint8_t* run = in.Take(bytes + (bytes & 1));
            if (run == nullptr) {
                return false;
            }
            for (uint32_t i = 0; i < code && x < w; ++i, ++x) {
                uint8_t v = four ? ((i & 1) ? (run[i / 2] & 0x0F) : (run[i / 2] >> 4)) : run[i];
                indices[size_t(y) * w + x] = v;
            }
        }
    }
    return true;
}

bool ReadInfo(ByteCursor& in, BmpInfo& info, uint32_t* pixelOffset) {
    in.Seek(10);
    *pixelOffset = in.U32();
    uint32_t headerSize = in.U32();
    if (!in.ok()) {
        return false;
    }
    size_t paletteEntryBytes = 4;
    uint32_t coloursUsed = 0;
    if (headerSize == 12) {
        info.width = in.U16();
        info.height = in.U16();
        in.U16();
        info.bitsPerPixel = in.U16();
        paletteEntryBytes = 3;
    } else if (headerSize >= 40 && headerSize <= 4096) {
        info.width = in.I32();
        int32_t h = in.I32();
        in.U16();
        info.bitsPerPixel = in.U16();
        info.compression = in.U32();
        in.Skip(12);
        coloursUsed = in.U32();
        in.U32();
        if (h == INT32_MIN) {
            return false;
        }
        info.topDown = h < 0;
        info.height = h < 0 ? -h : h;
        if (info.compression == kBitFields || info.compression == kAlphaBitFields) {
            // Masks follow a 40-byte header, or sit inside a longer one.
            info.red = Channel::FromMask(in.U32());
            info.green = Channel::FromMask(in.U32());
            info.blue = Channel::FromMask(in.U32());
            if (info.compression == kAlphaBitFields && headerSize == 40) {
                in.U32();
            }
            if (headerSize > 40) {
                in.Seek(14 + headerSize);
            }
        } else {
            in.Seek(14 + headerSize);
        }
    } else {
        return false;
    }
    if (!in.ok() || info.width <= 0 || info.height <= 0) {
        return false;
    }
    uint32_t bpp = info.bitsPerPixel;
    bool rle = info.compression == kRle8 || info.compression == kRle4;
    if ((info.compression == kRle8 && bpp != 8) || (info.compression == kRle4 && bpp != 4) || (rle && info.topDown)) {
        return false;
    }
    bool fields = info.compression == kBitFields || info.compression == kAlphaBitFields;
    if ((fields && bpp != 16 && bpp != 32) || (!fields && !rle && info.compression != kRgb)) {
        return false;
    }
    if (bpp == 16 && !fields) {
        info.red = Channel::FromMask(0x7C00);
        info.green = Channel::FromMask(0x03E0);
        info.blue = Channel::FromMask(0x001F);
    }
    if (bpp <= 8) {
        if (bpp != 1 && bpp != 4 && bpp != 8) {
            return false;
        }
        uint32_t count = (coloursUsed == 0 || coloursUsed > (1u << bpp)) ? (1u << bpp) : coloursUsed;
        info.palette.assign(size_t(1u << bpp) * 4, 0);
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* e = in.Take(paletteEntryBytes);
            if (e == nullptr) {
                return false;
            }
            std::memcpy(&info.palette[i * 4], e, 3);
        }
    } else if (bpp != 16 && bpp != 24 && bpp != 32) {
        return false;
    }
    return true;
}

} // namespace

std::unique_ptr<Picture> DecodeBmp(const uint8_t* bytes, size_t length) {
    ByteCursor in(bytes, length);
    BmpInfo info;
    uint32_t pixelOffset = 0;
    if (!ReadInfo(in, info, &pixelOffset)) {
        return nullptr;
    }
    const uint64_t w = uint64_t(info.width), h = uint64_t(info.height);
    uint64_t outSize = 0;
    if (!CheckedMul(w * 3, h, &outSize) || outSize > kMaxPicturePixelBytes) {
        return nullptr;
    }
    // Some writers leave the offset 0: the pixels then follow the palette.
    if (pixelOffset != 0 && !in.Seek(pixelOffset)) {
        return nullptr;
    }
    PixelBlock out = AllocatePixels(outSize);
    if (out.empty()) {
        return nullptr;
    }
    const uint32_t bpp = info.bitsPerPixel;
    const size_t outStride = size_t(w * 3);
    auto outRow = [&](uint64_t fileRow) {
        // File rows are bottom-up unless the height was negative.
        uint64_t fromBottom = info.topDown ? h - 1 - fileRow : fileRow;
        return out.data() + size_t(fromBottom) * outStride;
    };
    auto putIndex = [&](uint8_t* o, uint32_t index) {
        const uint8_t* c = &info.palette[size_t(index) * 4];
        o[0] = c[0];
        o[1] = c[1];
        o[2] = c[2];
    };

    if (info.compression == kRle8 || info.compression == kRle4) {
        PixelBlock indices = AllocatePixels(w * h);
        if (indices.empty()) {
            return nullptr;
        }
        std::memset(indices.data(), 0, indices.size);
        if (!DecodeRle(in, info, indices.data())) {
            return nullptr;
        }
        for (uint64_t y = 0; y < h; ++y) {
            uint8_t* o = outRow(y);
            const uint8_t* src = indices.data() + size_t(y * w);
            for (uint64_t x = 0; x < w; ++x) {
                putIndex(o + x * 3, src[x] & ((1u << bpp) - 1));
            }
        }
    } else {
        const uint64_t stride = PaddedRowBytes(w, bpp, 4);
        // Every row must be there; only the pad after the last one may be missing.
        const uint64_t lastRow = (w * bpp + 7) / 8;
        uint64_t need = 0;
        if (!CheckedMul(stride, h - 1, &need) || need + lastRow > in.remaining()) {
            return nullptr;
        }
        for (uint64_t y = 0; y < h; ++y) {
            const uint8_t* src = in.here() + size_t(y * stride);
            uint8_t* o = outRow(y);
            switch (bpp) {
            case 1:
            case 4:
            case 8: {
                const uint32_t perByte = 8 / bpp, mask = (1u << bpp) - 1;
                for (uint64_t x = 0; x < w; ++x) {
                    uint32_t shift = 8 - bpp * (1 + uint32_t(x % perByte));
                    putIndex(o + x * 3, (src[x / perByte] >> shift) & mask);
                }
                break;
            }
            case 24:
                std::memcpy(o, src, outStride);
                break;
            case 16:
            case 32:
                for (uint64_t x = 0; x < w; ++x) {
                    uint32_t v = bpp == 16 ? uint32_t(src[x * 2] | (src[x * 2 + 1] << 8))
                                           : uint32_t(src[x * 4]) | (uint32_t(src[x * 4 + 1]) << 8) |
                                                 (uint32_t(src[x * 4 + 2]) << 16) | (uint32_t(src[x * 4 + 3]) << 24);
                    if (bpp == 32 && info.compression == kRgb) {
                        o[x * 3] = src[x * 4];
                        o[x * 3 + 1] = src[x * 4 + 1];
                        o[x * 3 + 2] = src[x * 4 + 2];
                        continue;
                    }
                    o[x * 3] = info.blue.Extract(v);
                    o[x * 3 + 1] = info.green.Extract(v);
                    o[x * 3 + 2] = info.red.Extract(v);
                }
                break;
            }
        }
    }
    auto picture = std::make_unique<Picture>();
    picture->kind = PictureKind::Bmp;
    picture->width = info.width;
    picture->height = info.height;
    picture->pixels = std::move(out);
    return picture;
}

} // namespace pictures
