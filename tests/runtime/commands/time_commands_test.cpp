#include "runtime/commands/time_commands.h"

#include "runtime/commands/datetime.h"
#include "tests/runtime/commands/command_test_util.h"

#include <cmath>
#include <ctime>

namespace {

using TimeCommands = CommandTest;

double Date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    double v = 0;
    EXPECT_TRUE(DateTimeFromFields(y, mo, d, h, mi, s, &v)) << y << "-" << mo << "-" << d;
    return v;
}

TEST(DateTime, FieldsRoundTripAcrossTheRange)
{
    struct Case {
        int y, mo, d, h, mi, s;
        double value;
        int dayOfWeek;
    } const cases[] = {
        {1899, 12, 30, 0, 0, 0, 0.0, 7},         {1970, 1, 1, 8, 0, 0, 25569.0 + 1.0 / 3, 5},
        {1899, 12, 29, 6, 0, 0, -1.25, 6},       {100, 1, 1, 0, 0, 0, -657434.0, 6},
        {9999, 12, 31, 0, 0, 0, 2958465.0, 6},   {2017, 5, 1, 8, 57, 38, 42856.0 + (8 * 3600 + 57 * 60 + 38) / 86400.0, 2},
        {2000, 2, 29, 23, 59, 59, 36585.0 + 86399 / 86400.0, 3},
    };
    for (const auto& c : cases) {
        double v = 0;
        ASSERT_TRUE(DateTimeFromFields(c.y, c.mo, c.d, c.h, c.mi, c.s, &v));
        EXPECT_NEAR(v, c.value, 1e-9) << c.y;
        CalendarFields f = BreakDateTime(c.value);
        EXPECT_EQ(f.year, c.y);
        EXPECT_EQ(f.month, c.mo);
        EXPECT_EQ(f.day, c.d);
        EXPECT_EQ(f.hour, c.h);
        EXPECT_EQ(f.minute, c.mi);
        EXPECT_EQ(f.second, c.s);
        EXPECT_EQ(f.dayOfWeek, c.dayOfWeek) << c.y;
    }
    EXPECT_EQ(ClampDateTime(3e6), kMaxDateTime);
    EXPECT_EQ(ClampDateTime(-7e5), kMinDateTime);
    EXPECT_EQ(ClampDateTime(NAN), kMinDateTime);
    EXPECT_EQ(BreakDateTime(3e6).year, 9999);
    // 23:59:59.6 rounds to the next day.
    EXPECT_EQ(BreakDateTime(1.0 - 0.4 / 86400).day, 31);
}

TEST_F(TimeCommands, TimeDifferenceUnits)
{
    struct Case {
        double t1;
        double t2;
        int32_t unit;
        double expected;
    } const cases[] = {
        {Date(1970, 1, 1, 8, 0, 1), Date(1970, 1, 1, 8), 8, 1},
        {Date(1970, 1, 1, 8), Date(1970, 1, 1, 8, 0, 10), 8, -10},
        {Date(2017, 5, 1, 8, 57, 38), Date(1970, 1, 1, 8), 8, 1493600258},
        {Date(2017, 1, 1), Date(2016, 12, 31), 1, 1},
        {Date(2017, 1, 1), Date(2016, 12, 31), 0, 1},  // below 1: years
        {Date(2017, 4, 1), Date(2017, 3, 31), 2, 1},
        {Date(2016, 12, 31), Date(2018, 1, 1), 2, -5},
        {Date(2017, 5, 1), Date(2016, 12, 31), 3, 5},
        {Date(2017, 5, 8), Date(2017, 5, 1), 4, 1},
        {Date(2017, 5, 7), Date(2017, 5, 1), 4, 1},  // Sunday comes before Monday
        {Date(2017, 5, 6), Date(2017, 5, 1), 4, 0},
        {Date(2017, 5, 1), Date(2017, 5, 7), 4, -1},
        {Date(2017, 5, 2, 12), Date(2017, 5, 1), 5, 1.5},
        {Date(1899, 12, 29, 18), Date(1899, 12, 30, 6), 5, -0.5},
        {Date(1970, 1, 1, 9), Date(1970, 1, 1, 8, 0, 1), 6, 0},
        {Date(1970, 1, 1, 10), Date(1970, 1, 1, 8), 6, 2},
        {Date(1970, 1, 1, 8, 3), Date(1970, 1, 1, 8), 7, 3},
        {Date(1970, 1, 1, 8, 0, 7), Date(1970, 1, 1, 8), 99, 7},  // above 8: seconds
        {Date(2017, 5, 1), Date(2017, 5, 1), 8, 0},
        // The seconds count keeps only its low 32 bits.
        {kMaxDateTime, kMinDateTime, 8, static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(312413673600LL)))},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(Call::Double(TimeDifference, DateTimeArg{c.t1}, DateTimeArg{c.t2}, c.unit), c.expected)
            << c.t1 << " - " << c.t2 << " unit " << c.unit;
    }
}

TEST_F(TimeCommands, NowIsTheLocalTimeInWholeSeconds)
{
    std::time_t before = std::time(nullptr);
    double now = Call::DateTime(Now);
    std::time_t after = std::time(nullptr);
    CalendarFields f = BreakDateTime(now);
    std::tm local = *std::localtime(&before);
    EXPECT_EQ(f.year, local.tm_year + 1900);
    EXPECT_DOUBLE_EQ(std::round(now * 86400), now * 86400);  // whole seconds
    EXPECT_LE(after - before, 1);
}

}  // namespace
