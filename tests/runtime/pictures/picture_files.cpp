#include "tests/runtime/pictures/picture_files.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

namespace picture_files {
namespace {

void Put16(Bytes& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

size_t Stride(int width, int bpp, int align) {
    return size_t((width * bpp + 8 * align - 1) / (8 * align) * align);
}

void PutPixelBits(uint8_t* row, int x, int bpp, uint32_t value) {
    int perByte = 8 / bpp;
    int shift = 8 - bpp * (1 + x % perByte);
    row[x / perByte] |= uint8_t(value << shift);
}

} // namespace

Rgba Quadrants(int x, int y, int width, int height) {
    bool right = x >= width / 2, bottom = y >= height / 2;
    if (!bottom) {
        return right ? Rgba{0, 255, 0, 255} : Rgba{255, 0, 0, 255};
    }
    return right ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 255, 255};
}

namespace {

Bytes EncodeJpeg(int width, int height, const PixelFn& pixel, int quality, bool grey, bool progressive,
                 const std::vector<jpeg_scan_info>* scans) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = JDIMENSION(width);
    c.image_height = JDIMENSION(height);
    c.input_components = grey ? 1 : 3;
    c.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    if (progressive) {
        jpeg_simple_progression(&c);
    }
    if (scans != nullptr) {
        c.scan_info = scans->data();
        c.num_scans = int(scans->size());
    }
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(size_t(width) * 3);
    while (c.next_scanline < c.image_height) {
        int y = int(c.next_scanline);
        for (int x = 0; x < width; ++x) {
            Rgba p = pixel(x, y);
            if (grey) {
                row[size_t(x)] = p.g;
            } else {
                row[size_t(x) * 3] = p.r;
                row[size_t(x) * 3 + 1] = p.g;
                row[size_t(x) * 3 + 2] = p.b;
            }
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    Bytes out(mem, mem + size);
    jpeg_destroy_compress(&c);
    std::free(mem);
    return out;
}

} // namespace

Bytes Jpeg(int width, int height, const PixelFn& pixel, int quality, bool grey, bool progressive) {
    return EncodeJpeg(width, height, pixel, quality, grey, progressive, nullptr);
}

Bytes JpegManyScans(int width, int height, const PixelFn& pixel, bool refineEveryBit) {
    std::vector<jpeg_scan_info> scans;
    scans.push_back(jpeg_scan_info{3, {0, 1, 2, 0}, 0, 0, 0, 0}); // every DC coefficient at once
    for (int component = 0; component < 3; ++component) {
        for (int k = 1; k < 64; ++k) {
            if (!refineEveryBit) {
                scans.push_back(jpeg_scan_info{1, {component, 0, 0, 0}, k, k, 0, 0});
                continue;
            }
            scans.push_back(jpeg_scan_info{1, {component, 0, 0, 0}, k, k, 0, 10});
            for (int bit = 9; bit >= 0; --bit) {
                scans.push_back(jpeg_scan_info{1, {component, 0, 0, 0}, k, k, bit + 1, bit});
            }
        }
    }
    return EncodeJpeg(width, height, pixel, 90, false, true, &scans);
}

Bytes JpegCmyk(int width, int height, const std::function<Cmyk(int x, int y)>& pixel, bool ycck) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = JDIMENSION(width);
    c.image_height = JDIMENSION(height);
    c.input_components = 4;
    c.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, ycck ? JCS_YCCK : JCS_CMYK); // both write the Adobe marker
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(size_t(width) * 4);
    while (c.next_scanline < c.image_height) {
        int y = int(c.next_scanline);
        for (int x = 0; x < width; ++x) {
            Cmyk p = pixel(x, y);
            uint8_t* q = &row[size_t(x) * 4];
            q[0] = p.c;
            q[1] = p.m;
            q[2] = p.y;
            q[3] = p.k;
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    Bytes out(mem, mem + size);
    jpeg_destroy_compress(&c);
    std::free(mem);
    return out;
}

namespace {

void AppendPngBytes(png_structp png, png_bytep data, size_t n) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

void FlushPngBytes(png_structp) {}

int PngChannels(int colourType) {
    switch (colourType) {
    case 0:
    case 3:
        return 1;
    case 4:
        return 2;
    case 2:
        return 3;
    default:
        return 4;
    }
}

} // namespace

Bytes PngSamples(int width, int height, const PngFormat& format, const SampleFn& sample) {
    // Rows as libpng takes them: one byte a sample below 8 bits (packed by
    // png_set_packing), big-endian pairs at 16.
    const int channels = PngChannels(format.colourType);
    const size_t bytesPerSample = format.bitDepth == 16 ? 2 : 1;
    std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        std::vector<uint8_t>& row = rows[size_t(y)];
        row.resize(size_t(width) * size_t(channels) * bytesPerSample);
        for (int x = 0; x < width; ++x) {
            for (int ch = 0; ch < channels; ++ch) {
                uint16_t v = sample(x, y, ch);
                size_t at = (size_t(x) * size_t(channels) + size_t(ch)) * bytesPerSample;
                if (bytesPerSample == 2) {
                    row[at] = uint8_t(v >> 8);
                    row[at + 1] = uint8_t(v);
                } else {
                    row[at] = uint8_t(v);
                }
            }
        }
    }
    std::vector<png_bytep> rowPointers;
    for (auto& row : rows) {
        rowPointers.push_back(row.data());
    }
    std::vector<png_color> palette;
    std::vector<png_byte> paletteAlpha;
    for (Rgba p : format.palette) {
        palette.push_back(png_color{p.r, p.g, p.b});
        paletteAlpha.push_back(p.a);
    }
    while (!paletteAlpha.empty() && paletteAlpha.back() == 255) {
        paletteAlpha.pop_back();
    }
    png_color_16 key{};
    if (format.transparent.size() == 1) {
        key.gray = format.transparent[0];
    } else if (format.transparent.size() == 3) {
        key.red = format.transparent[0];
        key.green = format.transparent[1];
        key.blue = format.transparent[2];
    }

    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        std::abort(); // a test asked for a combination the format does not have
    }
    png_set_write_fn(png, &out, AppendPngBytes, FlushPngBytes);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), format.bitDepth, format.colourType,
                 format.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (format.gamma > 0) {
        png_set_gAMA(png, info, format.gamma);
    }
    if (!palette.empty()) {
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
    }
    if (!paletteAlpha.empty()) {
        png_set_tRNS(png, info, paletteAlpha.data(), int(paletteAlpha.size()), nullptr);
    } else if (!format.transparent.empty()) {
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
    png_write_info(png, info);
    if (format.bitDepth < 8) {
        png_set_packing(png);
    }
    png_write_image(png, rowPointers.data()); // writes every Adam7 pass itself
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes Png(int width, int height, const PixelFn& pixel, bool withAlpha) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = withAlpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    int channels = withAlpha ? 4 : 3;
    std::vector<uint8_t> pixels(size_t(width) * size_t(height) * size_t(channels));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgba p = pixel(x, y);
            uint8_t* q = &pixels[(size_t(y) * size_t(width) + size_t(x)) * size_t(channels)];
            q[0] = p.r;
            q[1] = p.g;
            q[2] = p.b;
            if (withAlpha) {
                q[3] = p.a;
            }
        }
    }
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr)) {
        throw std::runtime_error("png size");
    }
    Bytes out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), 0, nullptr)) {
        throw std::runtime_error("png write");
    }
    out.resize(size);
    return out;
}

Bytes Bmp(int width, int height, int bpp, const PixelFn& pixel, bool topDown) {
    std::vector<Rgba> palette;
    std::map<uint32_t, uint32_t> indexOf;
    auto key = [](Rgba p) { return uint32_t(p.r) << 16 | uint32_t(p.g) << 8 | p.b; };
    if (bpp <= 8) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                Rgba p = pixel(x, y);
                if (indexOf.emplace(key(p), uint32_t(palette.size())).second) {
                    palette.push_back(p);
                }
            }
        }
        if (palette.size() > (1u << bpp)) {
            throw std::runtime_error("too many colours for the depth");
        }
    }
    size_t stride = Stride(width, bpp, 4);
    size_t paletteBytes = palette.size() * 4;
    size_t offset = 14 + 40 + paletteBytes;
    Bytes out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, uint32_t(offset + stride * size_t(height)));
    Put32(out, 0);
    Put32(out, uint32_t(offset));
    Put32(out, 40);
    Put32(out, uint32_t(width));
    Put32(out, uint32_t(topDown ? -height : height));
    Put16(out, 1);
    Put16(out, uint32_t(bpp));
    Put32(out, 0);
    Put32(out, uint32_t(stride * size_t(height)));
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, uint32_t(palette.size()));
    Put32(out, 0);
    for (Rgba p : palette) {
        out.push_back(p.b);
        out.push_back(p.g);
        out.push_back(p.r);
        out.push_back(0);
    }
    for (int fileRow = 0; fileRow < height; ++fileRow) {
        int y = topDown ? fileRow : height - 1 - fileRow;
        std::vector<uint8_t> row(stride, 0);
        for (int x = 0; x < width; ++x) {
            Rgba p = pixel(x, y);
            switch (bpp) {
            case 1:
            case 4:
            case 8:
                PutPixelBits(row.data(), x, bpp, indexOf[key(p)]);
                break;
            case 16: {
                uint32_t v = uint32_t(p.r >> 3) << 10 | uint32_t(p.g >> 3) << 5 | uint32_t(p.b >> 3);
                row[size_t(x) * 2] = uint8_t(v);
                row[size_t(x) * 2 + 1] = uint8_t(v >> 8);
                break;
            }
            case 24:
            case 32: {
                size_t n = size_t(bpp / 8);
                row[size_t(x) * n] = p.b;
                row[size_t(x) * n + 1] = p.g;
                row[size_t(x) * n + 2] = p.r;
                if (n == 4) {
                    row[size_t(x) * n + 3] = p.a;
                }
                break;
            }
            default:
                throw std::runtime_error("depth");
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

Bytes BmpRle8(int width, int height, const std::vector<uint8_t>& indices, const std::vector<Rgba>& palette) {
    Bytes data;
    for (int fileRow = 0; fileRow < height; ++fileRow) {
        int y = height - 1 - fileRow;
        const uint8_t* row = &indices[size_t(y) * size_t(width)];
        // Runs of equal indices, at most 255 each.
        for (int x = 0; x < width;) {
            int n = 1;
            while (x + n < width && n < 255 && row[x + n] == row[x]) {
                ++n;
            }
            data.push_back(uint8_t(n));
            data.push_back(row[x]);
            x += n;
        }
        data.push_back(0);
        data.push_back(0);
    }
    data.push_back(0);
    data.push_back(1);
    size_t offset = 14 + 40 + palette.size() * 4;
    Bytes out{'B', 'M'};
    Put32(out, uint32_t(offset + data.size()));
    Put32(out, 0);
    Put32(out, uint32_t(offset));
    Put32(out, 40);
    Put32(out, uint32_t(width));
    Put32(out, uint32_t(height));
    Put16(out, 1);
    Put16(out, 8);
    Put32(out, 1); // RLE8
    Put32(out, uint32_t(data.size()));
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, uint32_t(palette.size()));
    Put32(out, 0);
    for (Rgba p : palette) {
        out.push_back(p.b);
        out.push_back(p.g);
        out.push_back(p.r);
        out.push_back(0);
    }
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes Icon(uint16_t type, const std::vector<IconImage>& images) {
    std::vector<Bytes> blobs;
    for (const IconImage& im : images) {
        if (im.asPng) {
            blobs.push_back(Png(im.width, im.height, im.pixel, true));
            continue;
        }
        Bytes b;
        Put32(b, 40);
        Put32(b, uint32_t(im.width));
        Put32(b, uint32_t(im.height * 2));
        Put16(b, 1);
        Put16(b, uint32_t(im.bitsPerPixel));
        for (int i = 0; i < 6; ++i) {
            Put32(b, 0);
        }
        size_t colourStride = Stride(im.width, im.bitsPerPixel, 4);
        size_t maskStride = Stride(im.width, 1, 4);
        Bytes colour(colourStride * size_t(im.height), 0), mask(maskStride * size_t(im.height), 0);
        for (int y = 0; y < im.height; ++y) {
            size_t fileRow = size_t(im.height - 1 - y);
            for (int x = 0; x < im.width; ++x) {
                Rgba p = im.pixel(x, y);
                size_t n = size_t(im.bitsPerPixel / 8);
                uint8_t* q = &colour[fileRow * colourStride + size_t(x) * n];
                q[0] = p.b;
                q[1] = p.g;
                q[2] = p.r;
                if (n == 4) {
                    q[3] = p.a;
                }
                if (p.a == 0) {
                    mask[fileRow * maskStride + size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
                }
            }
        }
        b.insert(b.end(), colour.begin(), colour.end());
        b.insert(b.end(), mask.begin(), mask.end());
        blobs.push_back(b);
    }
    Bytes out;
    Put16(out, 0);
    Put16(out, type);
    Put16(out, uint32_t(images.size()));
    size_t offset = 6 + 16 * images.size();
    for (size_t i = 0; i < images.size(); ++i) {
        const IconImage& im = images[i];
        out.push_back(uint8_t(im.width >= 256 ? 0 : im.width));
        out.push_back(uint8_t(im.height >= 256 ? 0 : im.height));
        out.push_back(0);
        out.push_back(0);
        Put16(out, type == 2 ? im.hotspotX : 1);
        Put16(out, type == 2 ? im.hotspotY : uint32_t(im.bitsPerPixel));
        Put32(out, uint32_t(blobs[i].size()));
        Put32(out, uint32_t(offset));
        offset += blobs[i].size();
    }
    for (const Bytes& b : blobs) {
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

namespace {

int WriteToBytes(GifFileType* gif, const GifByteType* data, int n) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + n);
    return n;
}

ColorMapObject* MakeMap(const std::vector<Rgba>& palette) {
    int size = 2;
    while (size < int(palette.size())) {
        size *= 2;
    }
    std::vector<GifColorType> colours(size_t(size), GifColorType{0, 0, 0});
    for (size_t i = 0; i < palette.size(); ++i) {
        colours[i] = GifColorType{palette[i].r, palette[i].g, palette[i].b};
    }
    return GifMakeMapObject(size, colours.data());
}

} // namespace

Bytes Gif(int width, int height, const std::vector<Rgba>& globalPalette, const std::vector<GifFrame>& frames,
          int loopCount) {
    Bytes out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, WriteToBytes, &error);
    if (gif == nullptr) {
        throw std::runtime_error("gif open");
    }
    EGifSetGifVersion(gif, true);
    ColorMapObject* global = MakeMap(globalPalette);
    EGifPutScreenDesc(gif, width, height, 8, 0, global);
    if (loopCount >= 0) {
        GifByteType app[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
        GifByteType loop[] = {1, uint8_t(loopCount), uint8_t(loopCount >> 8)};
        EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
        EGifPutExtensionBlock(gif, sizeof app, app);
        EGifPutExtensionBlock(gif, sizeof loop, loop);
        EGifPutExtensionTrailer(gif);
    }
    for (const GifFrame& f : frames) {
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = f.disposal;
        gcb.DelayTime = f.delayCs;
        gcb.TransparentColor = f.transparentIndex;
        GifByteType ext[4];
        size_t n = EGifGCBToExtension(&gcb, ext);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(n), ext);
        ColorMapObject* local = f.localPalette.empty() ? nullptr : MakeMap(f.localPalette);
        EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlace, local);
        static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < (f.interlace ? 4 : 1); ++pass) {
            for (int y = f.interlace ? kStart[pass] : 0; y < f.height; y += f.interlace ? kStep[pass] : 1) {
                std::vector<GifPixelType> line(f.indices.begin() + ptrdiff_t(y) * f.width,
                                               f.indices.begin() + ptrdiff_t(y + 1) * f.width);
                EGifPutLine(gif, line.data(), f.width);
            }
        }
        if (local != nullptr) {
            GifFreeMapObject(local);
        }
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(global);
    return out;
}

namespace {

Bytes PcxHeader(int width, int height, int version, int bpp, size_t bytesPerLine) {
    Bytes out(128, 0);
    out[0] = 0x0A;
    out[1] = uint8_t(version);
    out[2] = 1;
    out[3] = uint8_t(bpp);
    out[8] = uint8_t(width - 1);
    out[9] = uint8_t((width - 1) >> 8);
    out[10] = uint8_t(height - 1);
    out[11] = uint8_t((height - 1) >> 8);
    out[65] = 1;
    out[66] = uint8_t(bytesPerLine);
    out[67] = uint8_t(bytesPerLine >> 8);
    out[68] = 1;
    // The 16-colour table of a monochrome file: black, then white.
    out[19] = out[20] = out[21] = 255;
    return out;
}

void PcxEncodeLine(Bytes& out, const uint8_t* line, size_t n) {
    for (size_t i = 0; i < n;) {
        size_t run = 1;
        while (i + run < n && run < 63 && line[i + run] == line[i]) {
            ++run;
        }
        if (run > 1 || (line[i] & 0xC0) == 0xC0) {
            out.push_back(uint8_t(0xC0 | run));
        }
        out.push_back(line[i]);
        i += run;
    }
}

} // namespace

Bytes Pcx8(int width, int height, const std::vector<uint8_t>& indices, const std::vector<Rgba>& palette) {
    size_t bytesPerLine = size_t(width + (width & 1));
    Bytes out = PcxHeader(width, height, 5, 8, bytesPerLine);
    std::vector<uint8_t> line(bytesPerLine, 0);
    for (int y = 0; y < height; ++y) {
        std::memcpy(line.data(), &indices[size_t(y) * size_t(width)], size_t(width));
        PcxEncodeLine(out, line.data(), line.size());
    }
    out.push_back(0x0C);
    for (size_t i = 0; i < 256; ++i) {
        Rgba p = i < palette.size() ? palette[i] : Rgba{};
        out.push_back(p.r);
        out.push_back(p.g);
        out.push_back(p.b);
    }
    return out;
}

Bytes Pcx1(int width, int height, const std::vector<uint8_t>& bits) {
    size_t used = size_t((width + 7) / 8);
    size_t bytesPerLine = used + (used & 1);
    Bytes out = PcxHeader(width, height, 3, 1, bytesPerLine);
    for (int y = 0; y < height; ++y) {
        std::vector<uint8_t> line(bytesPerLine, 0);
        for (int x = 0; x < width; ++x) {
            if (bits[size_t(y) * size_t(width) + size_t(x)]) {
                line[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
            }
        }
        PcxEncodeLine(out, line.data(), line.size());
    }
    return out;
}

} // namespace picture_files
