#include "runtime/forms/mouse_pointer.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

uint16_t Word16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Word32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// The image of a cursor entry must hold everything its header promises: the
// system reads the colour and mask bitmaps by the header's sizes alone.
bool ImageFits(const uint8_t* image, uint32_t size)
{
    static const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (size >= 8 && std::memcmp(image, kPngSignature, 8) == 0) return true;
    if (size < 40 || Word32(image) != 40) return false;
    const int32_t width = static_cast<int32_t>(Word32(image + 4));
    const int32_t doubledHeight = static_cast<int32_t>(Word32(image + 8));
    const uint16_t planes = Word16(image + 12);
    const uint16_t bits = Word16(image + 14);
    const uint32_t compression = Word32(image + 16);
    if (width <= 0 || width > 256 || doubledHeight <= 0 || doubledHeight > 512 || planes != 1 || compression != 0) {
        return false;
    }
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return false;
    uint64_t colours = Word32(image + 32);
    if (bits <= 8 && (colours == 0 || colours > (1u << bits))) colours = 1u << bits;
    if (bits > 8) colours = 0;
    const uint64_t height = uint64_t(doubledHeight) / 2;
    const uint64_t colourRow = (uint64_t(width) * bits + 31) / 32 * 4;
    const uint64_t maskRow = (uint64_t(width) + 31) / 32 * 4;
    const uint64_t need = 40 + colours * 4 + (colourRow + maskRow) * height;
    return need <= size;
}

}  // namespace

void* CursorFromFileBytes(const uint8_t* data, size_t length)
{
    // A cursor file: reserved 0, type 2, image count, then 16-byte entries
    // whose hot spot and image location we take from the first.
    if (!data || length < 6 + 16) return nullptr;
    if (Word16(data) != 0 || Word16(data + 2) != 2 || Word16(data + 4) == 0) return nullptr;
    const uint8_t* entry = data + 6;
    const uint32_t size = Word32(entry + 8);
    const uint32_t offset = Word32(entry + 12);
    if (offset > length || size > length - offset || !ImageFits(data + offset, size)) return nullptr;
    // The resource form of a cursor image is its hot spot followed by the image.
    std::vector<uint8_t> resource(4 + size_t(size));
    std::memcpy(resource.data(), entry + 4, 4);
    std::memcpy(resource.data() + 4, data + offset, size);
    return CreateIconFromResourceEx(resource.data(), DWORD(resource.size()), FALSE, 0x00030000, 0, 0,
                                    LR_DEFAULTCOLOR);
}

void* MakeUnitCursor(const uint8_t* data, size_t length, bool* owned)
{
    *owned = false;
    const PointerChoice choice = ResolvePointerData(data, length);
    if (choice.tryWholeData) {
        if (void* c = CursorFromFileBytes(data, length)) {
            *owned = true;
            return c;
        }
    }
    switch (choice.kind) {
    case PointerChoice::System:
        return LoadCursorW(nullptr, MAKEINTRESOURCEW(choice.systemCursor));
    case PointerChoice::OwnHand:
        // The program's own hand cursor; a program built without that
        // resource gets the system's hand rather than none.
        if (HCURSOR own = LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kOwnHandCursorResource))) {
            return own;
        }
        return LoadCursorW(nullptr, MAKEINTRESOURCEW(kHandCursorNumber));
    case PointerChoice::FromData: {
        void* c = CursorFromFileBytes(data + choice.dataOffset, length - choice.dataOffset);
        *owned = c != nullptr;
        return c;
    }
    case PointerChoice::None:
        break;
    }
    return nullptr;
}
