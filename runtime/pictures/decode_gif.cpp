// GIF pictures through giflib, every frame with its delay. Each frame is
// composed onto the logical screen as the file's disposal methods say and kept
// as a whole-canvas 8-bit device-independent bitmap, so the picture box's
// animation only has to show frame after frame.
#include "runtime/pictures/frame_quantiser.h"
#include "runtime/pictures/picture_internal.h"

#include <vector>

#include <gif_lib.h>

namespace pictures {
namespace {

// A single frame bigger than this is hostile: giflib would spend minutes
// decompressing pixels no canvas shows.
constexpr uint64_t kMaxFramePixels = kMaxPicturePixelBytes / 4;
// giflib keeps a record of every image read; past this many frames a file is
// hostile, not an animation.
constexpr size_t kMaxFrames = 4096;
// Pixels decompressed over all frames, shown or clipped: frames far larger than
// a tiny canvas would otherwise cost minutes without ever reaching a limit.
constexpr uint64_t kMaxDecodedPixels = kMaxPicturePixelBytes * 2;

struct MemoryInput {
    const uint8_t* bytes; // borrowed
    size_t length;
    size_t position = 0;
};

int ReadFromMemory(GifFileType* gif, GifByteType* out, int wanted) {
    auto* in = static_cast<MemoryInput*>(gif->UserData);
    if (wanted <= 0) {
        return 0;
    }
    size_t n = in->length - in->position;
    if (size_t(wanted) < n) {
        n = size_t(wanted);
    }
    std::memcpy(out, in->bytes + in->position, n);
    in->position += n;
    return int(n);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

uint32_t Rgb(const GifColorType& c) {
    return kPainted | (uint32_t(c.Red) << 16) | (uint32_t(c.Green) << 8) | c.Blue;
}

struct FrameControl {
    int disposal = DISPOSAL_UNSPECIFIED;
    int transparentIndex = NO_TRANSPARENT_COLOR;
    uint32_t delayMs = 0;
};

// Reads one image's pixels onto the canvas (clipped to it).
bool ReadImage(GifFileType* gif, std::vector<uint32_t>& canvas, int32_t canvasWidth, int32_t canvasHeight,
               const FrameControl& control) {
    const GifImageDesc& desc = gif->Image;
    const ColorMapObject* map = desc.ColorMap != nullptr ? desc.ColorMap : gif->SColorMap;
    if (desc.Width <= 0 || desc.Height <= 0 || uint64_t(desc.Width) * uint64_t(desc.Height) > kMaxFramePixels) {
        return false;
    }
    std::vector<GifPixelType> line(size_t(desc.Width));
    static const int kPassStart[4] = {0, 4, 2, 1};
    static const int kPassStep[4] = {8, 8, 4, 2};
    const int passes = desc.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        int start = desc.Interlace ? kPassStart[pass] : 0;
        int step = desc.Interlace ? kPassStep[pass] : 1;
        for (int row = start; row < desc.Height; row += step) {
            if (DGifGetLine(gif, line.data(), desc.Width) == GIF_ERROR) {
                return false;
            }
            int64_t y = int64_t(desc.Top) + row;
            if (y >= canvasHeight || map == nullptr) {
                continue;
            }
            uint32_t* out = canvas.data() + size_t(y) * size_t(canvasWidth);
            for (int col = 0; col < desc.Width; ++col) {
                int64_t x = int64_t(desc.Left) + col;
                int index = line[size_t(col)];
                if (x >= canvasWidth || index == control.transparentIndex || index >= map->ColorCount) {
                    continue;
                }
                out[x] = Rgb(map->Colors[index]);
            }
        }
    }
    return true;
}

// Clears the frame's rectangle on the canvas (disposal "restore background":
// shown as transparent, as browsers do).
void ClearRect(std::vector<uint32_t>& canvas, int32_t canvasWidth, int32_t canvasHeight, const GifImageDesc& d) {
    for (int64_t y = d.Top; y < int64_t(d.Top) + d.Height && y < canvasHeight; ++y) {
        for (int64_t x = d.Left; x < int64_t(d.Left) + d.Width && x < canvasWidth; ++x) {
            canvas[size_t(y) * size_t(canvasWidth) + size_t(x)] = 0;
        }
    }
}

} // namespace

std::unique_ptr<Picture> DecodeGif(const uint8_t* bytes, size_t length) {
    MemoryInput input{bytes, length};
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&input, ReadFromMemory, &error));
    if (!gif) {
        return nullptr;
    }
    auto picture = std::make_unique<Picture>();
    picture->kind = PictureKind::Gif;
    int32_t width = gif->SWidth, height = gif->SHeight;
    std::vector<uint32_t> canvas;
    std::vector<uint32_t> saved;
    FrameControl control;
    uint64_t budget = kMaxPicturePixelBytes;
    uint64_t decodedPixels = 0;
    auto quantiser = std::make_unique<FrameQuantiser>();
    std::vector<uint32_t> ownColours;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) {
            // A file that ends cleanly after a whole frame but lacks its trailer
            // byte is common on the web and is still shown.
            if (input.position == input.length && !picture->frames.empty()) {
                break;
            }
            return nullptr;
        }
        if (type == TERMINATE_RECORD_TYPE) {
            break;
        }
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) {
                return nullptr;
            }
            bool netscape = false;
            bool first = true;
            while (block != nullptr) {
                if (code == GRAPHICS_EXT_FUNC_CODE && first) {
                    GraphicsControlBlock gcb{};
                    if (block[0] >= 4 && DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK) {
                        control.disposal = gcb.DisposalMode;
                        control.transparentIndex = gcb.TransparentColor;
                        control.delayMs = uint32_t(gcb.DelayTime) * 10;
                    }
                } else if (code == APPLICATION_EXT_FUNC_CODE && first) {
                    netscape = block[0] == 11 && std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0;
                } else if (netscape && block[0] >= 3 && block[1] == 1) {
                    picture->loopCount = uint32_t(block[2] | (block[3] << 8));
                }
                first = false;
                if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) {
                    return nullptr;
                }
            }
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE || picture->frames.size() >= kMaxFrames ||
            DGifGetImageDesc(gif.get()) == GIF_ERROR) {
            return nullptr;
        }
        if (canvas.empty()) {
            // A logical screen of 0 x 0 takes the first image's extent.
            if (width <= 0 || height <= 0) {
                width = gif->Image.Left + gif->Image.Width;
                height = gif->Image.Top + gif->Image.Height;
            }
            uint64_t canvasBytes = uint64_t(width) * uint64_t(height) * 4;
            if (width <= 0 || height <= 0 || canvasBytes > budget) {
                return nullptr;
            }
            budget -= canvasBytes;
            canvas.assign(size_t(width) * size_t(height), 0);
        }
        const GifImageDesc desc = gif->Image;
        if (control.disposal == DISPOSE_PREVIOUS) {
            saved = canvas;
        }
        decodedPixels += uint64_t(desc.Width) * uint64_t(desc.Height);
        if (decodedPixels > kMaxDecodedPixels || !ReadImage(gif.get(), canvas, width, height, control)) {
            return nullptr;
        }
        PictureFrame frame;
        frame.delayMs = control.delayMs;
        const ColorMapObject* map = desc.ColorMap != nullptr ? desc.ColorMap : gif->SColorMap;
        ownColours.clear();
        for (int i = 0; map != nullptr && i < map->ColorCount; ++i) {
            if (i != control.transparentIndex) {
                ownColours.push_back(Rgb(map->Colors[i]));
            }
        }
        if (!quantiser->Quantise(canvas, width, height, ownColours, frame, budget)) {
            return nullptr;
        }
        budget -= frame.pixels.size;
        picture->frames.push_back(std::move(frame));
        if (control.disposal == DISPOSE_BACKGROUND) {
            ClearRect(canvas, width, height, desc);
        } else if (control.disposal == DISPOSE_PREVIOUS) {
            canvas.swap(saved);
        }
        control = FrameControl{};
    }
    if (picture->frames.empty()) {
        return nullptr;
    }
    picture->width = width;
    picture->height = height;
    return picture;
}

} // namespace pictures
