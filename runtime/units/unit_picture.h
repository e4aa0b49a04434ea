// A unit's picture property: the stored bytes, the picture decoded from them
// on first need (once, until the bytes change), and its drawing into a
// rectangle by one of the placement modes the window and the units share.
#pragma once

#include "runtime/pictures/picture_draw.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

enum class Placement { Natural, Tiled, Fitted, Stretched };

class UnitPicture {
public:
    UnitPicture() = default;
    UnitPicture(const UnitPicture&) = delete;
    UnitPicture& operator=(const UnitPicture&) = delete;
    ~UnitPicture() { ReleaseDrawable(&drawable_); }

    // Replaces the bytes; the decoded picture and its device bitmap are dropped.
    void SetBytes(std::vector<uint8_t> bytes);
    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    bool HasBytes() const { return !bytes_.empty(); }

    // The decoded picture, decoding at most once per set of bytes; null when
    // the bytes are not a picture.
    const Picture* Decoded();
    // Number of decodes so far (a cached picture is never decoded twice).
    uint32_t DecodeCount() const { return decodeCount_; }

    // Draws into `rect` of `dc` over `background` (0x00BBGGRR, already
    // resolved). Returns the rectangle the picture covers within `rect`
    // (empty when nothing was drawn); Tiled and Stretched cover all of it.
    // The device bitmap is kept for the next paint while the background and
    // frame stay the same.
    RECT Draw(HDC dc, const RECT& rect, Placement placement, COLORREF background, size_t frame = 0);

    // Drops the device bitmap (a changed background colour needs a new one).
    void DropDrawable() { ReleaseDrawable(&drawable_); }

private:
    std::vector<uint8_t> bytes_;
    std::unique_ptr<Picture> picture_;
    bool decoded_ = false;
    uint32_t decodeCount_ = 0;
    DrawablePicture drawable_;
    COLORREF drawableBackground_ = 0;
    size_t drawableFrame_ = 0;
};

// Natural size centred when it fits, else scaled by the smaller ratio and centred.
RECT FittedRect(const RECT& area, int32_t width, int32_t height);
