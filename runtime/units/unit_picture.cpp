#include "runtime/units/unit_picture.h"

#include <algorithm>

void UnitPicture::SetBytes(std::vector<uint8_t> bytes)
{
    bytes_ = std::move(bytes);
    picture_.reset();
    decoded_ = false;
    ReleaseDrawable(&drawable_);
}

const Picture* UnitPicture::Decoded()
{
    if (!decoded_ && !bytes_.empty()) {
        decoded_ = true;
        ++decodeCount_;
        picture_ = DecodePicture(bytes_.data(), static_cast<int64_t>(bytes_.size()));
    }
    return picture_.get();
}

RECT FittedRect(const RECT& area, int32_t width, int32_t height)
{
    int64_t aw = area.right - area.left, ah = area.bottom - area.top;
    int64_t w = width, h = height;
    if (w > aw || h > ah) {
        // Scale by min(aw / w, ah / h), keeping the aspect.
        if (aw * h <= ah * w) {
            h = w ? h * aw / w : 0;
            w = aw;
        } else {
            w = h ? w * ah / h : 0;
            h = ah;
        }
    }
    RECT r;
    r.left = static_cast<LONG>(area.left + (aw - w) / 2);
    r.top = static_cast<LONG>(area.top + (ah - h) / 2);
    r.right = static_cast<LONG>(r.left + w);
    r.bottom = static_cast<LONG>(r.top + h);
    return r;
}

RECT UnitPicture::Draw(HDC dc, const RECT& rect, Placement placement, COLORREF background, size_t frame)
{
    RECT none{0, 0, 0, 0};
    const Picture* picture = Decoded();
    if (!picture || picture->width <= 0 || picture->height <= 0) return none;
    if (!drawable_.bitmap && !drawable_.icon) {
        if (!MakeDrawable(dc, picture, &drawable_, background, frame)) return none;
        drawableBackground_ = background;
        drawableFrame_ = frame;
    } else if (drawableBackground_ != background || drawableFrame_ != frame) {
        if (!MakeDrawable(dc, picture, &drawable_, background, frame)) return none;
        drawableBackground_ = background;
        drawableFrame_ = frame;
    }
    const int w = picture->width, h = picture->height;
    switch (placement) {
    case Placement::Natural: {
        RECT r{rect.left, rect.top, rect.left + w, rect.top + h};
        int saved = SaveDC(dc);
        IntersectClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
        DrawPictureTo(dc, &drawable_, r.left, r.top, w, h, SRCCOPY);
        RestoreDC(dc, saved);
        RECT covered;
        IntersectRect(&covered, &r, &rect);
        return covered;
    }
    case Placement::Tiled: {
        int saved = SaveDC(dc);
        IntersectClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
        RECT clip;
        if (GetClipBox(dc, &clip) == NULLREGION) clip = rect;
        // Only the tiles that meet the clip box are drawn.
        LONG firstX = rect.left + std::max<LONG>(0, (clip.left - rect.left) / w) * w;
        LONG firstY = rect.top + std::max<LONG>(0, (clip.top - rect.top) / h) * h;
        for (LONG y = firstY; y < std::min(rect.bottom, clip.bottom); y += h)
            for (LONG x = firstX; x < std::min(rect.right, clip.right); x += w)
                DrawPictureTo(dc, &drawable_, x, y, w, h, SRCCOPY);
        RestoreDC(dc, saved);
        return rect;
    }
    case Placement::Fitted: {
        RECT r = FittedRect(rect, w, h);
        DrawPictureTo(dc, &drawable_, r.left, r.top, r.right - r.left, r.bottom - r.top, SRCCOPY);
        return r;
    }
    case Placement::Stretched:
        DrawPictureTo(dc, &drawable_, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, SRCCOPY);
        return rect;
    }
    return none;
}
