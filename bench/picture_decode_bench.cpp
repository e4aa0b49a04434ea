// DecodePicture against the libraries' own decoding of the same 4000 x 3000
// JPEG and PNG into a preallocated buffer, in the same run. The colour-order
// swap, the row flip and the allocation are what DecodePicture adds; the
// ratio shows what they cost.
//   picture_decode_bench [repeats]
#include "bench/bench_line.h"
#include "runtime/pictures/picture.h"
#include "tests/runtime/pictures/picture_files.h"

#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>
#include <png.h>

using namespace picture_files;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// Gradients with some noise: a photograph-like load for both coders.
Rgba PhotoLike(int x, int y) {
    uint32_t h = uint32_t(x) * 2654435761u ^ uint32_t(y) * 2246822519u;
    h ^= h >> 15;
    int noise = int(h & 15) - 8;
    auto clamp = [](int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
    return Rgba{clamp(x * 255 / kWidth + noise), clamp(y * 255 / kHeight - noise), clamp((x + y) % 256 + noise / 2),
                255};
}

struct JpegJump {
    jpeg_error_mgr errors;
    jmp_buf jump;
};

[[noreturn]] void JpegFail(j_common_ptr c) {
    longjmp(reinterpret_cast<JpegJump*>(c->err)->jump, 1);
}

// libjpeg-turbo's own decode: RGB, top row first, into `out`.
bool LibJpegDecode(const Bytes& file, uint8_t* out) {
    jpeg_decompress_struct c{};
    JpegJump err{};
    c.err = jpeg_std_error(&err.errors);
    err.errors.error_exit = JpegFail;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&c);
        return false;
    }
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&c, TRUE);
    c.out_color_space = JCS_RGB;
    jpeg_start_decompress(&c);
    const size_t stride = size_t(c.output_width) * 3;
    while (c.output_scanline < c.output_height) {
        JSAMPROW row = out + size_t(c.output_scanline) * stride;
        jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    return true;
}

struct PngSource {
    const Bytes* file;
    size_t at;
};

void PngRead(png_structp png, png_bytep out, png_size_t n) {
    auto* s = static_cast<PngSource*>(png_get_io_ptr(png));
    if (s->at + n > s->file->size()) {
        png_error(png, "short");
    }
    std::memcpy(out, s->file->data() + s->at, n);
    s->at += n;
}

// libpng's own decode: 8-bit RGBA, top row first, into `out`.
bool LibPngDecode(const Bytes& file, uint8_t* out, std::vector<png_bytep>& rows) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    PngSource source{&file, 0};
    png_set_read_fn(png, &source, PngRead);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    const png_uint_32 h = png_get_image_height(png, info);
    const size_t stride = png_get_rowbytes(png, info);
    for (png_uint_32 y = 0; y < h; ++y) {
        rows[y] = out + size_t(y) * stride;
    }
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

template <typename F> double BestSeconds(int repeats, F&& run) {
    double best = 1e9;
    for (int i = 0; i < repeats; ++i) {
        auto start = Clock::now();
        if (!run()) {
            std::fprintf(stderr, "decode failed\n");
            std::exit(1);
        }
        double s = std::chrono::duration<double>(Clock::now() - start).count();
        best = s < best ? s : best;
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::atoi(argv[1]) : 5;
    std::printf("making %d x %d pictures...\n", kWidth, kHeight);
    const Bytes jpeg = Jpeg(kWidth, kHeight, PhotoLike, 90);
    const Bytes png = Png(kWidth, kHeight, PhotoLike, false);
    std::printf("jpeg %zu bytes, png %zu bytes, best of %d runs\n", jpeg.size(), png.size(), repeats);

    std::unique_ptr<uint8_t[]> buffer(new uint8_t[size_t(kWidth) * kHeight * 4]);
    std::memset(buffer.get(), 0, size_t(kWidth) * kHeight * 4); // touch it before timing
    std::vector<png_bytep> rows(kHeight);

    auto ours = [](const Bytes& file, PictureKind kind) {
        return [&file, kind] {
            auto p = DecodePicture(file.data(), int64_t(file.size()));
            return p != nullptr && p->kind == kind && p->width == kWidth && p->height == kHeight;
        };
    };
    // Alternate the two sides so neither gains from a warmer cache or clock.
    double jpegLib = BestSeconds(1, [&] { return LibJpegDecode(jpeg, buffer.get()); });
    double jpegOurs = BestSeconds(1, ours(jpeg, PictureKind::Jpeg));
    for (int i = 1; i < repeats; ++i) {
        double a = BestSeconds(1, [&] { return LibJpegDecode(jpeg, buffer.get()); });
        double b = BestSeconds(1, ours(jpeg, PictureKind::Jpeg));
        jpegLib = a < jpegLib ? a : jpegLib;
        jpegOurs = b < jpegOurs ? b : jpegOurs;
    }
    double pngLib = BestSeconds(1, [&] { return LibPngDecode(png, buffer.get(), rows); });
    double pngOurs = BestSeconds(1, ours(png, PictureKind::Png));
    for (int i = 1; i < repeats; ++i) {
        double a = BestSeconds(1, [&] { return LibPngDecode(png, buffer.get(), rows); });
        double b = BestSeconds(1, ours(png, PictureKind::Png));
        pngLib = a < pngLib ? a : pngLib;
        pngOurs = b < pngOurs ? b : pngOurs;
    }
    std::printf("jpeg: libjpeg-turbo %.1f ms, DecodePicture %.1f ms, ratio %.3f\n", jpegLib * 1e3,
                jpegOurs * 1e3, jpegOurs / jpegLib);
    std::printf("png:  libpng %.1f ms, DecodePicture %.1f ms, ratio %.3f\n", pngLib * 1e3,
                pngOurs * 1e3, pngOurs / pngLib);
    PrintBenchLine("jpeg_decode", jpegOurs * 1e3, jpegLib * 1e3, "ms");
    PrintBenchLine("png_decode", pngOurs * 1e3, pngLib * 1e3, "ms");
    return 0;
}
