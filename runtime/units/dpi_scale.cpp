#include "runtime/units/dpi_scale.h"

#include "runtime/units/property_rules.h"

namespace {

// value * num / den rounded to nearest, halves away from zero.
int64_t MulDivRounded(int64_t value, int64_t num, int64_t den)
{
    const int64_t product = value * num;
    return product >= 0 ? (product + den / 2) / den : -((-product + den / 2) / den);
}

}  // namespace

int32_t ScaleToDpi(int32_t stored, int32_t dpi)
{
    if (dpi == kStoredDpi || dpi <= 0) return stored;
    const int64_t scaled = MulDivRounded(stored, dpi, kStoredDpi);
    return static_cast<int32_t>(scaled < -kMaxCoordinate  ? -kMaxCoordinate
                                : scaled > kMaxCoordinate ? kMaxCoordinate
                                                          : scaled);
}

int32_t ScaleFromDpi(int32_t pixels, int32_t dpi)
{
    if (dpi == kStoredDpi || dpi <= 0) return pixels;
    return static_cast<int32_t>(MulDivRounded(pixels, kStoredDpi, dpi));
}

int32_t StoredFromPixels(int32_t pixels, int32_t stored, int32_t dpi)
{
    return ScaleToDpi(stored, dpi) == pixels ? stored : ScaleFromDpi(pixels, dpi);
}
