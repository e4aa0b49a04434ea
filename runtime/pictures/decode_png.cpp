// PNG pictures through libpng: 32-bit blue-green-red-alpha, top row first.
//
// A picture shows the samples its file stores, as JPEG, BMP and GIF pictures
// do: no gamma or colour-profile conversion, 16-bit samples reduced to 8 bits
// with rounding, alpha as stored. That is why this reader drives libpng's
// row-by-row interface with plain transforms and not its simplified reader,
// which converts from the file's gamma (treating 16-bit files without a gAMA
// chunk as linear light) and, in libpng 1.6.39, gives wrong pixels for
// interlaced 16-bit files.
#include "runtime/pictures/picture_internal.h"

#include <csetjmp>

#include <png.h>

namespace pictures {
namespace {

struct PngInput {
    const uint8_t* bytes; // borrowed
    size_t length;
    size_t position = 0;
};

// Everything a failed decode must find after the long jump lives here, not in
// locals of the function that called setjmp.
struct PngContext {
    PngInput input;
    png_structp png = nullptr;
    png_infop info = nullptr;
    uint8_t* pixels = nullptr; // owned until handed to the picture
    size_t capacity = 0;
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

// Ancillary chunk damage and the like only warns; nothing is printed.
void OnPngWarning(png_structp, png_const_charp) {}

// Input that ends early is an error: a cut-off picture is not a picture.
void ReadPngBytes(png_structp png, png_bytep out, size_t wanted) {
    auto* input = static_cast<PngInput*>(png_get_io_ptr(png));
    if (wanted > input->length - input->position) {
        png_error(png, "cut off");
    }
    std::memcpy(out, input->bytes + input->position, wanted);
    input->position += wanted;
}

// Red, green, blue, alpha to blue, green, red, alpha in place.
void RgbaToBgra(uint8_t* row, png_uint_32 width) {
    for (png_uint_32 x = 0; x < width; ++x, row += 4) {
        const uint8_t red = row[0];
        row[0] = row[2];
        row[2] = red;
    }
}

// Red, green, blue at row + width to blue, green, red, 255 from row on.
void RgbToBgra(uint8_t* row, png_uint_32 width) {
    const uint8_t* in = row + width;
    for (png_uint_32 x = 0; x < width; ++x, in += 3, row += 4) {
        const uint8_t red = in[0], green = in[1], blue = in[2];
        row[0] = blue;
        row[1] = green;
        row[2] = red;
        row[3] = 0xFF;
    }
}

// Returns the pixel block (owned by the caller) or null. No C++ object with a
// destructor lives in this frame across the long jumps.
uint8_t* RunPngDecode(PngContext* context, uint32_t* width, uint32_t* height, size_t* size) {
    png_structp png = context->png;
    png_infop info = context->info;
    if (setjmp(png_jmpbuf(png))) {
        PixelBlockFree{context->capacity}(context->pixels);
        context->pixels = nullptr;
        return nullptr;
    }
    png_set_read_fn(png, &context->input, ReadPngBytes);
    // Only IHDR, PLTE, tRNS, IDAT and IEND bear on the pixels shown; every
    // other chunk (gamma, colour profiles, compressed text) is skipped unread.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(png, info);

    const png_uint_32 w = png_get_image_width(png, info);
    const png_uint_32 h = png_get_image_height(png, info);
    uint64_t total = 0;
    if (w == 0 || h == 0 || w > INT32_MAX / 4 || h > INT32_MAX || !CheckedMul(uint64_t(w) * 4, h, &total) ||
        total > kMaxPicturePixelBytes) {
        png_error(png, "size");
    }
    // Every colour type and depth to 8-bit red, green, blue (and alpha where
    // the file has it): palette and low-depth grey expanded, a tRNS key or
    // palette alpha made an alpha channel, 16-bit samples rounded to 8 bits,
    // grey copied to all three colours.
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    // An interlaced picture fills each row over the passes, so libpng makes
    // it blue, green, red, alpha itself; other pictures are reordered here,
    // row by row while the row is in the cache, which for the usual RGB photo
    // takes the place of libpng's filler pass instead of adding a pass.
    const bool interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    if (interlaced) {
        png_set_bgr(png);
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const int channels = png_get_channels(png, info);
    if (png_get_bit_depth(png, info) != 8 || (channels != 4 && (interlaced || channels != 3)) ||
        png_get_rowbytes(png, info) != size_t(w) * size_t(channels)) {
        png_error(png, "layout");
    }

    context->pixels = AcquirePixelMemory(size_t(total), &context->capacity);
    if (context->pixels == nullptr) {
        png_error(png, "memory");
    }
    // Rows go straight into their places (png_read_image's own loop, without
    // its row table). A 3-byte row is read into the last three quarters of its
    // place and spread forwards: each pixel is written no further than the
    // first byte not yet read.
    const size_t stride = size_t(w) * 4;
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < h; ++y) {
            uint8_t* row = context->pixels + size_t(y) * stride;
            if (interlaced) {
                png_read_row(png, row, nullptr);
            } else if (channels == 4) {
                png_read_row(png, row, nullptr);
                RgbaToBgra(row, w);
            } else {
                png_read_row(png, row + w, nullptr);
                RgbToBgra(row, w);
            }
        }
    }
    // The end chunk is not read: a picture whose image data is whole shows
    // even when the file stops there.
    *width = w;
    *height = h;
    *size = size_t(total);
    uint8_t* result = context->pixels;
    context->pixels = nullptr;
    return result;
}

} // namespace

bool DecodePngPixels(const uint8_t* bytes, size_t length, int32_t* width, int32_t* height, PixelBlock* pixels) {
    PngContext context{PngInput{bytes, length}};
    context.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (context.png == nullptr) {
        return false;
    }
    context.info = png_create_info_struct(context.png);
    if (context.info == nullptr) {
        png_destroy_read_struct(&context.png, nullptr, nullptr);
        return false;
    }
    uint32_t w = 0, h = 0;
    size_t size = 0;
    uint8_t* block = RunPngDecode(&context, &w, &h, &size);
    png_destroy_read_struct(&context.png, &context.info, nullptr);
    if (block == nullptr) {
        return false;
    }
    pixels->bytes = std::unique_ptr<uint8_t[], PixelBlockFree>(block, PixelBlockFree{context.capacity});
    pixels->size = size;
    *width = int32_t(w);
    *height = int32_t(h);
    return true;
}

std::unique_ptr<Picture> DecodePng(const uint8_t* bytes, size_t length) {
    auto picture = std::make_unique<Picture>();
    if (!DecodePngPixels(bytes, length, &picture->width, &picture->height, &picture->pixels)) {
        return nullptr;
    }
    picture->kind = PictureKind::Png;
    return picture;
}

} // namespace pictures
