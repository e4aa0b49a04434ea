#include "app/timestamp.h"

#include "runtime/commands/datetime.h"
#include "tests/support/heap_balance.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#ifdef _WIN32
#include "runtime/core/dll_commands.h"
#endif

namespace {

double Date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    double v = 0;
    EXPECT_TRUE(DateTimeFromFields(y, mo, d, h, mi, s, &v));
    return v;
}

class Timestamp : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifdef _WIN32
        // The program's declaration 0.
        static const char* const libraries[] = {"oleaut32.dll"};
        static const char* const exports[] = {"VariantTimeToSystemTime"};
        InstallDllCommands(1, libraries, exports);
#endif
    }
    void TearDown() override
    {
#ifdef _WIN32
        ReleaseDllCommands();
#endif
    }
};

TEST_F(Timestamp, Digits)
{
    struct Case {
        double time;
        bool tenDigits;
        const char* expected;
    } const cases[] = {
        {Date(2017, 5, 1, 8, 57, 38), false, "1493600258000"},
        {Date(2017, 5, 1, 8, 57, 38), true, "1493600258"},
        {Date(1990, 1, 1, 8), false, "631152000000"},
        {Date(1990, 1, 1, 8), true, "6311520000"},  // 9 digits of seconds and a millisecond digit
        {Date(1970, 1, 1, 8), false, "0000"},
        {Date(1970, 1, 1, 7, 59, 50), false, "-10000"},
        {Date(2038, 1, 19, 11, 14, 7), false, "2147483647000"},
    };
    for (const auto& c : cases) {
        HeapBalance balance;
        {
            OwnedText t = MakeTimestamp(c.time, c.tenDigits);
            EXPECT_STREQ(t.CStr(), c.expected);
        }
        EXPECT_EQ(balance.Delta(), 0);
    }
}

TEST_F(Timestamp, NowHasThirteenDigitsAndWholeSeconds)
{
    HeapBalance balance;
    {
        OwnedText t = MakeTimestamp();
        ASSERT_EQ(t.Length(), 13u) << t.CStr();
        EXPECT_EQ(t.View().substr(10), "000");
        // Within a day of the machine's own clock (the base is UTC+8 local).
        const long long unix = std::chrono::duration_cast<std::chrono::seconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count();
        const long long seconds = std::stoll(std::string(t.View().substr(0, 10)));
        EXPECT_LT(std::llabs(seconds - unix), 86400LL);
        EXPECT_EQ(MakeTimestamp(std::nullopt, true).Length(), 10u);
    }
    EXPECT_EQ(balance.Delta(), 0);
}

TEST_F(Timestamp, SystemTimeFields)
{
    uint16_t f[8] = {};
    DateTimeToSystemTimeFields(Date(2017, 5, 1, 8, 57, 38), f);
    const uint16_t expected[8] = {2017, 5, 1, 1, 8, 57, 38, 0};  // Monday is day 1
    for (int i = 0; i < 8; ++i) EXPECT_EQ(f[i], expected[i]) << i;
}

}  // namespace
