// Writes one small valid picture of every kind into a directory, as the
// starting corpus of the picture decoder's fuzzer:
//   picture_seed_writer <directory>
#include "tests/runtime/pictures/picture_files.h"

#include <cstdio>
#include <string>

using namespace picture_files;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: picture_seed_writer <directory>\n");
        return 2;
    }
    auto quad = [](int x, int y) { return Quadrants(x, y, 12, 10); };
    auto alpha = [](int x, int y) { return Rgba{uint8_t(x * 20), uint8_t(y * 20), 90, uint8_t(x * y * 3)}; };
    const std::vector<Rgba> palette = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 255}};
    std::vector<uint8_t> indices(12 * 10);
    for (size_t i = 0; i < indices.size(); ++i) {
        indices[i] = uint8_t((i / 3) % 4);
    }
    GifFrame first{0, 0, 12, 10, indices};
    first.delayCs = 5;
    GifFrame second{2, 2, 4, 4, std::vector<uint8_t>(16, 2)};
    second.transparentIndex = 1;
    second.disposal = 3;
    GifFrame interlaced{0, 0, 12, 10, indices};
    interlaced.interlace = true;
    interlaced.localPalette = {{9, 9, 9, 255}, {90, 90, 90, 255}, {180, 180, 180, 255}, {250, 250, 250, 255}};
    auto samples = [](int x, int y, int channel) { return uint16_t((x * 5003 + y * 9001 + channel * 257) & 0xFFFF); };
    auto index = [](int x, int y, int) { return uint16_t((x + y) % 3); };
    auto cmyk = [](int x, int y) { return Cmyk{uint8_t(x * 20), uint8_t(y * 20), 90, uint8_t(255 - x * y)}; };
    PngFormat interlaced16{6, 16, true, 0.45455};
    PngFormat palette4{3, 4, false, 0, {{255, 0, 0, 255}, {0, 255, 0, 128}, {0, 0, 255, 0}}};
    std::vector<Rgba> greys;
    std::vector<uint8_t> everyIndex;
    for (int i = 0; i < 256; ++i) {
        greys.push_back(Rgba{uint8_t(i), uint8_t(i), uint8_t(i), 255});
        everyIndex.push_back(uint8_t(i));
    }
    GifFrame all{0, 0, 16, 16, everyIndex};
    const std::pair<const char*, Bytes> seeds[] = {
        {"baseline.jpg", Jpeg(12, 10, quad)},
        {"progressive.jpg", Jpeg(20, 18, quad, 80, false, true)},
        {"grey.jpg", Jpeg(9, 9, quad, 70, true)},
        {"alpha.png", Png(12, 10, alpha)},
        {"rgb.png", Png(12, 10, quad, false)},
        {"interlaced16.png", PngSamples(12, 10, interlaced16, samples)},
        {"palette4.png", PngSamples(12, 10, palette4, index)},
        {"cmyk.jpg", JpegCmyk(12, 10, cmyk)},
        {"ycck.jpg", JpegCmyk(12, 10, cmyk, true)},
        {"256colours.gif", Gif(16, 17, greys, {all})},
        {"4bit.bmp", Bmp(12, 10, 4, quad)},
        {"16bit.bmp", Bmp(12, 10, 16, quad)},
        {"24bit.bmp", Bmp(12, 10, 24, quad, true)},
        {"32bit.bmp", Bmp(12, 10, 32, alpha)},
        {"rle8.bmp", BmpRle8(12, 10, indices, palette)},
        {"two.ico", Icon(1, {{8, 8, 24, quad}, {12, 10, 32, alpha}})},
        {"png.ico", Icon(1, {{12, 10, 32, alpha, true}})},
        {"hotspot.cur", Icon(2, {{12, 10, 32, quad, false, 3, 4}})},
        {"animated.gif", Gif(12, 10, palette, {first, second, interlaced}, 0)},
        {"8bit.pcx", Pcx8(12, 10, indices, palette)},
        {"1bit.pcx", Pcx1(12, 10, std::vector<uint8_t>(indices.begin(), indices.end()))},
    };
    for (const auto& [name, bytes] : seeds) {
        std::string path = std::string(argv[1]) + "/" + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        std::fclose(f);
    }
    return 0;
}
