// Shared pieces of the picture readers: the bounds-checked byte cursor, checked
// size arithmetic and the pixel block allocation with the size cap.
#pragma once

#include "runtime/pictures/picture.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace pictures {

// Reads little-endian fields from a byte span; any read past the end sets the
// failed flag and yields 0, so a reader checks `ok()` once after a group of
// fields instead of after every one.
class ByteCursor {
public:
    ByteCursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool ok() const { return !failed_; }
    size_t position() const { return pos_; }
    size_t remaining() const { return pos_ <= size_ ? size_ - pos_ : 0; }
    const uint8_t* here() const { return data_ + pos_; }

    bool Seek(size_t pos) {
        if (pos > size_) {
            failed_ = true;
            return false;
        }
        pos_ = pos;
        return true;
    }
    bool Skip(size_t n) { return n <= remaining() ? Seek(pos_ + n) : Fail(); }

    uint8_t U8() {
        if (remaining() < 1) {
            Fail();
            return 0;
        }
        return data_[pos_++];
    }
    uint16_t U16() {
        if (remaining() < 2) {
            Fail();
            return 0;
        }
        uint16_t v = uint16_t(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    uint32_t U32() {
        if (remaining() < 4) {
            Fail();
            return 0;
        }
        uint32_t v = uint32_t(data_[pos_]) | (uint32_t(data_[pos_ + 1]) << 8) | (uint32_t(data_[pos_ + 2]) << 16) |
                     (uint32_t(data_[pos_ + 3]) << 24);
        pos_ += 4;
        return v;
    }
    int32_t I32() { return int32_t(U32()); }

    // Borrowed view of the next n bytes, or null (and failed) if they are not there.
    const uint8_t* Take(size_t n) {
        if (n > remaining()) {
            Fail();
            return nullptr;
        }
        const uint8_t* p = data_ + pos_;
        pos_ += n;
        return p;
    }

private:
    bool Fail() {
        failed_ = true;
        return false;
    }

    const uint8_t* data_; // borrowed
    size_t size_;
    size_t pos_ = 0;
    bool failed_ = false;
};

// a * b, or false on overflow of 64 bits.
inline bool CheckedMul(uint64_t a, uint64_t b, uint64_t* out) {
    return !__builtin_mul_overflow(a, b, out);
}

// Raw pixel memory of at least `size` bytes (a recycled block when one fits),
// or null; `capacity` receives the block's real size for its release.
uint8_t* AcquirePixelMemory(size_t size, size_t* capacity);

// A pixel block of `size` bytes, or an empty one when the size is 0, above the
// cap, or the memory is not there.
inline PixelBlock AllocatePixels(uint64_t size) {
    PixelBlock block;
    if (size == 0 || size > kMaxPicturePixelBytes) {
        return block;
    }
    size_t capacity = 0;
    uint8_t* memory = AcquirePixelMemory(size_t(size), &capacity);
    if (memory != nullptr) {
        block.bytes = std::unique_ptr<uint8_t[], PixelBlockFree>(memory, PixelBlockFree{capacity});
        block.size = size_t(size);
    }
    return block;
}

// Bytes of one row of `bitsPerPixel` pixels padded to a multiple of `align` bytes.
inline uint64_t PaddedRowBytes(uint64_t width, uint32_t bitsPerPixel, uint32_t align) {
    return ((width * bitsPerPixel + 8 * align - 1) / (8 * align)) * align;
}

inline void PutU16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// 8-bit device-independent bitmaps (GIF frames and 8-bit PCX): header, colour
// table, then the padded rows bottom row first.
constexpr size_t kDibHeaderBytes = 40;
constexpr size_t kDib8ColourTableBytes = 256 * 4;
constexpr size_t kDib8PixelOffset = kDibHeaderBytes + kDib8ColourTableBytes;

// Allocates an 8-bit DIB of width x height with its header filled and the colour
// table zeroed; `maxBytes` bounds the block (the cap left for this picture).
PixelBlock AllocateDib8(int32_t width, int32_t height, uint64_t maxBytes);
// Start of row y (0 = top) of an 8-bit DIB made by AllocateDib8.
uint8_t* Dib8Row(PixelBlock& dib, int32_t width, int32_t height, int32_t y);

// The readers, one per kind. Each returns null on any failure.
std::unique_ptr<Picture> DecodeJpeg(const uint8_t* bytes, size_t length);
std::unique_ptr<Picture> DecodePng(const uint8_t* bytes, size_t length);
std::unique_ptr<Picture> DecodeBmp(const uint8_t* bytes, size_t length);
std::unique_ptr<Picture> DecodeIcon(const uint8_t* bytes, size_t length, PictureKind kind);
std::unique_ptr<Picture> DecodeGif(const uint8_t* bytes, size_t length);
std::unique_ptr<Picture> DecodePcx(const uint8_t* bytes, size_t length, PictureKind kind);

// A PNG decoded into top-down BGRA, for PNG pictures and PNG images inside icons.
bool DecodePngPixels(const uint8_t* bytes, size_t length, int32_t* width, int32_t* height, PixelBlock* pixels);

// Opens a file named by a GBK text for reading; null when it cannot.
FILE* OpenPictureFile(const char* fileName);

} // namespace pictures
