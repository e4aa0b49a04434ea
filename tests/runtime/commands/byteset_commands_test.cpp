#include "runtime/commands/byteset_commands.h"

#include "runtime/commands/datetime.h"
#include "tests/runtime/commands/command_test_util.h"

namespace {

using ByteSetCommands = CommandTest;

// A ByteSet block over the given bytes, owned by the test.
OwnedBytes Bytes(const std::string& bytes) { return OwnedBytes(CopyBytesAsByteSet(bytes.data(), bytes.size())); }

TEST_F(ByteSetCommands, LengthLeftNew)
{
    OwnedBytes abc = Bytes("abc");
    EXPECT_EQ(Call::Int(ByteSetLength, abc), 3);
    EXPECT_EQ(Call::Int(ByteSetLength, OwnedBytes()), 0);
    EXPECT_EQ(Call::Bytes(LeftBytes, abc, 2).View(), "ab");
    EXPECT_EQ(Call::Bytes(LeftBytes, abc, 9).View(), "abc");
    EXPECT_EQ(Call::Bytes(LeftBytes, abc, -1).Get(), nullptr);
    EXPECT_EQ(Call::Bytes(LeftBytes, abc, 0).Get(), nullptr);
    EXPECT_EQ(Call::Bytes(NewByteSet, 3).View(), std::string(3, '\0'));
    EXPECT_EQ(Call::Bytes(NewByteSet, 0).Get(), nullptr);
    EXPECT_EQ(Call::Bytes(NewByteSet, -4).Get(), nullptr);
    const char raw[] = "xyz";
    ArgRecord address{};
    SetPointer(address, raw);
    address.type = TYPE_INT;
    EXPECT_EQ(Call::Bytes(PointerToByteSet, address, 2).View(), "xy");
    EXPECT_EQ(Call::Bytes(PointerToByteSet, address, 0).Get(), nullptr);
    EXPECT_EQ(Call::Bytes(PointerToByteSet, 0, 5).Get(), nullptr);  // null address: nothing to read
}

TEST_F(ByteSetCommands, ReplaceBytes)
{
    const ArgRecord o = OmittedArg();
    OwnedBytes x = Bytes("X");
    struct Case {
        std::string bytes;
        std::string sought;
        ArgRecord start;
        ArgRecord count;
        bool withReplacement;
        std::string expected;
    } const cases[] = {
        {"abcabc", "bc", o, o, true, "aXaX"},
        {"abcabc", "bc", MakeIntArg(3), o, true, "abcaX"},
        {"abcabc", "bc", o, MakeIntArg(1), true, "aXabc"},
        {"abcabc", "bc", o, MakeIntArg(-1), true, "abcabc"},  // a negative count replaces nothing
        {"abcabc", "bc", MakeIntArg(7), o, true, "abcabc"},
        {"abcabc", "bc", o, o, false, "aa"},
        {"bcbc", "bc", o, o, false, ""},
        {"aab", "ab", o, o, true, "aX"},
        {std::string("\0a\0", 3), std::string("\0", 1), o, o, true, "XaX"},
        {"abc", "abcd", o, o, true, "abc"},
    };
    for (const auto& c : cases) {
        OwnedBytes b = Bytes(c.bytes);
        OwnedBytes s = Bytes(c.sought);
        OwnedBytes r = c.withReplacement ? Call::Bytes(ReplaceBytes, b, s, x, c.start, c.count)
                                         : Call::Bytes(ReplaceBytes, b, s, kOmitted, c.start, c.count);
        EXPECT_EQ(r.View(), c.expected) << c.bytes;
        if (c.expected.empty()) {
            EXPECT_EQ(r.Get(), nullptr);
        }
    }
    OwnedBytes empty;
    EXPECT_EQ(Call::Bytes(ReplaceBytes, Bytes("abc"), empty, x).View(), "abc");
}

TEST_F(ByteSetCommands, ReadFromByteSetTypesAndShortReads)
{
    OwnedBytes two = Bytes("\x34\x12");
    CommandResult r = Call::Raw(ReadFromByteSet, two, 3);
    EXPECT_EQ(r.type, TYPE_INT);
    EXPECT_EQ(ArgInt(r), 0x1234);

    OwnedBytes data = Bytes(std::string("\xFE\xFF\x01\0\0\0\0\0", 8));
    struct Case {
        int32_t typeNumber;
        int32_t position;
        ValueType type;
        uint32_t low;
        uint32_t high;
    } const cases[] = {
        {1, 1, TYPE_BYTE, 0xFE, 0},    {2, 1, TYPE_SHORT, 0xFFFE, 0}, {3, 1, TYPE_INT, 0x1FFFE, 0},
        {4, 2, TYPE_LONG, 0x1FF, 0},   {7, 1, TYPE_BOOL, 1, 0},       {7, 5, TYPE_BOOL, 0, 0},
        {9, 2, TYPE_SUBPTR, 0x1FF, 0}, {3, 9, TYPE_INT, 0, 0},        {3, 0, TYPE_INT, 0, 0},
        {3, 8, TYPE_INT, 0, 0},        {1, -3, TYPE_BYTE, 0, 0},
    };
    for (const auto& c : cases) {
        CommandResult v = Call::Raw(ReadFromByteSet, data, c.typeNumber, c.position);
        EXPECT_EQ(v.type, c.type) << c.typeNumber << "@" << c.position;
        EXPECT_EQ(v.low, c.low) << c.typeNumber << "@" << c.position;
        EXPECT_EQ(v.high, c.high) << c.typeNumber << "@" << c.position;
    }

    double huge = 3e6, tiny = -7e5;
    std::string raw(reinterpret_cast<const char*>(&huge), 8);
    raw.append(reinterpret_cast<const char*>(&tiny), 8);
    OwnedBytes dates = Bytes(raw);
    EXPECT_DOUBLE_EQ(ArgDouble(Call::Raw(ReadFromByteSet, dates, 8)), kMaxDateTime);
    EXPECT_DOUBLE_EQ(ArgDouble(Call::Raw(ReadFromByteSet, dates, 8, 9)), kMinDateTime);
    EXPECT_DOUBLE_EQ(ArgDouble(Call::Raw(ReadFromByteSet, dates, 6, 9)), -7e5);
}

TEST_F(ByteSetCommands, ReadFromByteSetAdvancesAPositionPassedByReference)
{
    OwnedBytes data = Bytes(std::string("\x05\0\0\0hi\0x", 8));
    int32_t position = 1;
    EXPECT_EQ(ArgInt(Call::Raw(ReadFromByteSet, data, 3, IntRef{&position})), 5);
    EXPECT_EQ(position, 5);
    {
        CommandResult r = Call::Raw(ReadFromByteSet, data, 10, IntRef{&position});
        OwnedText hi(static_cast<Text>(r.ptr));
        EXPECT_EQ(r.type, TYPE_TEXT);
        EXPECT_EQ(hi.View(), "hi");
        EXPECT_EQ(position, 8);  // the text and its zero byte
    }
    {
        OwnedText x = Call::Text(ReadFromByteSet, data, 10, IntRef{&position});
        EXPECT_EQ(x.View(), "x");
        EXPECT_EQ(position, -1);  // at the end
    }
    position = 8;  // one byte left for a short: the missing byte reads as 0
    EXPECT_EQ(ArgInt(Call::Raw(ReadFromByteSet, data, 2, IntRef{&position})), 'x');
    EXPECT_EQ(position, -1);
    position = 3;  // by value: the variable is not touched
    Call::Raw(ReadFromByteSet, data, 1, position);
    EXPECT_EQ(position, 3);
}

// Death tests only natively: under Wine the child would stop on the error box.
#if !defined(_WIN32)
TEST_F(ByteSetCommands, ReadFromByteSetRejectsAnUnknownType)
{
    OwnedBytes data = Bytes("abcd");
    EXPECT_DEATH(Call::Raw(ReadFromByteSet, data, 11), "");
    EXPECT_DEATH(Call::Raw(ReadFromByteSet, data, 0), "");
}
#endif

}  // namespace
