// The regular-expression object over the platform's "VBScript.RegExp".
#include "app/text/regex_object.h"

#include "tests/app/text/text_test_support.h"
#include "tests/support/heap_balance.h"

#include <memory>

namespace {

class RegexObjectTest : public AppTextTest {
protected:
    void SetUp() override {
        AppTextTest::SetUp();
        SL_SKIP_WITHOUT_CLASSES(L"VBScript.RegExp");
    }
};

TEST_F(RegexObjectTest, SearchFlagsAndTheirDefaults) {
    const char* subject = "Abc1\nabd2\nxyz";
    struct Case {
        const char* what;
        bool caseSensitive, multiline, global;
        int32_t count;
    };
    // ^a\w+$ : every line that starts with "a", as whole lines.
    const Case cases[] = {
        {"defaults: ignore case, multiline, global", false, true, true, 2},
        {"case-sensitive", true, true, true, 1},
        {"single line: ^ and $ are the whole subject", false, false, true, 0},
        {"first match only", false, true, false, 1},
    };
    for (const Case& c : cases) {
        RegexObject regex;
        ASSERT_TRUE(regex.Search("^a\\w+$", subject, c.caseSensitive, c.multiline, c.global)) << c.what;
        EXPECT_EQ(regex.MatchCount(), c.count) << c.what;
    }
    RegexObject defaults;
    ASSERT_TRUE(defaults.Search("^a\\w+$", subject));
    EXPECT_EQ(defaults.MatchCount(), 2);
    EXPECT_EQ(Str(defaults.MatchText(1).Get()), "Abc1");
    EXPECT_EQ(Str(defaults.MatchText(2).Get()), "abd2");
}

TEST_F(RegexObjectTest, NoMatchIsStillASuccessfulSearch) {
    RegexObject regex;
    EXPECT_TRUE(regex.Search("q+", "abc"));
    EXPECT_EQ(regex.MatchCount(), 0);
}

TEST_F(RegexObjectTest, RejectedPatternGivesFalse) {
    RegexObject regex;
    for (const char* pattern : {"(", "[a-", "a{2,1}"}) {
        EXPECT_FALSE(regex.Search(pattern, "a(b")) << pattern;
        EXPECT_EQ(regex.MatchCount(), 0) << pattern;
        EXPECT_EQ(Str(regex.MatchText(1).Get()), "") << pattern;
    }
}

TEST_F(RegexObjectTest, QuoteMarkerStandsForADoubleQuote) {
    const char* subject = "<a href=\"song.mp3\">";
    const char* pattern = "href=#\xD2\xFD\xBA\xC5(.+?)#\xD2\xFD\xBA\xC5"; // href=#引号(.+?)#引号
    RegexObject regex;
    ASSERT_TRUE(regex.Search(pattern, subject, false, true, true, true));
    ASSERT_EQ(regex.MatchCount(), 1);
    EXPECT_EQ(Str(regex.SubmatchText(1, 1).Get()), "song.mp3");
    EXPECT_EQ(Str(regex.GetPattern().Get()), "href=\"(.+?)\"");

    ASSERT_TRUE(regex.Search(pattern, subject));
    EXPECT_EQ(regex.MatchCount(), 0) << "without the flag the marker is literal";
}

TEST_F(RegexObjectTest, PositionsAreByteOffsetsOfTheMatch) {
    struct Case {
        const char* pattern;
        const char* subject;
        int32_t match;
        const char* text;
        int32_t position;
    };
    const Case cases[] = {
        {"abc", "xxabc", 1, "abc", 2},
        {"a", "aaa", 2, "a", 1}, // the second match, not the first occurrence
        {"abc", "ABCabc", 2, "abc", 3},
        {"abc",
         "\xD6\xD0\xCE\xC4"
         "abc",
         1, "abc", 4}, // after two double-byte characters
        {"\xCE\xC4", "\xD6\xD0\xCE\xC4\xCE\xC4", 2, "\xCE\xC4", 4},
    };
    for (const Case& c : cases) {
        RegexObject regex;
        ASSERT_TRUE(regex.Search(c.pattern, c.subject)) << c.subject;
        int32_t position = -100;
        EXPECT_EQ(Str(regex.MatchText(c.match, &position).Get()), c.text) << c.subject;
        EXPECT_EQ(position, c.position) << c.subject;
    }
}

TEST_F(RegexObjectTest, CaptureGroupsAndTheirPositions) {
    RegexObject regex;
    ASSERT_TRUE(regex.Search("(\\w)=(\\d+)", "a=1; bb=22"));
    ASSERT_EQ(regex.MatchCount(), 2);
    EXPECT_EQ(regex.SubmatchCount(), 2);
    int32_t position = -100;
    EXPECT_EQ(Str(regex.SubmatchText(2, 1, &position).Get()), "b");
    EXPECT_EQ(position, 6) << "the group's text at or after the start of its match";
    EXPECT_EQ(Str(regex.SubmatchText(2, 2, &position).Get()), "22");
    EXPECT_EQ(position, 8);
    EXPECT_EQ(Str(regex.SubmatchText(3, 1, &position).Get()), "") << "no third match";
    EXPECT_EQ(position, -2);
    EXPECT_EQ(Str(regex.SubmatchText(1, 5).Get()), "") << "no fifth group";
}

// The web routines look a page's declared character set up this way.
TEST_F(RegexObjectTest, MetaCharsetOfAPageHead) {
    const char* pattern = "<meta.+?charset=[^\\w]?([-\\w]+)";
    struct Case {
        const char* head;
        const char* charset;
    };
    const Case cases[] = {
        {"<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
         "charset=gb2312\" />\r\n<title>\xD2\xF4\xC0\xD6</title>",
         "gb2312"},
        {"<html><head><META CHARSET=\"UTF-8\"><title>x</title>", "UTF-8"},
        {"<head><meta name=\"viewport\" content=\"width=device-width\">\n<meta charset='big5-hkscs'>", "big5-hkscs"},
    };
    for (const Case& c : cases) {
        RegexObject regex;
        ASSERT_TRUE(regex.Search(pattern, c.head)) << c.head;
        ASSERT_GE(regex.MatchCount(), 1) << c.head;
        EXPECT_EQ(Str(regex.SubmatchText(1, 1).Get()), c.charset) << c.head;
    }
}

TEST_F(RegexObjectTest, ReplaceMatchesAndGetPattern) {
    RegexObject regex;
    EXPECT_EQ(Str(regex.GetPattern().Get()), "") << "a fresh instance has no pattern";
    EXPECT_EQ(regex.MatchCount(), 0);
    ASSERT_TRUE(regex.Search("(\\d)", "a1b2\xD6\xD0"
                                      "3"));
    EXPECT_EQ(Str(regex.GetPattern().Get()), "(\\d)");
    EXPECT_EQ(Str(regex.ReplaceMatches("[$1]").Get()), "a[1]b[2]\xD6\xD0[3]");
    ASSERT_TRUE(regex.Search("\\d", "a1b2", false, true, false));
    EXPECT_EQ(Str(regex.ReplaceMatches("\xCE\xC4").Get()), "a\xCE\xC4"
                                                           "b2")
        << "not global: the first only";
}

TEST_F(RegexObjectTest, ClassTableCopiesAndDestroys) {
    const RegexClassTable& table = RegexObject::ClassTable();
    auto* regex = new RegexObject();
    EXPECT_EQ(regex->classTable(), &table);
    ASSERT_TRUE(table.search(regex, "b+", "abbcb", false, true, true, false));
    table.emptyMethod(regex);
    RegexObject* copy = table.copy(regex);
    table.destroy(regex); // the copy holds its own references
    EXPECT_EQ(table.matchCount(copy), 2);
    int32_t position = 0;
    Text second = table.matchText(copy, 2, &position);
    EXPECT_EQ(Str(second), "b");
    EXPECT_EQ(position, 4);
    RuntimeFree(second);
    Text replaced = table.replaceMatches(copy, "-");
    EXPECT_EQ(Str(replaced), "a-c-");
    RuntimeFree(replaced);
    table.destroy(copy);
}

TEST_F(RegexObjectTest, LeavesNoBlocksBehind) {
    HeapBalance balance;
    for (int i = 0; i < 20; ++i) {
        RegexObject regex;
        regex.Search("(\\w)(\\d)", "a1 b2 \xD6\xD0");
        regex.MatchCount();
        regex.SubmatchCount();
        int32_t position = 0;
        regex.MatchText(2, &position);
        regex.SubmatchText(1, 2, &position);
        regex.ReplaceMatches("$2");
        regex.GetPattern();
        RegexObject copy(regex);
        copy.MatchText(1);
    }
    EXPECT_EQ(balance.Delta(), 0);
}

} // namespace
