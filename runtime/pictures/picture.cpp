// Kind detection, the decoding entry point and the pieces shared by the readers.
#include "runtime/pictures/picture.h"

#include "runtime/pictures/picture_internal.h"

#include <mutex>

namespace pictures {
namespace {

// Only blocks of a size where fresh pages cost more than the lock are kept, and
// none so big that holding it on to would matter to a 32-bit process.
constexpr size_t kRecycleMin = 1u << 20;
constexpr size_t kRecycleMax = 64u << 20;

struct RecycledBlock {
    std::mutex lock;
    uint8_t* block = nullptr; // owned
    size_t capacity = 0;
};

// Never destroyed: a picture held in a static may be released after every
// static of this file is gone.
RecycledBlock& Recycled() {
    static RecycledBlock* recycled = new RecycledBlock;
    return *recycled;
}

} // namespace

uint8_t* AcquirePixelMemory(size_t size, size_t* capacity) {
    if (size >= kRecycleMin) {
        RecycledBlock& r = Recycled();
        std::lock_guard<std::mutex> guard(r.lock);
        // Reused only for a picture that needs most of it.
        if (r.block != nullptr && r.capacity >= size && r.capacity / 2 <= size) {
            uint8_t* block = r.block;
            *capacity = r.capacity;
            r.block = nullptr;
            r.capacity = 0;
            return block;
        }
    }
    *capacity = size;
    return new (std::nothrow) uint8_t[size];
}

PixelBlock AllocateDib8(int32_t width, int32_t height, uint64_t maxBytes) {
    PixelBlock dib;
    if (width <= 0 || height <= 0) {
        return dib;
    }
    uint64_t size = 0;
    if (!CheckedMul(PaddedRowBytes(uint64_t(width), 8, 4), uint64_t(height), &size)) {
        return dib;
    }
    size += kDib8PixelOffset;
    if (size > maxBytes) {
        return dib;
    }
    dib = AllocatePixels(size);
    if (dib.empty()) {
        return dib;
    }
    uint8_t* h = dib.data();
    std::memset(h, 0, kDib8PixelOffset);
    PutU32(h + 0, kDibHeaderBytes);
    PutU32(h + 4, uint32_t(width));
    PutU32(h + 8, uint32_t(height)); // positive: bottom row first
    PutU16(h + 12, 1);               // planes
    PutU16(h + 14, 8);               // bits per pixel
    PutU32(h + 16, 0);               // uncompressed
    PutU32(h + 20, uint32_t(size - kDib8PixelOffset));
    PutU32(h + 32, 256); // colours used
    return dib;
}

uint8_t* Dib8Row(PixelBlock& dib, int32_t width, int32_t height, int32_t y) {
    size_t stride = size_t(PaddedRowBytes(uint64_t(width), 8, 4));
    return dib.data() + kDib8PixelOffset + size_t(height - 1 - y) * stride;
}

} // namespace pictures

void PixelBlockFree::operator()(uint8_t* block) const {
    using namespace pictures;
    if (block == nullptr) {
        return;
    }
    if (capacity >= kRecycleMin && capacity <= kRecycleMax) {
        RecycledBlock& r = Recycled();
        std::lock_guard<std::mutex> guard(r.lock);
        std::swap(block, r.block); // the newest is kept; the one it displaces is freed
        r.capacity = capacity;
    }
    delete[] block;
}

PictureKind DetectPictureKind(const uint8_t* b, int64_t length) {
    if (b == nullptr || length < 8) {
        return PictureKind::None;
    }
    auto u16 = [b](int at) { return uint16_t(b[at] | (b[at + 1] << 8)); };
    if (b[0] == 0xFF && b[1] == 0xD8) {
        return PictureKind::Jpeg;
    }
    if (b[0] == 'B' && b[1] == 'M') {
        return PictureKind::Bmp;
    }
    if (u16(0) == 0 && u16(2) == 1 && u16(4) > 0) {
        return PictureKind::Icon;
    }
    if (u16(0) == 0 && u16(2) == 2 && u16(4) > 0) {
        return PictureKind::Cursor;
    }
    if (b[0] == 'G' && b[1] == 'I' && b[2] == 'F' && b[3] == '8' && (b[4] == '7' || b[4] == '9') && b[5] == 'a') {
        return PictureKind::Gif;
    }
    if (b[0] == 0x0A && b[1] <= 5 && b[2] == 1 && b[3] == 8) {
        return PictureKind::Pcx8;
    }
    if (b[0] == 0x0A && b[1] == 3 && b[2] == 1 && b[3] == 1) {
        return PictureKind::Pcx1;
    }
    if (b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G') {
        return PictureKind::Png;
    }
    return PictureKind::None;
}

std::unique_ptr<Picture> DecodePicture(const uint8_t* bytes, int64_t length) {
    if (bytes == nullptr || length <= 0) {
        return nullptr;
    }
    size_t n = size_t(length);
    using namespace pictures;
    // The readers report damage by returning null; the only exception left is
    // running out of memory for a small bookkeeping block, which is no picture either.
    try {
        switch (DetectPictureKind(bytes, length)) {
        case PictureKind::Jpeg:
            return DecodeJpeg(bytes, n);
        case PictureKind::Bmp:
            return DecodeBmp(bytes, n);
        case PictureKind::Icon:
            return DecodeIcon(bytes, n, PictureKind::Icon);
        case PictureKind::Cursor:
            return DecodeIcon(bytes, n, PictureKind::Cursor);
        case PictureKind::Gif:
            return DecodeGif(bytes, n);
        case PictureKind::Pcx8:
            return DecodePcx(bytes, n, PictureKind::Pcx8);
        case PictureKind::Pcx1:
            return DecodePcx(bytes, n, PictureKind::Pcx1);
        case PictureKind::Png:
            return DecodePng(bytes, n);
        case PictureKind::None:
            break;
        }
    } catch (...) {
    }
    return nullptr;
}

void CompositeOverColour(const uint8_t* bgra, size_t pixelCount, PictureColour background, uint8_t* out) {
    const uint32_t backB = (background >> 16) & 0xFF;
    const uint32_t backG = (background >> 8) & 0xFF;
    const uint32_t backR = background & 0xFF;
    for (size_t i = 0; i < pixelCount; ++i) {
        const uint8_t* p = bgra + i * 4;
        uint8_t* q = out + i * 4;
        uint32_t a = p[3];
        if (a == 255) {
            if (q != p) {
                std::memcpy(q, p, 4);
            }
            continue;
        }
        // In integers the quotient is the exact mix, truncated; it never exceeds 255.
        q[0] = uint8_t((a * p[0] + (255 - a) * backB) / 255);
        q[1] = uint8_t((a * p[1] + (255 - a) * backG) / 255);
        q[2] = uint8_t((a * p[2] + (255 - a) * backR) / 255);
        q[3] = uint8_t(a);
    }
}
