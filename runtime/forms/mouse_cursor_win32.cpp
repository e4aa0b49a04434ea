#include "runtime/forms/mouse_pointer.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

uint16_t Word16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Word32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

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
    if (size < 40 || offset > length || size > length - offset) return nullptr;
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
