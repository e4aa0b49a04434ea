#include "app/value_helpers.h"

#include "tests/support/heap_balance.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace {

TEST(ValueHelpers, ConcatTexts)
{
    HeapBalance balance;
    {
        OwnedText owned(CopyText("b"));
        OwnedText abc = ConcatTexts({"a", owned, nullptr, std::string("c")});
        EXPECT_STREQ(abc.Get(), "abc");
        OwnedText empty = ConcatTexts({"", nullptr});
        ASSERT_NE(empty.Get(), nullptr);  // a fresh one-byte block
        EXPECT_STREQ(empty.Get(), "");
        const char* many[20];
        for (auto& m : many) m = "x";
        EXPECT_EQ(OwnedText(ConcatTexts(20, many)).View(), std::string(20, 'x'));
    }
    EXPECT_EQ(balance.Delta(), 0);
}

TEST(ValueHelpers, ConcatByteSets)
{
    HeapBalance balance;
    {
        OwnedBytes a(CopyBytesAsByteSet("ab", 2));
        OwnedBytes b(CopyBytesAsByteSet("\0c", 2));
        OwnedBytes joined = ConcatByteSets({a, nullptr, b});
        EXPECT_EQ(joined.View(), std::string("ab\0c", 4));
        EXPECT_EQ(ArrayWord(joined.Get(), 0), 1u);
        EXPECT_EQ(ConcatByteSets({nullptr, nullptr}).Get(), nullptr);
    }
    EXPECT_EQ(balance.Delta(), 0);
}

TEST(ValueHelpers, CompareTexts)
{
    OwnedText emptyBlock(static_cast<Text>(RuntimeAlloc(1)));
    const_cast<char*>(emptyBlock.Get())[0] = 0;
    struct Case {
        const char* a;
        const char* b;
        int32_t expected;
    } const cases[] = {
        {nullptr, emptyBlock.Get(), 0}, {"a", "b", -1}, {"b", "a", 1}, {"ab", "a", 1},
        {"\xD6\xD0", "z", 1},  // bytes compare unsigned
        {"abc", "abc", 0},      {nullptr, "a", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(CompareTexts(c.a, c.b), c.expected);
}

TEST(ValueHelpers, ArrayElements)
{
    alignas(4) uint8_t twoByThree[4 * 3 + 6] = {2, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c', 'd', 'e', 'f'};
    alignas(4) uint8_t noDims[4] = {0, 0, 0, 0};
    EXPECT_EQ(ArrayElementCount(twoByThree), 6u);
    EXPECT_EQ(ArrayElementCount(noDims), 0u);
    ArrayElementsView v = ArrayElements(twoByThree);
    EXPECT_EQ(v.count, 6u);
    EXPECT_EQ(v.first, twoByThree + 12);
    ArrayElementsView none = ArrayElements(nullptr);
    EXPECT_EQ(none.first, nullptr);
    EXPECT_EQ(none.count, 0u);
}

TEST(ValueHelpers, TruncateToInteger)
{
    EXPECT_EQ(TruncateToInteger(2.9), 2);
    EXPECT_EQ(TruncateToInteger(-2.9), -2);
    EXPECT_EQ(TruncateToInteger(1493600258.999), 1493600258LL);
    EXPECT_EQ(TruncateToInteger(4294967296.5), 4294967296LL);
    EXPECT_EQ(static_cast<int32_t>(TruncateToInteger(4294967297.0)), 1);  // callers keep the low word
    EXPECT_EQ(TruncateToInteger(1e300), INT64_MIN);
    EXPECT_EQ(TruncateToInteger(NAN), INT64_MIN);
}

}  // namespace
