// The value rules of unit properties that do not need a window: position and
// size clamps, range clamps, and the editing of 60-byte logical font records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr int32_t kMaxCoordinate = 32627;

// Left/top: into -32,627 .. 32,627. Width/height: into 0 .. 32,627.
int32_t ClampPosition(int32_t v);
int32_t ClampExtent(int32_t v);
// Into lo .. hi (signed).
int32_t ClampRange(int32_t v, int32_t lo, int32_t hi);

// The stored font: the Windows logical font record, byte for byte (ANSI face
// name of 32 bytes, GBK).
#pragma pack(push, 1)
struct FontRecord60 {
    int32_t height;
    int32_t width;
    int32_t escapement;
    int32_t orientation;
    int32_t weight;
    uint8_t italic;
    uint8_t underline;
    uint8_t strikeOut;
    uint8_t charSet;
    uint8_t outPrecision;
    uint8_t clipPrecision;
    uint8_t quality;
    uint8_t pitchAndFamily;
    char faceName[32];
};
#pragma pack(pop)
static_assert(sizeof(FontRecord60) == 60, "the stored font is 60 bytes");

// The program's font value (element index -1): angle in tenths of a degree,
// four flags, size in points and the face name text.
struct FontValue {
    int32_t angle;
    int32_t bold;
    int32_t italic;
    int32_t underline;
    int32_t strikeOut;
    int32_t size;
    const char* faceName;  // borrowed GBK text, may be null
};

// "宋体" in GBK: what a null, empty or too long (32 bytes or more) face name becomes.
extern const char kDefaultFaceName[];

// Logical height of a point size: -(|size| x dpiY / 72), rounded like a
// multiply-divide.
int32_t PointSizeToHeight(int32_t size, int32_t dpiY);

// Changes one attribute (element 0..6) of `font`, or replaces it from a whole
// font value (element -1, `whole` non-null). `value` is the number for 0..5;
// `face` the text for 6. False for an unknown element index.
bool EditFont(FontRecord60& font, int32_t element, int32_t value, const char* face, const FontValue* whole,
              int32_t dpiY);

// Sets the face name by the rule above.
void SetFaceName(FontRecord60& font, const char* face);
