// Stored unit data of the window and the units: defaults for empty data, the
// version rule, cut-off input, and what the writers produce.
#include "runtime/forms/window_unit_data.h"
#include "runtime/units/unit_data.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

void PutU32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// One unit type's reader and writer behind a common face.
struct DataKind {
    const char* name;
    uint32_t newest;
    std::function<bool(const std::vector<uint8_t>&)> read;
    std::function<std::vector<uint8_t>()> writeSample;
};

std::vector<DataKind> Kinds()
{
    return {
        {"window", 6,
         [](const std::vector<uint8_t>& b) {
             WindowUnitData d;
             return ReadWindowUnitData(b.data(), b.size(), d);
         },
         [] {
             WindowUnitData d;
             d.title = "\xb4\xb0\xbf\xda";
             d.picture = {1, 2, 3};
             d.className = "Cls";
             return WriteWindowUnitData(d);
         }},
        {"label", 2,
         [](const std::vector<uint8_t>& b) {
             LabelData d;
             return ReadLabelData(b.data(), b.size(), d);
         },
         [] {
             LabelData d;
             d.caption = "abc";
             d.font.assign(60, 7);
             return WriteLabelData(d);
         }},
        {"button", 1,
         [](const std::vector<uint8_t>& b) {
             ButtonData d;
             return ReadButtonData(b.data(), b.size(), d);
         },
         [] { return WriteButtonData(ButtonData{}); }},
        {"edit box", 2,
         [](const std::vector<uint8_t>& b) {
             EditBoxData d;
             return ReadEditBoxData(b.data(), b.size(), d);
         },
         [] {
             EditBoxData d;
             d.content = "x";
             return WriteEditBoxData(d);
         }},
        {"picture box", 2,
         [](const std::vector<uint8_t>& b) {
             PictureBoxData d;
             return ReadPictureBoxData(b.data(), b.size(), d);
         },
         [] {
             PictureBoxData d;
             d.picture = {0xFF, 0xD8};
             return WritePictureBoxData(d);
         }},
        {"html viewer", 1,
         [](const std::vector<uint8_t>& b) {
             HtmlViewerData d;
             return ReadHtmlViewerData(b.data(), b.size(), d);
         },
         [] {
             HtmlViewerData d;
             d.address = "http://127.0.0.1/";
             return WriteHtmlViewerData(d);
         }},
    };
}

TEST(UnitData, EveryKindTakesDefaultsRefusesNewerVersionsAndCutOffData)
{
    for (const DataKind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        EXPECT_TRUE(kind.read({}));
        std::vector<uint8_t> sample = kind.writeSample();
        ASSERT_GE(sample.size(), 4u);
        EXPECT_EQ(sample[0], kind.newest) << "writers produce the newest version";
        EXPECT_TRUE(kind.read(sample));
        // Every shorter prefix is cut off somewhere inside a field.
        for (size_t n = 1; n < sample.size(); ++n)
            EXPECT_FALSE(kind.read(std::vector<uint8_t>(sample.begin(), sample.begin() + n))) << "length " << n;
        std::vector<uint8_t> newer = sample;
        newer[0] = static_cast<uint8_t>(kind.newest + 1);
        EXPECT_FALSE(kind.read(newer));
    }
}

TEST(UnitData, DefaultsAreTheStoredDefaults)
{
    WindowUnitData w;
    ASSERT_TRUE(ReadWindowUnitData(nullptr, 0, w));
    EXPECT_EQ(w.borderStyle, 2u);
    EXPECT_EQ(w.pictureMode, 1u);
    EXPECT_EQ(w.backColor, 0xFF000000u);
    EXPECT_EQ(w.maxBox, 0u);
    EXPECT_EQ(w.minBox, 1u);
    EXPECT_EQ(w.startPosition, 1u);
    EXPECT_EQ(w.inTaskBar, 1u);
    EXPECT_EQ(w.word14, 1u);
    EXPECT_TRUE(w.className.empty());

    LabelData l;
    ASSERT_TRUE(ReadLabelData(nullptr, 0, l));
    EXPECT_EQ(l.caption, "\xb1\xea\xc7\xa9");  // 标签
    EXPECT_EQ(l.gradientBorderWidth, 8u);
    EXPECT_EQ(l.vAlign, 1u);
    EXPECT_EQ(l.backColor, 0xFF000000u);

    ButtonData b;
    ASSERT_TRUE(ReadButtonData(nullptr, 0, b));
    EXPECT_EQ(b.caption, "\xb0\xb4\xc5\xa5");  // 按钮
    EXPECT_EQ(b.hAlign, 1u);

    EditBoxData e;
    ASSERT_TRUE(ReadEditBoxData(nullptr, 0, e));
    EXPECT_EQ(e.borderStyle, 1u);
    EXPECT_EQ(e.backColor, 0xFFFFFFu);
    EXPECT_EQ(e.passwordChar, 42u);
    EXPECT_EQ(e.spinUpper, 100u);

    PictureBoxData p;
    ASSERT_TRUE(ReadPictureBoxData(nullptr, 0, p));
    EXPECT_EQ(p.displayMode, 0u);
    EXPECT_EQ(p.playAnimation, 1u);
}

// Older window versions carry fewer fields; each version reads exactly its own.
TEST(UnitData, WindowVersionsReadTheirOwnFields)
{
    struct Case {
        uint32_t version;
        int extraWords;  // words after the thirteen every version has
        bool className;
    };
    const Case cases[] = {{0, 0, false}, {1, 0, false}, {2, 1, false}, {3, 3, false},
                          {4, 4, false}, {5, 5, false}, {6, 5, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        std::vector<uint8_t> b;
        PutU32(b, c.version);
        for (int i = 0; i < 13; ++i) PutU32(b, i == 0 ? 4u : 0u);            // border style 4
        for (int i = 0; i < c.extraWords; ++i) PutU32(b, i == 0 ? 0u : 1u);  // task bar 0, then ones
        if (c.className) {
            PutU32(b, 2);
            b.push_back('W');
            b.push_back('X');
        }
        for (int i = 0; i < 3; ++i) PutU32(b, 0);  // picture, icon, music
        PutU32(b, 1);
        b.push_back('T');
        PutU32(b, 0);
        WindowUnitData d;
        ASSERT_TRUE(ReadWindowUnitData(b.data(), b.size(), d));
        EXPECT_EQ(d.borderStyle, 4u);
        EXPECT_EQ(d.title, "T");
        EXPECT_EQ(d.inTaskBar, c.version >= 2 ? 0u : 1u);
        EXPECT_EQ(d.topmost, c.version >= 4 ? 1u : 0u);
        EXPECT_EQ(d.className, c.className ? "WX" : "");
    }
}

TEST(UnitData, OlderLabelVersionsHaveNoDataSource)
{
    LabelData d;
    d.caption = "hello";
    d.dataSource = "src";
    std::vector<uint8_t> v2 = WriteLabelData(d);
    // Version 1: the same bytes without the two trailing texts.
    std::vector<uint8_t> v1(v2.begin(), v2.end() - 8 - 3);
    v1[0] = 1;
    LabelData read;
    ASSERT_TRUE(ReadLabelData(v1.data(), v1.size(), read));
    EXPECT_EQ(read.caption, "hello");
    EXPECT_TRUE(read.dataSource.empty());
    ASSERT_TRUE(ReadLabelData(v2.data(), v2.size(), read));
    EXPECT_EQ(read.dataSource, "src");
}

TEST(UnitData, EditBoxPasswordCharacterIsSixteenBits)
{
    EditBoxData d;
    d.passwordChar = 0x2022;
    d.content = "c";
    std::vector<uint8_t> b = WriteEditBoxData(d);
    EditBoxData read;
    ASSERT_TRUE(ReadEditBoxData(b.data(), b.size(), read));
    EXPECT_EQ(read.passwordChar, 0x2022u);
    EXPECT_EQ(read.content, "c");
    // version + 9 words + u16 + 6 words + font(4) + content(4+1) + two texts(8)
    EXPECT_EQ(b.size(), 4u + 36 + 2 + 24 + 4 + 5 + 8);
}

}  // namespace
