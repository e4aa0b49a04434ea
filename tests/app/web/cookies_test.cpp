#include "app/web/cookies.h"
#include "app/web/gbk_text.h"

#include <gtest/gtest.h>

namespace {

struct MergeCase {
    const char* cookies;
    const char* newCookies;
    const char* merged;
    const char* newAfter;
};

TEST(MergeCookies, Table)
{
    const MergeCase cases[] = {
        {"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1", "b=3;c=4"},
        {"a=1; b=2", "b=deleted", "a=1", "b=deleted"},
        {"a=1", "", "a=1", ""},
        {"", "", "", ""},
        {"", "x=1", "x=1", "x=1"},
        {"x=a b", "", "x=ab", ""},
        {"a=1; a=1", "", "a=1", ""},
        {"", "a=1; a=2", "a=1; a=2", "a=1;a=2"},
        {"a=1; a=2", "b=3", "b=3; a=1", "b=3"},
        {"flag; a=1", "flag=2", "flag=2; a=1", "flag=2"},
        {"a=1;;b=2", "", "a=1; ; b=2", ""},  // the empty item survives as an empty name
        {"a=1", "c=deleted; a=deleted", "", "c=deleted;a=deleted"},
        {"s=\xA1\xA1v", "", "s=v", ""},
    };
    for (const MergeCase& c : cases) {
        std::string cookies = c.cookies;
        std::string received = c.newCookies;
        std::string merged = web::MergeCookies(cookies, received);
        EXPECT_EQ(merged, c.merged) << c.cookies << " + " << c.newCookies;
        EXPECT_EQ(cookies, c.merged);
        EXPECT_EQ(received, c.newAfter);
    }
}

TEST(CookieHelpers, NamesIndexesAndDuplicates)
{
    EXPECT_EQ(web::CookieName(" sid = 1"), "sid");
    EXPECT_EQ(web::CookieName("flag"), "flag");
    EXPECT_EQ(web::CookieName("=v"), "");
    std::vector<std::string> items = {"a=1", "B=2", ""};
    EXPECT_TRUE(web::HasCookieName(items, "B"));
    EXPECT_FALSE(web::HasCookieName(items, "b"));
    EXPECT_TRUE(web::HasCookieName(items, ""));
    EXPECT_EQ(web::IndexOfText(items, "B=2"), 2);
    EXPECT_EQ(web::IndexOfText(items, ""), 3);
    EXPECT_EQ(web::IndexOfText(items, "a=2"), -1);
    EXPECT_EQ(web::RemoveDuplicateItems("a; b; a; c; b", "; "), "a; b; c");
    EXPECT_EQ(web::RemoveDuplicateItems("", "; "), "");
    EXPECT_EQ(web::RemoveDuplicateItems("A,a,A", ","), "A,a");
}

TEST(CompareBytes, UnsignedFirstDifference)
{
    const unsigned char a[] = {1, 2, 0x80};
    const unsigned char b[] = {1, 2, 0x7F};
    EXPECT_EQ(web::CompareBytes(a, b, 2), 0);
    EXPECT_EQ(web::CompareBytes(a, b, 3), 1);
    EXPECT_EQ(web::CompareBytes(b, a, 3), -1);
    EXPECT_EQ(web::CompareBytes(a, b, 0), 0);
}

TEST(CookiesOfHeaders, ItemsWithoutAttributes)
{
    const char* headers =
        "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\nX-Set-Cookie-Note: n\r\n"
        "Set-Cookie:  c = 3 ;HttpOnly\r\n\r\n";
    EXPECT_EQ(web::CookiesOfHeaders(headers), "a=1; b=2; X-Set-Cookie-Note: n; c = 3");
    EXPECT_EQ(web::CookiesOfHeaders("HTTP/1.1 200 OK\r\n\r\n"), "");
}

TEST(GbkText, CommandSemantics)
{
    using web::FindText;
    using web::FindTextReverse;
    EXPECT_EQ(FindText("abcabc", "bc"), 2);
    EXPECT_EQ(FindText("abcabc", "bc", 3), 5);
    EXPECT_EQ(FindText("abcabc", "bc", 7), -1);
    EXPECT_EQ(FindTextReverse("abcabc", "bc"), 5);
    EXPECT_EQ(FindTextReverse("abcabc", "bc", 5), 2);
    EXPECT_EQ(FindTextReverse("abcabc", "bc", -1), -1);
    EXPECT_EQ(FindText("abc", ""), 1);
    EXPECT_EQ(FindText("", ""), -1);
    // "A" (0x41) is the trail byte of the GBK character 0x81 0x41.
    EXPECT_EQ(FindText("\x81\x41x", "A"), -1);
    EXPECT_EQ(FindText("Content-TYPE: x", "content-type:", 1, true), 1);
    EXPECT_EQ(web::ReplaceAll("aXbx", "x", "-", false), "a-b-");
    EXPECT_EQ(web::ReplaceAll("aXbx", "x", "-", true), "aXb-");
    std::vector<std::string> parts = web::SplitText("a,,b,", ",");
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[1], "");
    EXPECT_EQ(web::TrimBoth(" \xA1\xA1 a b \xA1\xA1 "), "a b");
    EXPECT_EQ(web::TrimBoth("   "), "");
    EXPECT_EQ(web::RemoveAllSpaces(" a\xA1\xA1 b\x81"), "ab");
    EXPECT_EQ(web::ToLower("AB\x81\x41"), "ab\x81\x41");
    EXPECT_EQ(web::TextToInt("\xA3\xB1\xA3\xB2\xA3\xB3"), 123);
    EXPECT_EQ(web::TextToInt("12abc"), 12);
    EXPECT_EQ(web::TextBetween("a=1&b=2", "a=", "&"), "1");
    EXPECT_EQ(web::TextBetween("a=1&b=2", "a=", "x"), "");
    EXPECT_EQ(web::TextBetween("&a=1", "a=", "&"), "");
}

}  // namespace
