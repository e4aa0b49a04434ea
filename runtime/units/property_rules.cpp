#include "runtime/units/property_rules.h"

#include <cstdlib>
#include <cstring>

const char kDefaultFaceName[] = "\xcb\xce\xcc\xe5";

int32_t ClampRange(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }
int32_t ClampPosition(int32_t v) { return ClampRange(v, -kMaxCoordinate, kMaxCoordinate); }
int32_t ClampExtent(int32_t v) { return ClampRange(v, 0, kMaxCoordinate); }

int32_t PointSizeToHeight(int32_t size, int32_t dpiY)
{
    int64_t magnitude = size < 0 ? -static_cast<int64_t>(size) : size;
    // Rounded half away from zero, as a multiply-divide does.
    int64_t h = (magnitude * dpiY + 36) / 72;
    if (h > 0x7FFFFFFF) h = 0x7FFFFFFF;
    return -static_cast<int32_t>(h);
}

void SetFaceName(FontRecord60& font, const char* face)
{
    std::memset(font.faceName, 0, sizeof font.faceName);
    size_t n = face ? std::strlen(face) : 0;
    if (n == 0 || n >= sizeof font.faceName) {
        face = kDefaultFaceName;
        n = std::strlen(kDefaultFaceName);
    }
    std::memcpy(font.faceName, face, n);
}

static void SetAngle(FontRecord60& font, int32_t tenths)
{
    int32_t a = tenths % 3600;
    if (a < 0) a += 3600;
    font.escapement = a;
    font.orientation = a;
}

bool EditFont(FontRecord60& font, int32_t element, int32_t value, const char* face, const FontValue* whole,
              int32_t dpiY)
{
    switch (element) {
    case -1:
        if (!whole) return false;
        SetAngle(font, whole->angle);
        font.weight = whole->bold ? 700 : 0;
        font.italic = whole->italic != 0;
        font.underline = whole->underline != 0;
        font.strikeOut = whole->strikeOut != 0;
        font.height = PointSizeToHeight(whole->size, dpiY);
        SetFaceName(font, whole->faceName);
        return true;
    case 0:
        SetAngle(font, value);
        return true;
    case 1:
        font.weight = value ? 700 : 0;
        return true;
    case 2:
        font.italic = value != 0;
        return true;
    case 3:
        font.underline = value != 0;
        return true;
    case 4:
        font.strikeOut = value != 0;
        return true;
    case 5:
        font.height = PointSizeToHeight(value, dpiY);
        return true;
    case 6:
        SetFaceName(font, face);
        return true;
    default:
        return false;
    }
}
