// PNG pictures through libpng: 32-bit blue-green-red-alpha, top row first.
#include "runtime/pictures/picture_internal.h"

#include <png.h>

namespace pictures {

bool DecodePngPixels(const uint8_t* bytes, size_t length, int32_t* width, int32_t* height, PixelBlock* pixels) {
    // libpng's simplified reader keeps its long jumps to itself, converts every
    // colour type and depth (palette, grey, 16-bit, tRNS) to 8-bit BGRA and
    // reports damage, including data that ends early, as a failed call.
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes, length)) {
        png_image_free(&image);
        return false;
    }
    image.format = PNG_FORMAT_BGRA;
    uint64_t size = 0;
    if (image.width == 0 || image.height == 0 || image.width > INT32_MAX / 4 || image.height > INT32_MAX ||
        !CheckedMul(uint64_t(image.width) * 4, image.height, &size) || size > kMaxPicturePixelBytes) {
        png_image_free(&image);
        return false;
    }
    PixelBlock block = AllocatePixels(size);
    if (block.empty()) {
        png_image_free(&image);
        return false;
    }
    if (!png_image_finish_read(&image, nullptr, block.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    *width = int32_t(image.width);
    *height = int32_t(image.height);
    *pixels = std::move(block);
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
