// GIF pictures through giflib, every frame with its delay. Each frame is
// composed onto the logical screen as the file's disposal methods say and kept
// as a whole-canvas 8-bit device-independent bitmap, so the picture box's
// animation only has to show frame after frame.
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

// Canvas pixels are 0x00RRGGBB with bit 24 set when painted; 0 = not painted.
constexpr uint32_t kPainted = 0x01000000;

uint32_t Rgb(const GifColorType& c) {
    return kPainted | (uint32_t(c.Red) << 16) | (uint32_t(c.Green) << 8) | c.Blue;
}

// Turns the composed canvas into an 8-bit DIB. The colour table holds the
// colours the canvas shows (exact when they are 255 or fewer, the usual case),
// plus one colour of its own for unpainted pixels, which the frame reports as
// its transparent colour.
class FrameQuantiser {
public:
    bool Quantise(const std::vector<uint32_t>& canvas, int32_t width, int32_t height, const ColorMapObject* fallback,
                  PictureFrame& frame, uint64_t budget) {
        frame.pixels = AllocateDib8(width, height, budget);
        if (frame.pixels.empty()) {
            return false;
        }
        Reset();
        bool exact = true;
        bool unpainted = false;
        for (uint32_t c : canvas) {
            if (c == 0) {
                unpainted = true;
            } else if (Find(c) < 0 && !Add(c)) {
                exact = false;
                break;
            }
        }
        if (!exact) {
            Reset();
            for (int i = 0; fallback != nullptr && i < fallback->ColorCount && count_ < 255; ++i) {
                Add(Rgb(fallback->Colors[i]));
            }
            std::fill(std::begin(nearest_), std::end(nearest_), int16_t(-1));
        }
        int transparentIndex = -1;
        if (unpainted) {
            transparentIndex = count_;
            uint32_t colour = PickUnusedColour();
            palette_[count_++] = colour;
            frame.transparentColour = int32_t(((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF));
        }
        uint8_t* table = frame.pixels.data() + kDibHeaderBytes;
        for (int i = 0; i < count_; ++i) {
            PutU32(table + i * 4, palette_[i] & 0x00FFFFFF); // blue, green, red, 0 in memory
        }
        for (int32_t y = 0; y < height; ++y) {
            uint8_t* row = Dib8Row(frame.pixels, width, height, y);
            const uint32_t* src = canvas.data() + size_t(y) * size_t(width);
            for (int32_t x = 0; x < width; ++x) {
                uint32_t c = src[x];
                row[x] = c == 0 ? uint8_t(transparentIndex) : uint8_t(exact ? Find(c) : Nearest(c));
            }
        }
        return true;
    }

private:
    static constexpr int kSlots = 1024;

    void Reset() {
        std::fill(std::begin(keys_), std::end(keys_), 0u);
        count_ = 0;
    }
    static size_t Hash(uint32_t c) { return (c * 2654435761u) >> 22; }
    int Find(uint32_t c) const {
        for (size_t i = Hash(c);; i = (i + 1) % kSlots) {
            if (keys_[i] == c) {
                return values_[i];
            }
            if (keys_[i] == 0) {
                return -1;
            }
        }
    }
    bool Add(uint32_t c) {
        if (count_ >= 255) { // one entry stays free for the transparent colour
            return false;
        }
        size_t i = Hash(c);
        while (keys_[i] != 0 && keys_[i] != c) {
            i = (i + 1) % kSlots;
        }
        if (keys_[i] == 0) {
            keys_[i] = c;
            values_[i] = uint8_t(count_);
            palette_[count_++] = c;
        }
        return true;
    }
    int Nearest(uint32_t c) {
        // Cached by 5 bits a channel: at most 32K searches a frame.
        size_t key = ((c >> 9) & 0x7C00) | ((c >> 6) & 0x03E0) | ((c >> 3) & 0x001F);
        if (nearest_[key] >= 0) {
            return nearest_[key];
        }
        int best = 0;
        int32_t bestDistance = INT32_MAX;
        for (int i = 0; i < count_; ++i) {
            int32_t dr = int32_t((c >> 16) & 0xFF) - int32_t((palette_[i] >> 16) & 0xFF);
            int32_t dg = int32_t((c >> 8) & 0xFF) - int32_t((palette_[i] >> 8) & 0xFF);
            int32_t db = int32_t(c & 0xFF) - int32_t(palette_[i] & 0xFF);
            int32_t d = dr * dr + dg * dg + db * db;
            if (d < bestDistance) {
                bestDistance = d;
                best = i;
            }
        }
        nearest_[key] = int16_t(best);
        return best;
    }
    uint32_t PickUnusedColour() const {
        for (uint32_t candidate = 0xFF00FF;; candidate = (candidate + 0x010305) & 0xFFFFFF) {
            bool used = false;
            for (int i = 0; i < count_ && !used; ++i) {
                used = (palette_[i] & 0xFFFFFF) == candidate;
            }
            if (!used && candidate != 0) {
                return candidate;
            }
        }
    }

    uint32_t keys_[kSlots] = {};
    uint8_t values_[kSlots] = {};
    uint32_t palette_[256] = {};
    int count_ = 0;
    int16_t nearest_[32768] = {};
};

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
        if (!quantiser->Quantise(canvas, width, height, map, frame, budget)) {
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
