#include "runtime/commands/time_commands.h"

#include "runtime/commands/command_support.h"
#include "runtime/commands/datetime.h"

#include <cmath>
#include <ctime>

using namespace commands;

namespace {

// A small margin (half a second expressed in days) added before truncating a
// count, so that a whole count computed a hair short of its value is not cut
// down by one. It is applied away from zero: added to a positive count
// only, a difference of exactly -10 seconds would come out as -9.
constexpr double kHalfSecond = 5.787037037037037e-6;

// The interval commands compute in 64 bits and keep the low 32 as a signed
// count, as the library always has.
double LowWord(int64_t v) { return static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(v))); }

double Truncated(double v)
{
    v += v < 0 ? -kHalfSecond : kHalfSecond;
    // Dates are clamped, so |v| stays far inside the 64-bit range.
    return LowWord(static_cast<int64_t>(v));
}

}  // namespace

void Now(CommandResult* result, int32_t argc, ArgRecord* args)
{
    std::time_t seconds = std::time(nullptr);
    const std::tm* local = std::localtime(&seconds);
    double now = kEmptyDateTime;
    if (local) {
        DateTimeFromFields(local->tm_year + 1900, local->tm_mon + 1, local->tm_mday, local->tm_hour, local->tm_min,
                           local->tm_sec > 59 ? 59 : local->tm_sec, &now);
    }
    SetDouble(*result, now);
}

double TimeDifferenceIn(double time1, double time2, int32_t unit)
{
    if (unit <= 0) unit = 1;
    if (unit > 8) unit = 8;
    time1 = ClampDateTime(time1);
    time2 = ClampDateTime(time2);
    if (time1 == time2) return 0;
    const double days = DateTimeSpanDays(time1, time2);
    if (unit >= 5) {
        switch (unit) {
        case 5: return days;
        case 6: return Truncated(days * 24);
        case 7: return Truncated(days * 1440);
        default: return Truncated(days * 86400);
        }
    }
    const CalendarFields a = BreakDateTime(time1);
    const CalendarFields b = BreakDateTime(time2);
    switch (unit) {
    case 1: return LowWord(a.year - b.year);
    case 2: return LowWord((a.year - b.year) * 4 + (a.month - 1) / 3 - (b.month - 1) / 3);
    case 3: return LowWord((a.year - b.year) * 12 + a.month - b.month);
    default: {
        int64_t weeks = static_cast<int64_t>(std::trunc(days)) / 7;
        if (days > 0 && a.dayOfWeek < b.dayOfWeek) ++weeks;
        if (days < 0 && b.dayOfWeek < a.dayOfWeek) --weeks;
        return LowWord(weeks);
    }
    }
}

void TimeDifference(CommandResult* result, int32_t argc, ArgRecord* args)
{
    const ArgRecord* t1 = ArgAt(argc, args, 0);
    const ArgRecord* t2 = ArgAt(argc, args, 1);
    const double a = t1 ? ArgDouble(*t1) : kEmptyDateTime;
    const double b = t2 ? ArgDouble(*t2) : kEmptyDateTime;
    SetDouble(*result, TimeDifferenceIn(a, b, IntArg(argc, args, 2, 1)));
}
