// PCX pictures (our own reader): 8-bit with the 256-colour table at the end of
// the file, and 1-bit monochrome; one plane each, run-length encoded.
#include "runtime/pictures/picture_internal.h"

namespace pictures {
namespace {

constexpr size_t kHeaderBytes = 128;
constexpr size_t kTrailingPaletteBytes = 769; // 0x0C then 256 red-green-blue entries

// Decodes the run-length stream one scan line at a time; a run may continue
// over the end of a line, as many writers emit.
class PcxRuns {
public:
    PcxRuns(const uint8_t* data, size_t size) : in_(data, size) {}

    bool ReadLine(uint8_t* out, size_t n) {
        for (size_t i = 0; i < n;) {
            if (runLeft_ == 0) {
                uint8_t b = in_.U8();
                if ((b & 0xC0) == 0xC0) {
                    runLeft_ = b & 0x3F;
                    runValue_ = in_.U8();
                } else {
                    runLeft_ = 1;
                    runValue_ = b;
                }
                if (!in_.ok()) {
                    return false;
                }
                continue;
            }
            size_t take = runLeft_ < n - i ? runLeft_ : n - i;
            std::memset(out + i, runValue_, take);
            i += take;
            runLeft_ -= take;
        }
        return true;
    }

private:
    ByteCursor in_;
    size_t runLeft_ = 0;
    uint8_t runValue_ = 0;
};

} // namespace

std::unique_ptr<Picture> DecodePcx(const uint8_t* bytes, size_t length, PictureKind kind) {
    ByteCursor in(bytes, length);
    in.Skip(4);
    uint32_t xMin = in.U16(), yMin = in.U16(), xMax = in.U16(), yMax = in.U16();
    in.Seek(65);
    uint32_t planes = in.U8();
    uint32_t bytesPerLine = in.U16();
    if (!in.ok() || length < kHeaderBytes || xMax < xMin || yMax < yMin || planes != 1) {
        return nullptr;
    }
    const uint32_t bpp = kind == PictureKind::Pcx8 ? 8 : 1;
    const int32_t width = int32_t(xMax - xMin + 1), height = int32_t(yMax - yMin + 1);
    const uint64_t usedBytes = (uint64_t(width) * bpp + 7) / 8;
    if (bytesPerLine < usedBytes) {
        return nullptr;
    }
    PixelBlock out;
    uint64_t stride = 0;
    size_t streamEnd = length;
    uint8_t table[256 * 4] = {};
    if (kind == PictureKind::Pcx8) {
        out = AllocateDib8(width, height, kMaxPicturePixelBytes);
        stride = PaddedRowBytes(uint64_t(width), 8, 4);
        const uint8_t* tail =
            length >= kHeaderBytes + kTrailingPaletteBytes ? bytes + length - kTrailingPaletteBytes : nullptr;
        for (int i = 0; i < 256; ++i) {
            uint8_t r = uint8_t(i), g = uint8_t(i), b = uint8_t(i); // no table: grey levels
            if (tail != nullptr && tail[0] == 0x0C) {
                r = tail[1 + i * 3];
                g = tail[2 + i * 3];
                b = tail[3 + i * 3];
            }
            table[i * 4] = b;
            table[i * 4 + 1] = g;
            table[i * 4 + 2] = r;
        }
        if (tail != nullptr && tail[0] == 0x0C) {
            streamEnd = length - kTrailingPaletteBytes;
        }
    } else {
        stride = PaddedRowBytes(uint64_t(width), 1, 2);
        uint64_t size = 0;
        if (CheckedMul(stride, uint64_t(height), &size)) {
            out = AllocatePixels(size);
        }
    }
    if (out.empty()) {
        return nullptr;
    }
    PixelBlock line = AllocatePixels(bytesPerLine);
    if (line.empty()) {
        return nullptr;
    }
    PcxRuns runs(bytes + kHeaderBytes, streamEnd - kHeaderBytes);
    for (int32_t y = 0; y < height; ++y) {
        if (!runs.ReadLine(line.data(), bytesPerLine)) {
            return nullptr;
        }
        uint8_t* row = kind == PictureKind::Pcx8 ? Dib8Row(out, width, height, y) : out.data() + size_t(y) * stride;
        std::memcpy(row, line.data(), size_t(usedBytes));
        std::memset(row + usedBytes, 0, size_t(stride - usedBytes));
    }
    if (kind == PictureKind::Pcx8) {
        std::memcpy(out.data() + kDibHeaderBytes, table, sizeof table);
    }
    auto picture = std::make_unique<Picture>();
    picture->kind = kind;
    picture->width = width;
    picture->height = height;
    picture->pixels = std::move(out);
    return picture;
}

} // namespace pictures
