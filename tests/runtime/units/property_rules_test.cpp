// Property value rules: clamps, stored layouts at the screen's DPI, font records and the
// face-name rule.
#include "runtime/units/dpi_scale.h"
#include "runtime/units/property_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(PropertyRules, PositionsAndExtentsAreClampedNotRejected)
{
    struct Case {
        int32_t in, position, extent;
    };
    const Case cases[] = {
        {40000, 32627, 32627},     {-40000, -32627, 0},   {-5, -5, 0},         {0, 0, 0},
        {32627, 32627, 32627},     {32628, 32627, 32627}, {-32628, -32627, 0}, {INT32_MIN, -32627, 0},
        {INT32_MAX, 32627, 32627},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClampPosition(c.in), c.position) << c.in;
        EXPECT_EQ(ClampExtent(c.in), c.extent) << c.in;
    }
}

TEST(PropertyRules, StoredLayoutScalesToTheScreensDpiRoundedToNearest)
{
    struct Case {
        int32_t stored, dpi, pixels;
    };
    const Case cases[] = {
        {415, 96, 415},      {415, 120, 519},       {415, 144, 623},         {415, 192, 830},    {127, 120, 159},
        {127, 144, 191},     {1, 144, 2},           {-1, 144, -2},           {-3, 120, -4},      {0, 192, 0},
        {32627, 144, 32627}, {-32627, 192, -32627}, {INT32_MAX, 120, 32627}, {40000, 96, 40000}, {415, 72, 311},
    };
    for (const Case& c : cases) EXPECT_EQ(ScaleToDpi(c.stored, c.dpi), c.pixels) << c.stored << " at " << c.dpi;
    EXPECT_EQ(ScaleFromDpi(623, 144), 415);
    EXPECT_EQ(ScaleFromDpi(-2, 144), -1);
}

TEST(PropertyRules, FontAttributesChangeOneAtATime)
{
    FontRecord60 font{};
    font.height = -12;
    font.charSet = 134;
    std::memcpy(font.faceName, "Arial", 5);
    struct Case {
        int32_t element, value;
        int32_t FontRecord60::*field;
        int32_t expected;
    };
    const Case cases[] = {
        {0, 450, &FontRecord60::escapement, 450},   {0, -900, &FontRecord60::escapement, 2700},
        {0, 7300, &FontRecord60::orientation, 100}, {1, 1, &FontRecord60::weight, 700},
        {1, 0, &FontRecord60::weight, 0},           {5, 9, &FontRecord60::height, -12},
        {5, -10, &FontRecord60::height, -13},       {5, 0, &FontRecord60::height, 0},
    };
    for (const Case& c : cases) {
        FontRecord60 f = font;
        ASSERT_TRUE(EditFont(f, c.element, c.value, nullptr, nullptr, 96)) << c.element;
        EXPECT_EQ(f.*c.field, c.expected) << c.element << " " << c.value;
        EXPECT_EQ(f.charSet, 134) << "other fields stay";
        EXPECT_STREQ(f.faceName, "Arial");
    }
    FontRecord60 f = font;
    EXPECT_TRUE(EditFont(f, 2, 5, nullptr, nullptr, 96));
    EXPECT_EQ(f.italic, 1);
    EXPECT_TRUE(EditFont(f, 3, 1, nullptr, nullptr, 96));
    EXPECT_EQ(f.underline, 1);
    EXPECT_TRUE(EditFont(f, 4, 1, nullptr, nullptr, 96));
    EXPECT_EQ(f.strikeOut, 1);
    EXPECT_FALSE(EditFont(f, 7, 1, nullptr, nullptr, 96));
    EXPECT_FALSE(EditFont(f, -1, 0, nullptr, nullptr, 96)) << "a whole font needs its record";
}

TEST(PropertyRules, FaceNamesOfThirtyTwoBytesOrEmptyBecomeSongTi)
{
    const std::string songTi = kDefaultFaceName;
    struct Case {
        const char* face;
        std::string expected;
    };
    const std::string b31(31, 'a'), b32(32, 'b'), b40(40, 'c');
    const Case cases[] = {
        {nullptr, songTi},
        {"", songTi},
        {b32.c_str(), songTi},
        {b40.c_str(), songTi},
        {b31.c_str(), b31},
        {"Tahoma", "Tahoma"},
        {"\xba\xda\xcc\xe5", "\xba\xda\xcc\xe5"},
    };
    for (const Case& c : cases) {
        FontRecord60 f{};
        std::memset(f.faceName, 'z', sizeof f.faceName);
        ASSERT_TRUE(EditFont(f, 6, 0, c.face, nullptr, 96));
        EXPECT_EQ(std::string(f.faceName, strnlen(f.faceName, 32)), c.expected);
        EXPECT_EQ(f.faceName[31], '\0') << "the record stays NUL-terminated";
    }
}

TEST(PropertyRules, WholeFontFromTheProgramsFontRecord)
{
    FontRecord60 f{};
    f.charSet = 134;
    const FontValue value{-10, 1, 1, 0, 1, 12, "Tahoma"};
    ASSERT_TRUE(EditFont(f, -1, 0, nullptr, &value, 120));
    EXPECT_EQ(f.escapement, 3590);
    EXPECT_EQ(f.weight, 700);
    EXPECT_EQ(f.italic, 1);
    EXPECT_EQ(f.underline, 0);
    EXPECT_EQ(f.strikeOut, 1);
    EXPECT_EQ(f.height, -20);  // 12 pt at 120 dpi
    EXPECT_STREQ(f.faceName, "Tahoma");
    EXPECT_EQ(f.charSet, 134);
}

}  // namespace
