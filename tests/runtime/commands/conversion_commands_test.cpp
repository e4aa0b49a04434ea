#include "runtime/commands/conversion_commands.h"

#include "runtime/commands/datetime.h"
#include "tests/runtime/commands/command_test_util.h"

#include <climits>

namespace {

using ConversionCommands = CommandTest;

ArgRecord Typed(ValueType type, uint32_t low, uint32_t high = 0)
{
    ArgRecord a{};
    a.low = low;
    a.high = high;
    a.type = type;
    return a;
}

ArgRecord FloatArg(float f)
{
    ArgRecord a{};
    SetFloat(a, f);
    a.type = TYPE_FLOAT;
    return a;
}

double Date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    double v = 0;
    EXPECT_TRUE(DateTimeFromFields(y, mo, d, h, mi, s, &v));
    return v;
}

TEST_F(ConversionCommands, ToTextByType)
{
    alignas(4) static const uint8_t bytes[] = {1, 0, 0, 0, 4, 0, 0, 0, 'a', 'b', 0, 'c'};
    alignas(4) static const uint8_t intArray[] = {1, 0, 0, 0, 2, 0, 0, 0, 'w', 'x', 'y', 'z', 'v', 0, 0, 0};
    struct Case {
        ArgRecord value;
        const char* expected;  // nullptr: empty (null)
    } const cases[] = {
        {Typed(TYPE_BYTE, 0x1C8), "200"},
        {Typed(TYPE_SHORT, 0xFFFF), "-1"},
        {MakeIntArg(-5), "-5"},
        {MakeLongArg(1LL << 40), "1099511627776"},
        {MakeLongArg(-3), "-3"},
        {FloatArg(0.1f), "0.1"},
        {FloatArg(3.14159274f), "3.14159"},
        {FloatArg(-2.5f), "-2.5"},
        {FloatArg(12.0f), "12"},
        {FloatArg(1e10f), "1e+10"},
        {FloatArg(0.05f), "0.05"},
        {FloatArg(0.0f), "0"},
        {MakeDoubleArg(1493600258.0), "1493600258"},
        {MakeDoubleArg(0.1), "0.1"},
        {MakeDoubleArg(1.0 / 3), "0.3333333333333"},
        {MakeBoolArg(true), "\xD5\xE6"},
        {MakeBoolArg(false), "\xBC\xD9"},
        {MakeDateTimeArg(Date(2017, 5, 1, 12)), "2017\xC4\xEA" "5\xD4\xC2" "1\xC8\xD5" "12\xCA\xB1"},
        {MakeDateTimeArg(Date(2017, 5, 1)), "2017\xC4\xEA" "5\xD4\xC2" "1\xC8\xD5"},
        {MakeDateTimeArg(Date(2017, 5, 1, 0, 30)), "2017\xC4\xEA" "5\xD4\xC2" "1\xC8\xD5" "0\xCA\xB1" "30\xB7\xD6"},
        {MakeDateTimeArg(Date(1899, 12, 29, 6, 0, 5)),
         "1899\xC4\xEA" "12\xD4\xC2" "29\xC8\xD5" "6\xCA\xB1" "0\xB7\xD6" "5\xC3\xEB"},
        {MakePointerArg("abc", TYPE_TEXT), "abc"},
        {MakePointerArg(bytes, TYPE_BYTESET), "ab"},
        {MakePointerArg(intArray, TYPE_INT | TYPE_ARRAY_FLAG), "wxyzv"},
        {MakePointerArg(intArray, TYPE_TEXT | TYPE_ARRAY_FLAG), nullptr},
        {Typed(TYPE_WINDOW, 7), nullptr},
        {OmittedArg(), nullptr},
    };
    for (const auto& c : cases) {
        OwnedText t = Call::Text(ToText, c.value);
        if (c.expected) {
            EXPECT_STREQ(t.CStr(), c.expected) << std::hex << c.value.type;
        } else {
            EXPECT_EQ(t.Get(), nullptr) << std::hex << c.value.type;
        }
    }
}

TEST_F(ConversionCommands, ToIntByType)
{
    struct Case {
        ArgRecord value;
        int32_t expected;
    } const cases[] = {
        {MakePointerArg("\xA3\xB1\xA3\xB2\xA3\xB3", TYPE_TEXT), 123},  // full-width digits
        {MakePointerArg("12abc", TYPE_TEXT), 12},
        {MakePointerArg("  -7", TYPE_TEXT), -7},
        {MakePointerArg("\xA1\xA1\xA3\xAD" "8", TYPE_TEXT), -8},  // full-width space and minus
        {MakePointerArg("+\xD6\xD0" "1", TYPE_TEXT), 0},
        {MakePointerArg("", TYPE_TEXT), 0},
        {MakePointerArg("99999999999", TYPE_TEXT), INT_MAX},
        {MakePointerArg("-99999999999", TYPE_TEXT), INT_MIN},
        {MakeBoolArg(true), 1},
        {Typed(TYPE_BOOL, 5), 1},
        {Typed(TYPE_BYTE, 0x1FF), 255},
        {Typed(TYPE_SHORT, 0xFFFE), -2},
        {MakeLongArg(0x100000005LL), 5},
        {MakeDoubleArg(-3.9), -3},
        {MakeDoubleArg(1e12), INT_MIN},
        {FloatArg(2.7f), 2},
        {MakeDateTimeArg(5.5), 0},
        {Typed(TYPE_SUBPTR, 0x401000), 0x401000},
    };
    for (const auto& c : cases) EXPECT_EQ(Call::Int(ToInt, c.value), c.expected) << std::hex << c.value.type;
}

TEST_F(ConversionCommands, ToDateTimeParsesAndChecksTheCalendar)
{
    struct Case {
        const char* text;
        double expected;
    } const cases[] = {
        {"2017-05-01 12:30:00", Date(2017, 5, 1, 12, 30)},
        {"2017/5/1", Date(2017, 5, 1)},
        {"2017\xC4\xEA" "5\xD4\xC2" "1\xC8\xD5" "12\xCA\xB1" "30\xB7\xD6", Date(2017, 5, 1, 12, 30)},
        {"20170501123000", Date(2017, 5, 1, 12, 30)},
        {"2017.05.01 08:57:38\xC3\xEB", Date(2017, 5, 1, 8, 57, 38)},
        {"\xA3\xB2\xA3\xB0\xA3\xB1\xA3\xB7\xA3\xAD" "5-1", Date(2017, 5, 1)},
        {"1970-01-01 08:00:00", 25569.0 + 1.0 / 3},
        {"2016-02-29", Date(2016, 2, 29)},
        {"2000-02-29", Date(2000, 2, 29)},
        {"2017-02-29", kEmptyDateTime},
        {"1900-02-29", kEmptyDateTime},
        {"2017-13-01", kEmptyDateTime},
        {"2017-04-31", kEmptyDateTime},
        {"2017", kEmptyDateTime},  // month 0
        {"2017-05-01 24:00", kEmptyDateTime},
        {"2017-05-01 23:60", kEmptyDateTime},
        {"0099-12-31", kEmptyDateTime},
        {"2017-05-01x", kEmptyDateTime},
        {"", kEmptyDateTime},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(Call::DateTime(ToDateTime, c.text), c.expected) << c.text;
    EXPECT_DOUBLE_EQ(Call::DateTime(ToDateTime, DateTimeArg{1234.5}), 1234.5);
    EXPECT_DOUBLE_EQ(Call::DateTime(ToDateTime, 5), kEmptyDateTime);
}

TEST_F(ConversionCommands, ToByteSetByType)
{
    alignas(4) static const uint8_t shorts[] = {1, 0, 0, 0, 2, 0, 0, 0, 1, 2, 3, 4};
    struct Case {
        ArgRecord value;
        std::string expected;
    } const cases[] = {
        {MakeIntArg(0x04030201), std::string("\x01\x02\x03\x04", 4)},
        {Typed(TYPE_BYTE, 0x1FF), "\xFF"},
        {Typed(TYPE_SHORT, 0x4241), "AB"},
        {MakeBoolArg(true), std::string("\x01\0\0\0", 4)},
        {MakeDoubleArg(1.0), std::string("\0\0\0\0\0\0\xF0\x3F", 8)},
        {MakeLongArg(0x0807060504030201LL), "\x01\x02\x03\x04\x05\x06\x07\x08"},
        {MakePointerArg("ab", TYPE_TEXT), "ab"},
        {MakePointerArg(shorts, TYPE_SHORT | TYPE_ARRAY_FLAG), "\x01\x02\x03\x04"},
        {MakePointerArg(shorts, TYPE_BYTESET), std::string("\x01\x02", 2)},
        {MakePointerArg(shorts, TYPE_TEXT | TYPE_ARRAY_FLAG), ""},
        {Typed(TYPE_WINDOW, 3), ""},
    };
    for (const auto& c : cases) {
        OwnedBytes b = Call::Bytes(ToByteSet, c.value);
        EXPECT_EQ(b.View(), c.expected) << std::hex << c.value.type;
        if (c.expected.empty()) {
            EXPECT_EQ(b.Get(), nullptr);
        }
    }
}

TEST_F(ConversionCommands, BitOrOfAllArguments)
{
    EXPECT_EQ(Call::Int(BitOr, 1, 2, 4, 0x100), 0x107);
    EXPECT_EQ(Call::Int(BitOr, 0x30), 0x30);
}

}  // namespace
