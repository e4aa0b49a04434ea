// Device bitmaps and icons made from decoded pictures, and their drawing.
#include "runtime/pictures/picture_draw.h"

#include "runtime/pictures/picture_internal.h"

namespace {

using pictures::kDib8PixelOffset;

// A memory DC with a bitmap selected into it; both restored on scope exit.
class SelectedBitmap {
public:
    SelectedBitmap(HDC compatibleWith, HBITMAP bitmap) : dc_(CreateCompatibleDC(compatibleWith)) {
        if (dc_ != nullptr) {
            old_ = SelectObject(dc_, bitmap);
        }
    }
    ~SelectedBitmap() {
        if (dc_ != nullptr) {
            SelectObject(dc_, old_);
            DeleteDC(dc_);
        }
    }
    SelectedBitmap(const SelectedBitmap&) = delete;
    SelectedBitmap& operator=(const SelectedBitmap&) = delete;

    HDC Get() const { return dc_; }

private:
    HDC dc_;                // owned
    HGDIOBJ old_ = nullptr; // borrowed: what the fresh DC held
};

struct BitmapDeleter {
    void operator()(HBITMAP b) const { DeleteObject(b); }
};
using OwnedBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, BitmapDeleter>;

// A top-down (negative height) or bottom-up DIB section; `bits` receives its pixels.
HBITMAP MakeDibSection(int32_t width, int32_t height, int bitsPerPixel, bool topDown, void** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = topDown ? -height : height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = WORD(bitsPerPixel);
    info.bmiHeader.biCompression = BI_RGB;
    *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
    if (bitmap != nullptr && *bits == nullptr) {
        DeleteObject(bitmap);
        return nullptr;
    }
    return bitmap;
}

// 24-bit bottom-up, rows padded to 4 bytes: kinds JPEG and BMP.
HBITMAP MakeBgrBitmap(const Picture& picture) {
    const size_t rowBytes = size_t(picture.width) * 3;
    if (picture.pixels.size < rowBytes * size_t(picture.height)) {
        return nullptr;
    }
    void* bits = nullptr;
    HBITMAP bitmap = MakeDibSection(picture.width, picture.height, 24, false, &bits);
    if (bitmap == nullptr) {
        return nullptr;
    }
    const size_t stride = (rowBytes + 3) & ~size_t(3);
    auto* out = static_cast<uint8_t*>(bits);
    if (stride == rowBytes) {
        std::memcpy(out, picture.pixels.data(), rowBytes * size_t(picture.height));
    } else {
        for (int32_t y = 0; y < picture.height; ++y) {
            std::memcpy(out + size_t(y) * stride, picture.pixels.data() + size_t(y) * rowBytes, rowBytes);
        }
    }
    GdiFlush();
    return bitmap;
}

// 32-bit top-down, composited over the background: kind PNG.
HBITMAP MakePngBitmap(const Picture& picture, PictureColour background) {
    const size_t count = size_t(picture.width) * size_t(picture.height);
    if (picture.pixels.size < count * 4) {
        return nullptr;
    }
    void* bits = nullptr;
    HBITMAP bitmap = MakeDibSection(picture.width, picture.height, 32, true, &bits);
    if (bitmap == nullptr) {
        return nullptr;
    }
    CompositeOverColour(picture.pixels.data(), count, background, static_cast<uint8_t*>(bits));
    GdiFlush();
    return bitmap;
}

// An 8-bit DIB (header, colour table, rows) as a bitmap of the display's own
// format, so frame after frame is a plain copy: kinds GIF and PCX 8-bit.
HBITMAP MakeFromDib8(const PixelBlock& dib, int32_t width, int32_t height) {
    const size_t stride = (size_t(width) + 3) & ~size_t(3);
    if (dib.size < kDib8PixelOffset + stride * size_t(height)) {
        return nullptr;
    }
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) {
        return nullptr;
    }
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    if (bitmap != nullptr) {
        const auto* info = reinterpret_cast<const BITMAPINFO*>(dib.data());
        if (SetDIBits(screen, bitmap, 0, UINT(height), dib.data() + kDib8PixelOffset, info, DIB_RGB_COLORS) != height) {
            DeleteObject(bitmap);
            bitmap = nullptr;
        }
    }
    ReleaseDC(nullptr, screen);
    return bitmap;
}

HBITMAP MakeMonochrome(const Picture& picture) {
    const size_t stride = size_t(pictures::PaddedRowBytes(uint64_t(picture.width), 1, 2));
    if (picture.pixels.size < stride * size_t(picture.height)) {
        return nullptr;
    }
    return CreateBitmap(picture.width, picture.height, 1, 1, picture.pixels.data());
}

// Icons and cursors: a 32-bit colour image with alpha and an AND mask from it.
HICON MakeIcon(const Picture& picture) {
    const size_t count = size_t(picture.width) * size_t(picture.height);
    if (picture.pixels.size < count * 4) {
        return nullptr;
    }
    void* bits = nullptr;
    OwnedBitmap colour(MakeDibSection(picture.width, picture.height, 32, true, &bits));
    if (!colour) {
        return nullptr;
    }
    std::memcpy(bits, picture.pixels.data(), count * 4);
    const size_t maskStride = size_t(pictures::PaddedRowBytes(uint64_t(picture.width), 1, 2));
    std::unique_ptr<uint8_t[]> maskBits(new (std::nothrow) uint8_t[maskStride * size_t(picture.height)]);
    if (!maskBits) {
        return nullptr;
    }
    std::memset(maskBits.get(), 0, maskStride * size_t(picture.height));
    for (int32_t y = 0; y < picture.height; ++y) {
        const uint8_t* row = picture.pixels.data() + size_t(y) * size_t(picture.width) * 4;
        for (int32_t x = 0; x < picture.width; ++x) {
            if (row[x * 4 + 3] == 0) {
                maskBits[size_t(y) * maskStride + size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
            }
        }
    }
    OwnedBitmap mask(CreateBitmap(picture.width, picture.height, 1, 1, maskBits.get()));
    if (!mask) {
        return nullptr;
    }
    GdiFlush();
    ICONINFO info{};
    info.fIcon = picture.kind == PictureKind::Icon;
    info.xHotspot = DWORD(picture.hotspotX);
    info.yHotspot = DWORD(picture.hotspotY);
    info.hbmMask = mask.get();
    info.hbmColor = colour.get();
    return CreateIconIndirect(&info); // copies both bitmaps
}

} // namespace

int MakeDrawable(HDC dc, const Picture* picture, DrawablePicture* out, PictureColour background, size_t frame) {
    if (out == nullptr) {
        return 0;
    }
    ReleaseDrawable(out);
    if (picture == nullptr || picture->width <= 0 || picture->height <= 0) {
        return 0;
    }
    HICON icon = nullptr;
    HBITMAP bitmap = nullptr;
    switch (picture->kind) {
    case PictureKind::Icon:
    case PictureKind::Cursor:
        icon = MakeIcon(*picture);
        break;
    case PictureKind::Gif:
        if (frame < picture->frames.size()) {
            bitmap = MakeFromDib8(picture->frames[frame].pixels, picture->width, picture->height);
        }
        break;
    case PictureKind::Pcx8:
        bitmap = MakeFromDib8(picture->pixels, picture->width, picture->height);
        break;
    case PictureKind::Pcx1:
        bitmap = MakeMonochrome(*picture);
        break;
    case PictureKind::Png:
        bitmap = MakePngBitmap(*picture, background);
        break;
    case PictureKind::Jpeg:
    case PictureKind::Bmp:
        bitmap = MakeBgrBitmap(*picture);
        break;
    case PictureKind::None:
        break;
    }
    if (icon == nullptr && bitmap == nullptr) {
        return 0;
    }
    out->dc = dc;
    out->kind = picture->kind;
    out->width = picture->width;
    out->height = picture->height;
    out->icon = icon;
    out->bitmap = bitmap;
    return 1;
}

void DrawPictureTo(HDC target, const DrawablePicture* d, int x, int y, int width, int height, int64_t rasterOperation) {
    if (target == nullptr || d == nullptr || (d->icon == nullptr && d->bitmap == nullptr)) {
        return;
    }
    if (width == -1) {
        width = d->width;
    }
    if (height == -1) {
        height = d->height;
    }
    if (d->icon != nullptr) {
        DrawIconEx(target, x, y, d->icon, width, height, 0, nullptr, DI_NORMAL);
        return;
    }
    SelectedBitmap source(target, d->bitmap);
    if (source.Get() == nullptr) {
        return;
    }
    const int oldMode = GetStretchBltMode(target);
    if (rasterOperation >= 0) {
        if (GetDeviceCaps(target, BITSPIXEL) * GetDeviceCaps(target, PLANES) > 16) {
            SetStretchBltMode(target, HALFTONE);
            SetBrushOrgEx(target, 0, 0, nullptr); // half-tone needs the brush origin reset
        } else {
            SetStretchBltMode(target, COLORONCOLOR);
        }
        // A monochrome picture takes the target's text and background colours
        // for its 0 and 1 bits: black and white, whatever a unit has set.
        const bool mono = d->kind == PictureKind::Pcx1;
        const COLORREF oldText = mono ? SetTextColor(target, RGB(0, 0, 0)) : 0;
        const COLORREF oldBack = mono ? SetBkColor(target, RGB(255, 255, 255)) : 0;
        StretchBlt(target, x, y, width, height, source.Get(), 0, 0, d->width, d->height, DWORD(rasterOperation));
        if (mono) {
            SetTextColor(target, oldText);
            SetBkColor(target, oldBack);
        }
        SetStretchBltMode(target, oldMode);
        return;
    }
    // Colour k transparent: a mask with k as background (1 where the picture
    // shows k), then target ^= picture, target &= mask, target ^= picture.
    // Half-tone would blend the three passes at the edges, so they are not
    // smoothed.
    const COLORREF transparent = COLORREF(-rasterOperation) & 0x00FFFFFF;
    OwnedBitmap maskBitmap(CreateBitmap(d->width, d->height, 1, 1, nullptr));
    if (!maskBitmap) {
        return;
    }
    SelectedBitmap mask(target, maskBitmap.get());
    if (mask.Get() == nullptr) {
        return;
    }
    const COLORREF oldSourceBack = SetBkColor(source.Get(), transparent);
    BitBlt(mask.Get(), 0, 0, d->width, d->height, source.Get(), 0, 0, SRCCOPY);
    SetBkColor(source.Get(), oldSourceBack);
    SetStretchBltMode(target, COLORONCOLOR);
    // A monochrome source paints its 1 bits in the target's background colour
    // and its 0 bits in the text colour: white and black make the AND exact.
    const COLORREF oldBack = SetBkColor(target, RGB(255, 255, 255));
    const COLORREF oldText = SetTextColor(target, RGB(0, 0, 0));
    StretchBlt(target, x, y, width, height, source.Get(), 0, 0, d->width, d->height, SRCINVERT);
    StretchBlt(target, x, y, width, height, mask.Get(), 0, 0, d->width, d->height, SRCAND);
    StretchBlt(target, x, y, width, height, source.Get(), 0, 0, d->width, d->height, SRCINVERT);
    SetTextColor(target, oldText);
    SetBkColor(target, oldBack);
    SetStretchBltMode(target, oldMode);
}

void DrawPicture(const DrawablePicture* drawable, int x, int y, int width, int height, int64_t rasterOperation) {
    if (drawable != nullptr) {
        DrawPictureTo(drawable->dc, drawable, x, y, width, height, rasterOperation);
    }
}

void ReleaseDrawable(DrawablePicture* drawable) {
    if (drawable == nullptr) {
        return;
    }
    if (drawable->bitmap != nullptr) {
        DeleteObject(drawable->bitmap);
    }
    if (drawable->icon != nullptr) {
        DestroyIcon(drawable->icon);
    }
    *drawable = DrawablePicture{};
}
