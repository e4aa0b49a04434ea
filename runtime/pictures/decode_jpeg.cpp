// JPEG pictures through libjpeg: 24-bit blue-green-red rows, bottom row first.
#include "runtime/pictures/picture_internal.h"

#include <csetjmp>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

namespace pictures {
namespace {

// Every scan of a progressive picture walks the whole picture, and one code
// can skip thousands of blocks, so a few kilobytes of hostile scans could keep
// the decoder busy for minutes. Real pictures have about ten scans; the limit
// allows scans x pixels up to this budget, and never fewer than 32 scans.
constexpr uint64_t kScanPixelBudget = 1ull << 32;
constexpr int kMinScanLimit = 32;
constexpr int kMaxScanLimit = 1000;

// Working memory libjpeg may take beyond the output (coefficient buffers of a
// progressive picture at the size cap).
constexpr long kMaxJpegWorkingMemory = long(kMaxPicturePixelBytes / 2 * 5);

// Everything a failed decode must find after the long jump lives here, in
// memory, not in locals of the function that called setjmp.
struct JpegContext {
    jpeg_error_mgr errors;
    jpeg_progress_mgr progress;
    jmp_buf jump;
    uint8_t* pixels = nullptr; // owned until handed to the picture
    size_t capacity = 0;
    bool compressStarted = false;
};

[[noreturn]] void OnJpegError(j_common_ptr cinfo) {
    auto* context = reinterpret_cast<JpegContext*>(cinfo->err);
    longjmp(context->jump, 1);
}

// Warnings are tolerated (web pictures often carry stray bytes), except running
// out of data: a cut-off picture is not a picture.
void OnJpegMessage(j_common_ptr cinfo, int level) {
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) {
        OnJpegError(cinfo);
    }
}

void OnJpegProgress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) {
        return;
    }
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    uint64_t pixels = uint64_t(d->image_width) * d->image_height;
    uint64_t limit = pixels > 0 ? kScanPixelBudget / pixels : kMaxScanLimit;
    limit = limit < kMinScanLimit ? kMinScanLimit : limit > kMaxScanLimit ? kMaxScanLimit : limit;
    if (uint64_t(d->input_scan_number) > limit) {
        OnJpegError(cinfo);
    }
}

// Adobe CMYK pictures (stored inverted) to blue-green-red. Each channel is
// c * k / 255 rounded to nearest, as libjpeg-turbo's own tools convert it, so
// a picture looks the same here as in them.
void CmykRowToBgr(const uint8_t* cmyk, uint8_t* bgr, JDIMENSION width) {
    for (JDIMENSION x = 0; x < width; ++x) {
        uint32_t c = cmyk[x * 4], m = cmyk[x * 4 + 1], y = cmyk[x * 4 + 2], k = cmyk[x * 4 + 3];
        bgr[x * 3 + 0] = uint8_t((y * k + 127) / 255);
        bgr[x * 3 + 1] = uint8_t((m * k + 127) / 255);
        bgr[x * 3 + 2] = uint8_t((c * k + 127) / 255);
    }
}

// Returns the pixel block (owned by the caller) or null. No C++ object with a
// destructor lives in this frame across the long jumps.
uint8_t* RunJpegDecode(jpeg_decompress_struct* cinfo, JpegContext* context, const uint8_t* bytes, size_t length,
                       int32_t* width, int32_t* height, size_t* size) {
    if (setjmp(context->jump)) {
        PixelBlockFree{context->capacity}(context->pixels);
        context->pixels = nullptr;
        return nullptr;
    }
    jpeg_create_decompress(cinfo);
    context->compressStarted = true;
    cinfo->mem->max_memory_to_use = kMaxJpegWorkingMemory;
    cinfo->progress = &context->progress;
    jpeg_mem_src(cinfo, bytes, static_cast<unsigned long>(length));
    jpeg_read_header(cinfo, TRUE);

    bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
#ifdef JCS_EXTENSIONS
    cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    const bool swap = false;
#else
    cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    const bool swap = !cmyk;
#endif
    jpeg_calc_output_dimensions(cinfo);
    uint64_t rowBytes = uint64_t(cinfo->output_width) * 3;
    uint64_t total = 0;
    if (cinfo->output_width == 0 || cinfo->output_height == 0 || !CheckedMul(rowBytes, cinfo->output_height, &total) ||
        total > kMaxPicturePixelBytes) {
        OnJpegError(reinterpret_cast<j_common_ptr>(cinfo));
    }
    context->pixels = AcquirePixelMemory(size_t(total), &context->capacity);
    if (context->pixels == nullptr) {
        OnJpegError(reinterpret_cast<j_common_ptr>(cinfo));
    }
    jpeg_start_decompress(cinfo);
    // CMYK rows are decoded 4 bytes a pixel into a row of libjpeg's own pool.
    JSAMPARRAY cmykRow = nullptr;
    if (cmyk) {
        cmykRow =
            (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, cinfo->output_width * 4, 1);
    }
    const JDIMENSION h = cinfo->output_height;
    // Rows are written straight into their bottom-up places: no separate flip.
    while (cinfo->output_scanline < h) {
        JSAMPROW rows[4];
        JDIMENSION first = cinfo->output_scanline;
        JDIMENSION want = cinfo->rec_outbuf_height < 4 ? cinfo->rec_outbuf_height : 4;
        if (want > h - first) {
            want = h - first;
        }
        for (JDIMENSION i = 0; i < want; ++i) {
            rows[i] = context->pixels + size_t(h - 1 - (first + i)) * size_t(rowBytes);
        }
        if (cmyk) {
            for (JDIMENSION i = 0; i < want; ++i) {
                if (jpeg_read_scanlines(cinfo, cmykRow, 1) != 1) {
                    OnJpegError(reinterpret_cast<j_common_ptr>(cinfo));
                }
                CmykRowToBgr(cmykRow[0], rows[i], cinfo->output_width);
            }
            continue;
        }
        JDIMENSION got = jpeg_read_scanlines(cinfo, rows, want);
        if (got == 0) {
            OnJpegError(reinterpret_cast<j_common_ptr>(cinfo));
        }
        if (swap) {
            for (JDIMENSION i = 0; i < got; ++i) {
                for (JDIMENSION x = 0; x < cinfo->output_width; ++x) {
                    std::swap(rows[i][x * 3], rows[i][x * 3 + 2]);
                }
            }
        }
    }
    jpeg_finish_decompress(cinfo);
    *width = int32_t(cinfo->output_width);
    *height = int32_t(h);
    *size = size_t(total);
    uint8_t* result = context->pixels;
    context->pixels = nullptr;
    return result;
}

} // namespace

std::unique_ptr<Picture> DecodeJpeg(const uint8_t* bytes, size_t length) {
    if (length > 0xFFFFFFFFu) {
        return nullptr;
    }
    jpeg_decompress_struct cinfo{};
    JpegContext context;
    cinfo.err = jpeg_std_error(&context.errors);
    context.errors.error_exit = OnJpegError;
    context.errors.emit_message = OnJpegMessage;
    context.progress.progress_monitor = OnJpegProgress;
    int32_t width = 0, height = 0;
    size_t size = 0;
    uint8_t* pixels = RunJpegDecode(&cinfo, &context, bytes, length, &width, &height, &size);
    if (context.compressStarted) {
        jpeg_destroy_decompress(&cinfo);
    }
    if (pixels == nullptr) {
        return nullptr;
    }
    auto picture = std::make_unique<Picture>();
    picture->kind = PictureKind::Jpeg;
    picture->width = width;
    picture->height = height;
    picture->pixels.bytes = std::unique_ptr<uint8_t[], PixelBlockFree>(pixels, PixelBlockFree{context.capacity});
    picture->pixels.size = size;
    return picture;
}

} // namespace pictures
