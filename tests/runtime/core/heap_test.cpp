// The heap's rules as callers see them: static constants are never freed and
// are copied out by realloc, empty copies are null, arrays own their elements.
#include "runtime/core/heap.h"
#include "runtime/core/services.h"
#include "tests/support/heap_balance.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A stand-in for the program's static data: a text, a byte set and an array.
struct StaticData {
    char text[4] = "abc";
    uint32_t byteSet[3] = {1, 4, 0x64636261};
    uint32_t array[5] = {1, 3, 10, 20, 30};
    char tail[8] = "xyz";
};
StaticData gStatic;

class HeapTest : public testing::Test {
protected:
    void SetUp() override { SetStaticDataRange(&gStatic, sizeof gStatic); }
    void TearDown() override { ClearStaticDataRange(); }
};

TEST_F(HeapTest, CopiesOfNothingAreNull)
{
    HeapBalance balance;
    EXPECT_EQ(CopyText(nullptr), nullptr);
    EXPECT_EQ(CopyText(""), nullptr);
    EXPECT_EQ(CopyBytesAsText("abc", 0), nullptr);
    EXPECT_EQ(CopyBytesAsText("abc", -1), nullptr);
    EXPECT_EQ(CopyBytesAsByteSet("abc", 0), nullptr);
    EXPECT_EQ(balance.Delta(), 0);
}

TEST_F(HeapTest, CopiesHaveExactLayout)
{
    HeapBalance balance;
    Text t = CopyBytesAsText("ab\0cd", 5);  // NUL inside is kept; the length is the caller's
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(std::memcmp(t, "ab\0cd\0", 6), 0);
    ByteSet b = CopyBytesAsByteSet("\x00\xff\x10", 3);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(ArrayWord(b, 0), 1u);
    EXPECT_EQ(ByteSetLength(b), 3u);
    EXPECT_EQ(std::memcmp(ByteSetData(b), "\x00\xff\x10", 3), 0);
    EXPECT_EQ(balance.Delta(), 2);
    RuntimeFree(t);
    RuntimeFree(b);
    EXPECT_EQ(balance.Delta(), 0);
}

TEST_F(HeapTest, FreeIgnoresNullAndStaticBlocks)
{
    HeapBalance balance;
    RuntimeFree(nullptr);
    RuntimeFree(gStatic.text);
    RuntimeFree(gStatic.byteSet);
    EXPECT_STREQ(gStatic.text, "abc");
    EXPECT_EQ(balance.Delta(), 0);
}

TEST_F(HeapTest, ReallocCopiesStaticBlocksOut)
{
    // 10 bytes from the static text: as many as lie before the range's end.
    auto p = static_cast<char*>(RuntimeRealloc(gStatic.text, 10));
    ASSERT_NE(p, static_cast<void*>(gStatic.text));
    EXPECT_EQ(std::memcmp(p, gStatic.text, 10), 0);
    EXPECT_STREQ(gStatic.text, "abc");
    RuntimeFree(p);

    // A block near the end of the range: only the bytes inside it are copied.
    char* nearEnd = gStatic.tail + 6;
    auto q = static_cast<char*>(RuntimeRealloc(nearEnd, 64));
    EXPECT_EQ(std::memcmp(q, nearEnd, 2), 0);
    RuntimeFree(q);

    // After the exit sequence clears the range, nothing counts as static.
    ClearStaticDataRange();
    EXPECT_FALSE(IsStaticBlock(gStatic.text));
}

TEST_F(HeapTest, ReallocOfNullAllocatesAndHeapBlocksGrow)
{
    auto p = static_cast<char*>(RuntimeRealloc(nullptr, 4));
    std::memcpy(p, "abc", 4);
    p = static_cast<char*>(RuntimeRealloc(p, 4096));
    EXPECT_STREQ(p, "abc");
    RuntimeFree(p);
}

TEST_F(HeapTest, MakeArrayWritableCopiesStaticArrayOnce)
{
    HeapBalance balance;
    ArrayBlock variable = reinterpret_cast<ArrayBlock>(gStatic.array);
    RuntimeService(2, 4, reinterpret_cast<uintptr_t>(&variable));
    ASSERT_NE(variable, reinterpret_cast<ArrayBlock>(gStatic.array));
    EXPECT_EQ(std::memcmp(variable, gStatic.array, sizeof gStatic.array), 0);
    ArrayBlock first = variable;
    RuntimeService(2, 4, reinterpret_cast<uintptr_t>(&variable));
    EXPECT_EQ(variable, first);
    EXPECT_EQ(balance.Delta(), 1);
    RuntimeFree(variable);
}

TEST_F(HeapTest, ArraysOfTextsOwnTheirElements)
{
    HeapBalance balance;
    ArrayBlock a = NewArray(3, sizeof(Text));
    Text elements[3] = {CopyText("one"), nullptr, CopyText("three")};
    std::memcpy(ArrayElementData(a), elements, sizeof elements);
    EXPECT_EQ(ArrayElementTotal(a), 3u);
    SystemNotify(2023, reinterpret_cast<uintptr_t>(a), TYPE_TEXT | TYPE_ARRAY_FLAG);
    EXPECT_EQ(balance.Delta(), 0);
}

TEST_F(HeapTest, NotifyAllocationServices)
{
    HeapBalance balance;
    auto p = reinterpret_cast<void*>(static_cast<uintptr_t>(SystemNotify(2024, 16, 0)));
    ASSERT_NE(p, nullptr);
    p = reinterpret_cast<void*>(static_cast<uintptr_t>(SystemNotify(2026, reinterpret_cast<uintptr_t>(p), 64)));
    ASSERT_NE(p, nullptr);
    SystemNotify(2025, reinterpret_cast<uintptr_t>(p), 0);
    // The quiet form answers null instead of ending the program.
    RuntimeFailAllocationAfter(1);
    EXPECT_EQ(SystemNotify(2024, 16, 1), 0);
    EXPECT_EQ(balance.Delta(), 0);
}

TEST_F(HeapTest, CallFrameZeroesTheResult)
{
    auto command = [](CommandResult* r, int32_t argc, ArgRecord* args) {
        EXPECT_EQ(r->low, 0u);
        EXPECT_EQ(r->high, 0u);
        EXPECT_EQ(r->type, 0u);
        SetInt(*r, argc * 100 + ArgInt(args[1]));
    };
    ArgRecord args[2] = {MakeIntArg(1), MakeIntArg(7)};
    CommandResult r = CallCommand(command, 2, args);
    EXPECT_EQ(ArgInt(r), 207);
    EXPECT_EQ(r.type, 0u);  // a fixed-type result leaves the type word alone
}

#if !defined(_WIN32)
// Heap exhaustion is a runtime error: the message with the requested size,
// then exit code -1 (the native build writes the box text to stderr).
TEST(HeapDeathTest, ExhaustionEndsTheProgram)
{
    EXPECT_EXIT(
        {
            RuntimeFailAllocationAfter(1);
            RuntimeAlloc(1234);
        },
        testing::ExitedWithCode(255), "分配 1234 字节内存失败!");
}
#endif

}  // namespace
