// The application's stored window, compiled from app/main_window.form, read
// back as the runtime reads it at start-up.
#include "runtime/forms/form_block.h"

#include "sl_app_form.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

uint32_t Word(const std::vector<uint8_t>& b, size_t at)
{
    uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

// The counted text that ends a unit's data after `skip` trailing texts.
std::string TrailingCountedText(const std::vector<uint8_t>& data, size_t position)
{
    uint32_t n = Word(data, position);
    return std::string(reinterpret_cast<const char*>(data.data() + position + 4), n);
}

TEST(AppForm, SevenUnitsWithTheirIdsTypesNamesRectanglesAndFlags)
{
    WindowSet set;
    ASSERT_TRUE(ReadFormBlock(kMainWindowForm, kMainWindowFormSize, &set));
    ASSERT_EQ(set.windows.size(), 1u);
    const WindowRecord& w = *set.windows[0];
    EXPECT_EQ(w.id, 0x52010001u);
    struct {
        UnitId id;
        UnitTypeId type;
        const char* name;  // GBK
        int32_t left, top, width, height;
        uint32_t flags;
    } expect[] = {
        {0x06010000, 0x00010001, "", 50, 50, 415, 127, kUnitVisible},
        {0x16011F52, 0x0001000A, "\xB1\xEA\xC7\xA9" "2", 64, 48, 216, 32, kUnitVisible},
        {0x16011F16, 0x00010006, "\xCD\xBC\xC6\xAC\xBF\xF2" "1", 296, 12, 16, 16, kUnitVisible},
        {0x16011EE7, 0x00010005, "\xB1\xE0\xBC\xAD\xBF\xF2" "1", 48, 8, 272, 24, kUnitVisible | kUnitTabStop},
        {0x16011EE6, 0x0001000A, "\xB1\xEA\xC7\xA9" "1", 8, 8, 40, 24, kUnitVisible},
        {0x16011EE4, 0x00030001, "\xB3\xAC\xCE\xC4\xB1\xBE\xE4\xAF\xC0\xC0\xBF\xF2" "1", 344, 56, 40, 24,
         kUnitTabStop},
        {0x16011EE1, 0x0001000B, "\xB0\xB4\xC5\xA5" "1", 328, 8, 72, 24, kUnitVisible | kUnitTabStop},
    };
    ASSERT_EQ(w.units.units.size(), 7u);
    for (size_t k = 0; k < 7; ++k) {
        const UnitRecord& u = w.units.units[k];
        EXPECT_EQ(u.id, expect[k].id) << k;
        EXPECT_EQ(u.type, expect[k].type) << k;
        EXPECT_EQ(u.name, expect[k].name) << k;
        EXPECT_EQ(u.left, expect[k].left) << k;
        EXPECT_EQ(u.top, expect[k].top) << k;
        EXPECT_EQ(u.width, expect[k].width) << k;
        EXPECT_EQ(u.height, expect[k].height) << k;
        EXPECT_EQ(u.flags, expect[k].flags) << k;
        EXPECT_EQ(u.parent, 0u) << k;
        EXPECT_EQ(u.pointerData, std::vector<uint8_t>(4, 0)) << k;
        EXPECT_TRUE(u.tag.empty()) << k;
    }
    // The window and the HTML viewer store no data: their types' defaults.
    EXPECT_TRUE(w.units.units[0].unitData.empty());
    EXPECT_TRUE(w.units.units[5].unitData.empty());
}

TEST(AppForm, BindingsAreTheButtonClickAndThePictureBoxMouseDown)
{
    WindowSet set;
    ASSERT_TRUE(ReadFormBlock(kMainWindowForm, kMainWindowFormSize, &set));
    void* table[kMainWindowFormSubroutineCount] = {};
    const uintptr_t base = reinterpret_cast<uintptr_t>(table);
    FixUpHandlers(&set, base);
    const UnitList& list = set.windows[0]->units;
    for (const UnitRecord& u : list.units) {
        if (u.id == 0x16011EE1) {
            ASSERT_EQ(u.bindings.size(), 1u);
            EXPECT_EQ(u.bindings[0].event, 0);
            EXPECT_EQ(u.bindings[0].handler, reinterpret_cast<uintptr_t>(&table[kMainWindowFormSubLookupSongLink]));
        } else if (u.id == 0x16011F16) {
            ASSERT_EQ(u.bindings.size(), 1u);
            EXPECT_EQ(u.bindings[0].event, -1);
            EXPECT_EQ(u.bindings[0].handler,
                      reinterpret_cast<uintptr_t>(&table[kMainWindowFormSubClearAddressBox]));
        } else {
            EXPECT_TRUE(u.bindings.empty()) << std::hex << u.id;
        }
    }
}

TEST(AppForm, UnitDataCarriesCaptionsBorderStylesAndThePicture)
{
    WindowSet set;
    ASSERT_TRUE(ReadFormBlock(kMainWindowForm, kMainWindowFormSize, &set));
    const UnitList& list = set.windows[0]->units;

    // Labels: version 2, 16 words, two empty counted byte fields, caption,
    // two empty counted texts.
    const size_t labelCaption = 4 * 17 + 4 + 4;
    EXPECT_EQ(Word(list.Find(0x16011F52)->unitData, 0), 2u);
    EXPECT_EQ(TrailingCountedText(list.Find(0x16011F52)->unitData, labelCaption),
              "\xC8\xED\xBC\xFE\xBD\xF6\xB9\xA9\xD1\xA7\xCF\xB0\xBD\xBB\xC1\xF7   BY\xA3\xBAMirvane");
    EXPECT_EQ(TrailingCountedText(list.Find(0x16011EE6)->unitData, labelCaption), "\xCD\xF8\xD6\xB7\xA3\xBA");

    // Button: version 1, three words, empty picture and font, caption "下载".
    const std::vector<uint8_t>& button = list.Find(0x16011EE1)->unitData;
    EXPECT_EQ(Word(button, 0), 1u);
    EXPECT_EQ(TrailingCountedText(button, 16 + 8), "\xCF\xC2\xD4\xD8");

    // Edit box: version 2, border style 5, empty content.
    const std::vector<uint8_t>& edit = list.Find(0x16011EE7)->unitData;
    EXPECT_EQ(Word(edit, 0), 2u);
    EXPECT_EQ(Word(edit, 4), 5u);

    // Picture box: border 0, button face, mode 1 (stretched), animate, then a
    // 128 x 128 JFIF picture.
    const std::vector<uint8_t>& pic = list.Find(0x16011F16)->unitData;
    const uint32_t header[5] = {2, 0, 0xFF000000, 1, 1};
    for (size_t k = 0; k < 5; ++k) EXPECT_EQ(Word(pic, 4 * k), header[k]) << k;
    const uint32_t n = Word(pic, 20);
    ASSERT_GT(n, 100u);
    ASSERT_EQ(pic.size(), 24 + n + 8u);
    const uint8_t* jpeg = pic.data() + 24;
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
    EXPECT_EQ(std::memcmp(jpeg + 6, "JFIF", 4), 0);
    EXPECT_EQ(jpeg[n - 2], 0xFF);
    EXPECT_EQ(jpeg[n - 1], 0xD9);
    // The frame header gives the size.
    size_t at = 2;
    while (at + 9 < n && !(jpeg[at] == 0xFF && (jpeg[at + 1] == 0xC0 || jpeg[at + 1] == 0xC2))) {
        at += 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
    }
    ASSERT_LT(at + 9, size_t(n));
    EXPECT_EQ(jpeg[at + 5] << 8 | jpeg[at + 6], 128);
    EXPECT_EQ(jpeg[at + 7] << 8 | jpeg[at + 8], 128);
}

TEST(AppForm, ReadBackAndWrittenAgainGivesTheSameBytes)
{
    WindowSet set;
    ASSERT_TRUE(ReadFormBlock(kMainWindowForm, kMainWindowFormSize, &set));
    std::vector<uint8_t> again = WriteFormBlock(set);
    EXPECT_EQ(again, std::vector<uint8_t>(kMainWindowForm, kMainWindowForm + kMainWindowFormSize));
}

}  // namespace
