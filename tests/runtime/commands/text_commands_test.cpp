#include "runtime/commands/text_commands.h"

#include "tests/runtime/commands/command_test_util.h"

namespace {

using TextCommands = CommandTest;

struct FindCase {
    const char* text;
    const char* sought;
    ArgRecord start;
    int32_t ignoreCase;
    int32_t forward;
    int32_t reverse;
};

TEST_F(TextCommands, FindForwardAndReverseRegions)
{
    const FindCase cases[] = {
        {"abcabc", "bc", OmittedArg(), 0, 2, 5},
        {"abcabc", "bc", MakeIntArg(3), 0, 5, -1},
        {"abcabc", "bc", MakeIntArg(5), 0, 5, 2},
        {"abcabc", "bc", MakeIntArg(7), 0, -1, 5},
        {"abcabc", "bc", MakeIntArg(0), 0, 2, -1},  // given 0: reverse region empty
        {"abcabc", "", OmittedArg(), 0, 1, 1},
        {"", "", OmittedArg(), 0, -1, -1},
        {"abc", "", MakeIntArg(4), 0, -1, 1},
        {"aXbx", "x", OmittedArg(), 1, 2, 4},
        {"aXbx", "x", OmittedArg(), 0, 4, 4},
        {"aXbx", "x", OmittedArg(), 2, 4, 4},  // only the value 1 ignores case
        {"aaaa", "aa", OmittedArg(), 0, 1, 3},  // reverse also sees overlapping matches
        // A byte never matches as the trail of a double-byte character.
        {GBK_TRAIL_A "a", "a", OmittedArg(), 0, 3, 3},
        {GBK_TRAIL_A, "a", OmittedArg(), 0, -1, -1},
        {GBK_TRAIL_A "A", "a", OmittedArg(), 1, 3, 3},
        {GBK_ZHONG GBK_WEN, "\xD0\xCE", OmittedArg(), 0, -1, -1},
        {GBK_ZHONG GBK_WEN, GBK_WEN, OmittedArg(), 0, 3, 3},
        // A start position inside a character makes that byte a boundary.
        {GBK_TRAIL_A "a", "a", MakeIntArg(2), 0, 2, -1},
        {"x" GBK_ZHONG GBK_ZHONG GBK_ZHONG "\xD0", "\xD0", OmittedArg(), 0, 8, 8},  // dangling lead at the end
    };
    for (const FindCase& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.sought);
        EXPECT_EQ(Call::Int(FindText, c.text, c.sought, c.start, c.ignoreCase), c.forward);
        EXPECT_EQ(Call::Int(FindTextReverse, c.text, c.sought, c.start, c.ignoreCase), c.reverse);
    }
}

TEST_F(TextCommands, FindReverseRegionEndsBeforeStart)
{
    // Region is the first start - 1 bytes: a match must end at or before it.
    EXPECT_EQ(Call::Int(FindTextReverse, "abcabc", "bc", 4), 2);
    EXPECT_EQ(Call::Int(FindTextReverse, "abcabc", "bc", 3), -1);
    EXPECT_EQ(Call::Int(FindTextReverse, "abcabc", "bc", 100), 5);
}

TEST_F(TextCommands, FindSkipsLongHighRunsWithOddParity)
{
    // 9 high bytes then 'a': the 9th byte is a lead whose trail is 'a'.
    std::string text(9, '\xB0');
    text += "aa";
    EXPECT_EQ(Call::Int(FindText, text, "a"), 11);
    text = std::string(10, '\xB0') + "a";
    EXPECT_EQ(Call::Int(FindText, text, "a"), 11);
}

struct CutCase {
    CommandFn command;
    const char* text;
    int32_t a;
    int32_t b;
    const char* expected;  // nullptr: the empty text (null)
};

TEST_F(TextCommands, LeftRightMidCut)
{
    const CutCase cases[] = {
        {MidText, "abcdef", 5, 10, "ef"},  {MidText, "abc", 4, 1, nullptr},  {MidText, "abc", 0, 2, nullptr},
        {MidText, "abc", 1, 0, nullptr},   {MidText, "abc", 2, 1, "b"},      {LeftText, "abc", 0, 0, nullptr},
        {LeftText, "abc", 2, 0, "ab"},     {LeftText, "abc", 9, 0, "abc"},   {LeftText, "abc", -1, 0, nullptr},
        {RightText, "abc", 2, 0, "bc"},    {RightText, "abc", 9, 0, "abc"},  {RightText, "abc", 0, 0, nullptr},
    };
    for (const CutCase& c : cases) {
        OwnedText r = c.command == MidText ? Call::Text(MidText, c.text, c.a, c.b) : Call::Text(c.command, c.text, c.a);
        if (c.expected) {
            EXPECT_STREQ(r.Get(), c.expected);
        } else {
            EXPECT_EQ(r.Get(), nullptr) << c.text;
        }
    }
}

struct ReplaceCase {
    const char* text;
    const char* sought;
    ArgRecord replacement;
    ArgRecord start;
    ArgRecord count;
    bool caseSensitive;
    const char* expected;
};

TEST_F(TextCommands, ReplaceText)
{
    const ArgRecord o = OmittedArg();
    auto t = [](const char* s) { return MakePointerArg(s, TYPE_TEXT); };
    const ReplaceCase cases[] = {
        {"aXbx", "x", t("-"), o, o, false, "a-b-"},
        {"aXbx", "x", t("-"), o, o, true, "aXb-"},
        {"a,b,c", ",", o, o, o, true, "abc"},
        {"a,b,c", ",", t(";;"), MakeIntArg(3), o, true, "a,b;;c"},
        {"a,b,c", ",", t(";"), o, MakeIntArg(1), true, "a;b,c"},
        {"a,b,c", ",", t(";"), o, MakeIntArg(-3), true, "a;b;c"},
        {"a,b,c", ",", t(";"), o, MakeIntArg(0), true, "a,b,c"},
        {"a,b,c", ",", t(";"), MakeIntArg(6), o, true, "a,b,c"},
        {"abc", "", t(";"), o, o, true, "abc"},
        {"", "a", t(";"), o, o, true, nullptr},
        {"aaa", "a", o, o, o, true, nullptr},
        {"aaaa", "aa", t("b"), o, o, true, "bb"},
        {GBK_TRAIL_A "a", "a", t("!"), o, o, true, GBK_TRAIL_A "!"},
        {GBK_TRAIL_A "A", "a", t("!"), o, o, false, GBK_TRAIL_A "!"},
        {"#\xD2\xFD\xBA\xC5:", "#\xD2\xFD\xBA\xC5", t("\""), o, o, true, "\":"},
        {"ab\xD0", "b", t("B"), o, o, true, "aB\xD0"},  // dangling lead kept
    };
    for (const ReplaceCase& c : cases) {
        SCOPED_TRACE(c.text);
        OwnedText r = Call::Text(ReplaceText, c.text, c.sought, c.replacement, c.start, c.count, c.caseSensitive);
        if (c.expected) {
            EXPECT_STREQ(r.CStr(), c.expected);
            EXPECT_EQ(r.Length(), strlen(c.expected));
        } else {
            EXPECT_EQ(r.Get(), nullptr);
        }
    }
}

struct SplitCase {
    const char* text;
    ArgRecord separator;
    ArgRecord maxParts;
    std::vector<std::string> expected;
};

TEST_F(TextCommands, SplitText)
{
    const ArgRecord o = OmittedArg();
    auto t = [](const char* s) { return MakePointerArg(s, TYPE_TEXT); };
    const SplitCase cases[] = {
        {"a,,b,", o, o, {"a", "<null>", "b"}},
        {"a,b,c", t(","), MakeIntArg(2), {"a", "b"}},
        {"a,b,c", t(","), MakeIntArg(0), {}},
        {"a,b,c", t(","), MakeIntArg(-1), {}},
        {"", t(","), o, {}},
        {"a,b", t(""), o, {"a,b"}},
        {",a", o, o, {"<null>", "a"}},
        {"a--b--", t("--"), o, {"a", "b"}},
        {"abc", t("x"), o, {"abc"}},
        {GBK_TRAIL_A "a" GBK_TRAIL_A, t("a"), o, {GBK_TRAIL_A, GBK_TRAIL_A}},
        {"a,b", t(","), MakeIntArg(1), {"a"}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.text);
        OwnedArray parts = Call::TextArray(SplitText, c.text, c.separator, c.maxParts);
        ASSERT_NE(parts.Get(), nullptr);
        EXPECT_EQ(ArrayWord(parts.Get(), 0), 1u);
        EXPECT_EQ(Parts(parts), c.expected);
    }
}

struct OneTextCase {
    CommandFn command;
    const char* text;
    const char* expected;  // nullptr: null result
};

TEST_F(TextCommands, SpacesAndCase)
{
    const OneTextCase cases[] = {
        {TrimBoth, "  a b  ", "a b"},
        {TrimBoth, GBK_FULLSPACE " a" GBK_FULLSPACE "b " GBK_FULLSPACE, "a" GBK_FULLSPACE "b"},
        {TrimBoth, "   ", nullptr},
        {TrimBoth, " a\xD0", "a"},  // a dangling lead byte is dropped
        {TrimBoth, GBK_ZHONG " ", GBK_ZHONG},
        {TrimBoth, "\xA1", nullptr},
        {RemoveAllSpaces, " a " GBK_FULLSPACE "b\xA1", "ab"},
        {RemoveAllSpaces, "\xA1\xA1\xA1 x", "\xA1 x"},  // 0xA1 0x20 is one character
        {RemoveAllSpaces, "", nullptr},
        {ToUpper, "ab" GBK_TRAIL_A "c", "AB" GBK_TRAIL_A "C"},
        {ToLower, "AB\xC1\x41Z", "ab\xC1\x41z"},
        {ToLower, "", nullptr},
    };
    for (const OneTextCase& c : cases) {
        SCOPED_TRACE(c.text);
        OwnedText r = Call::Text(c.command, c.text);
        if (c.expected) {
            EXPECT_STREQ(r.CStr(), c.expected);
        } else {
            EXPECT_EQ(r.Get(), nullptr);
        }
    }
}

TEST_F(TextCommands, SmallBuilders)
{
    EXPECT_EQ(Call::Int(TextLength, GBK_ZHONG "a"), 3);
    EXPECT_EQ(Call::Text(Character, 65).View(), "A");
    EXPECT_EQ(Call::Text(Character, 0x141).View(), "A");
    EXPECT_EQ(Call::Text(Character, 0).Get(), nullptr);
    EXPECT_EQ(Call::Text(SpaceText, 3).View(), "   ");
    EXPECT_EQ(Call::Text(SpaceText, 0).Get(), nullptr);
    EXPECT_EQ(Call::Text(RepeatText, 3, "ab").View(), "ababab");
    EXPECT_EQ(Call::Text(RepeatText, -2, "ab").Get(), nullptr);
    EXPECT_EQ(Call::Text(RepeatText, 5, "").Get(), nullptr);
}

TEST_F(TextCommands, CompareTextCase)
{
    struct Case {
        const char* a;
        const char* b;
        bool caseSensitive;
        int32_t expected;
    } const cases[] = {
        {"abc", "abc", true, 0},   {"abc", "abd", true, -1},  {"abd", "abc", true, 1},
        {"ab", "abc", true, -1},   {"ABC", "abc", true, -1},  {"ABC", "abc", false, 0},
        {GBK_ZHONG, "z", true, 1}, {"\xB0\xA1", "\xB0\xA2", true, -1},
        {"", "", true, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Call::Int(CompareTextCase, c.a, c.b, c.caseSensitive), c.expected) << c.a << " vs " << c.b;
    }
}

}  // namespace
