// The call helpers and owning wrappers: what they put in the frame, and that
// results are released exactly once.
#include "app/call.h"

#include "runtime/commands/byteset_commands.h"
#include "runtime/commands/text_commands.h"
#include "tests/support/heap_balance.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<ArgRecord> gSeen;
void Capture(CommandResult* result, int32_t argc, ArgRecord* args)
{
    gSeen.assign(args, args + argc);
    SetInt(*result, argc);
}

TEST(CallHelpers, ArgumentRecords)
{
    OwnedText owned;
    int32_t variable = 0;
    const uint8_t* nullBytes = nullptr;
    EXPECT_EQ(Call::Int(Capture, "t", owned, nullBytes, 7, true, 2.5, kOmitted, DateTimeArg{1.5}, IntRef{&variable},
                        WindowArg{9}, LongArg{-2}),
              11);
    ASSERT_EQ(gSeen.size(), 11u);
    EXPECT_EQ(gSeen[0].type, TYPE_TEXT);
    EXPECT_STREQ(static_cast<const char*>(gSeen[0].ptr), "t");
    EXPECT_EQ(gSeen[1].type, TYPE_TEXT);
    ASSERT_NE(gSeen[1].ptr, nullptr);  // an empty text travels as a static ""
    EXPECT_STREQ(static_cast<const char*>(gSeen[1].ptr), "");
    EXPECT_EQ(gSeen[2].type, TYPE_BYTESET);
    ASSERT_NE(gSeen[2].ptr, nullptr);  // and an empty byte set as a static {1, 0}
    EXPECT_EQ(ByteSetLength(gSeen[2].ptr), 0u);
    EXPECT_EQ(gSeen[3].type, TYPE_INT);
    EXPECT_EQ(ArgInt(gSeen[3]), 7);
    EXPECT_EQ(gSeen[4].type, TYPE_BOOL);
    EXPECT_EQ(gSeen[4].low, 1u);
    EXPECT_EQ(gSeen[5].type, TYPE_DOUBLE);
    EXPECT_EQ(ArgDouble(gSeen[5]), 2.5);
    EXPECT_EQ(gSeen[6].type, TYPE_NONE);
    EXPECT_EQ(gSeen[6].low | gSeen[6].high, 0u);
    EXPECT_EQ(gSeen[7].type, TYPE_DATETIME);
    EXPECT_EQ(ArgDouble(gSeen[7]), 1.5);
    EXPECT_EQ(gSeen[8].type, TYPE_INT | TYPE_ARRAY_FLAG);
    EXPECT_EQ(gSeen[8].ptr, &variable);
    EXPECT_EQ(gSeen[9].type, TYPE_WINDOW);
    EXPECT_EQ(gSeen[9].low, 9u);
    EXPECT_EQ(gSeen[10].type, TYPE_LONG);
    EXPECT_EQ(ArgLong(gSeen[10]), -2);
}

TEST(CallHelpers, OwnedResultsAreFreedOnceAndCanBeHandedOn)
{
    HeapBalance balance;
    Text kept = nullptr;
    {
        OwnedText a = Call::Text(ReplaceText, "a-b", "-", "+", kOmitted, kOmitted, true);
        EXPECT_EQ(a.View(), "a+b");
        OwnedText b = std::move(a);
        EXPECT_EQ(a.Get(), nullptr);
        a = Call::Text(LeftText, b, 1);
        a = std::move(b);  // the old "a" is freed
        EXPECT_EQ(a.View(), "a+b");
        kept = a.Release();
        OwnedArray parts = Call::TextArray(SplitText, "x,y", ",");
        EXPECT_EQ(parts.Count(), 2u);
        EXPECT_EQ(parts.TextViewAt(1), "y");
        EXPECT_EQ(parts.TextAt(2), nullptr);
        OwnedBytes bytes = Call::Bytes(NewByteSet, 4);
        EXPECT_EQ(bytes.Size(), 4u);
        bytes.Reset();
        EXPECT_TRUE(bytes.Empty());
    }
    EXPECT_EQ(balance.Delta(), 1);
    RuntimeFree(kept);
    EXPECT_EQ(balance.Delta(), 0);
}

#if !defined(_WIN32)  // under Wine the child would stop on the error box
void AnswersByteSetType(CommandResult* result, int32_t, ArgRecord*) { result->type = TYPE_BYTESET; }

TEST(CallHelpersDeathTest, AMismatchedResultTypeIsARuntimeError)
{
    EXPECT_DEATH(Call::Text(AnswersByteSetType), "");
}

#endif

}  // namespace
