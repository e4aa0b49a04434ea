// The drawable form of a decoded picture: a device bitmap (or icon) made for a
// device context over a background colour, and its drawing.
#pragma once

#include "runtime/pictures/picture.h"

#include <windows.h>

// What MakeDrawable made. The record owns its bitmap and icon until
// ReleaseDrawable; it may be kept between paints for the same device.
struct DrawablePicture {
    HDC dc = nullptr; // borrowed: the device context it was made for
    PictureKind kind = PictureKind::None;
    int32_t width = 0;
    int32_t height = 0;
    HICON icon = nullptr;     // owned; kinds Icon and Cursor
    HBITMAP bitmap = nullptr; // owned; every other kind
};

// Makes the device bitmap (or, for icons and cursors, the icon handle) of one
// frame of `picture` over `background` (0x00BBGGRR; the caller has already
// replaced 0xFF000000 by the button-face colour). Releases whatever `out` held
// before. Returns 1 on success, 0 otherwise (then `out` is empty).
int MakeDrawable(HDC dc, const Picture* picture, DrawablePicture* out, PictureColour background, size_t frame = 0);

// Draws into the record's device context at (x, y); width or height -1 means the
// picture's own. `rasterOperation` is a GDI raster operation (SRCCOPY for every
// use here); a negative value -k draws with colour k (0x00BBGGRR) transparent.
void DrawPicture(const DrawablePicture* drawable, int x, int y, int width, int height, int64_t rasterOperation);

// The same into another device context (a memory DC while double-buffering).
void DrawPictureTo(HDC target, const DrawablePicture* drawable, int x, int y, int width, int height,
                   int64_t rasterOperation);

// Deletes the device bitmap or icon and clears the record.
void ReleaseDrawable(DrawablePicture* drawable);
