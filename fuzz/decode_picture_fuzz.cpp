// libFuzzer entry for DecodePicture: any bytes must give a picture whose pixel
// block matches its kind's layout, or null; never a crash, a leak or a hang.
#include "runtime/pictures/picture.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

size_t ExpectedSize(const Picture& p) {
    const size_t w = size_t(p.width), h = size_t(p.height);
    switch (p.kind) {
    case PictureKind::Jpeg:
    case PictureKind::Bmp:
        return w * h * 3;
    case PictureKind::Icon:
    case PictureKind::Cursor:
    case PictureKind::Png:
        return w * h * 4;
    case PictureKind::Pcx8:
        return 40 + 1024 + ((w + 3) & ~size_t(3)) * h;
    case PictureKind::Pcx1:
        return (w + 15) / 16 * 2 * h;
    case PictureKind::Gif:
    case PictureKind::None:
        break;
    }
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto picture = DecodePicture(data, int64_t(size));
    if (!picture) {
        return 0;
    }
    if (picture->width <= 0 || picture->height <= 0) {
        std::abort();
    }
    if (picture->kind == PictureKind::Gif) {
        const size_t frameSize = 40 + 1024 + ((size_t(picture->width) + 3) & ~size_t(3)) * size_t(picture->height);
        if (picture->frames.empty()) {
            std::abort();
        }
        volatile uint8_t sink = 0;
        for (const PictureFrame& f : picture->frames) {
            if (f.pixels.size != frameSize) {
                std::abort();
            }
            sink = sink + f.pixels.data()[frameSize - 1]; // the whole block is there
        }
        return 0;
    }
    if (picture->pixels.size != ExpectedSize(*picture)) {
        std::abort();
    }
    volatile uint8_t last = picture->pixels.data()[picture->pixels.size - 1];
    (void)last;
    return 0;
}
