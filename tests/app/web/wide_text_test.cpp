#include "app/web/wide_text.h"

#include "tests/app/web/web_test_support.h"

#include <gtest/gtest.h>

namespace {

class WideTextTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InstallWebDllCommands(); }
};

std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

TEST_F(WideTextTest, GbkToUtf16AndBack)
{
    struct Case {
        std::string text;
        bool dropTerminator;
        std::string wide;
    };
    const Case cases[] = {
        {"ab", false, std::string("a\0b\0\0\0", 6)},
        {"ab", true, std::string("a\0b\0", 4)},
        {"", false, ""},
        {"", true, ""},
        {"\xD6\xD0", false, std::string("\x2D\x4E\0\0", 4)},  // U+4E2D
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Bytes(web::TextToWide(c.text, c.dropTerminator)), c.wide) << c.text;
        EXPECT_EQ(web::WideToText(c.wide.data(), c.wide.size()), c.text) << c.text;
    }
    // An odd trailing byte is ignored; a NUL unit ends the text.
    EXPECT_EQ(web::WideToText("a\0b\0c", 5), "ab");
    EXPECT_EQ(web::WideToText(std::string("a\0\0\0b\0", 6).data(), 6), "a");
    EXPECT_EQ(web::WideToText(nullptr, 0), "");
}

TEST_F(WideTextTest, CharsetsToGbk)
{
    struct Case {
        const char* charset;
        std::string body;
        std::string gbk;
    };
    const Case cases[] = {
        {"UTF-8", "\xE4\xB8\xAD", "\xD6\xD0"},
        {"big5", "\xA4\xA4", "\xD6\xD0"},
        {"shift_jis", "\x92\x86", "\xD6\xD0"},
        {"utf-16le", std::string("\x2D\x4E", 2), "\xD6\xD0"},
        {"utf-16be", std::string("\x4E\x2D", 2), "\xD6\xD0"},
        {"gb18030", "\xD6\xD0", "\xD6\xD0"},
        {"windows-1252", "caf\xE9", "caf\xA8\xA6"},
    };
    for (const Case& c : cases) {
        std::string out;
        uint32_t codePage = web::CodePageOfCharset(c.charset);
        ASSERT_NE(codePage, 0u) << c.charset;
        EXPECT_TRUE(web::ConvertToGbk(reinterpret_cast<const uint8_t*>(c.body.data()), c.body.size(), codePage, &out))
            << c.charset;
        EXPECT_EQ(out, c.gbk) << c.charset;
    }
    std::string out = "x";
    EXPECT_EQ(web::CodePageOfCharset("x-no-such"), 0u);
    EXPECT_FALSE(web::ConvertToGbk(reinterpret_cast<const uint8_t*>("a"), 1, 0, &out));
}

}  // namespace
