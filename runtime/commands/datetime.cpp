#include "runtime/commands/datetime.h"

#include "runtime/core/values.h"

#include <cmath>

namespace {

// Days from 1899-12-30 to 1970-01-01, the epoch of the civil-day algorithms.
constexpr int64_t kEpochShift = 25569;
constexpr double kSecondsPerDay = 86400.0;
// The largest fraction of a day below the next whole second boundary.
constexpr double kLastInstantOfDay = 86399.0 / 86400.0;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's method).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int32_t* year, int32_t* month, int32_t* day)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<int32_t>(yoe + era * 400 + (m <= 2));
    *month = static_cast<int32_t>(m);
    *day = static_cast<int32_t>(d);
}

}  // namespace

double ClampDateTime(double value)
{
    if (std::isnan(value)) return kMinDateTime;
    if (value > kMaxDateTime + kLastInstantOfDay) return kMaxDateTime;
    if (value < kMinDateTime - kLastInstantOfDay) return kMinDateTime;
    return value;
}

bool IsLeapYear(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int32_t DaysInMonth(int32_t year, int32_t month)
{
    static const int32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return (month == 2 && IsLeapYear(year)) ? 29 : kDays[month - 1];
}

bool DateTimeFromFields(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second,
                        double* out)
{
    if (year < 100 || year > 9999 || month < 1 || month > 12) return false;
    if (day < 1 || day > DaysInMonth(year, month)) return false;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return false;
    const double days = static_cast<double>(DaysFromCivil(year, month, day) + kEpochShift);
    const double fraction = (hour * 3600.0 + minute * 60.0 + second) / kSecondsPerDay;
    *out = LinearToDateTime(days + fraction);
    return true;
}

double DateTimeToLinear(double value)
{
    if (value >= 0) return value;
    const double whole = std::trunc(value);
    return whole + (whole - value);  // the fraction counts forward into the day
}

double LinearToDateTime(double linear)
{
    if (linear >= 0) return linear;
    const double whole = std::floor(linear);
    const double fraction = linear - whole;
    if (fraction == 0) return whole;
    // A day before 1899-12-30 that starts at `whole`, written as -|day| - time.
    return whole - fraction;
}

CalendarFields BreakDateTime(double value)
{
    const double linear = DateTimeToLinear(ClampDateTime(value));
    double whole = std::floor(linear);
    int64_t seconds = std::llround((linear - whole) * kSecondsPerDay);
    int64_t days = static_cast<int64_t>(whole);
    if (seconds >= 86400) {
        seconds -= 86400;
        ++days;
    }
    CalendarFields f;
    CivilFromDays(days - kEpochShift, &f.year, &f.month, &f.day);
    f.hour = static_cast<int32_t>(seconds / 3600);
    f.minute = static_cast<int32_t>(seconds / 60 % 60);
    f.second = static_cast<int32_t>(seconds % 60);
    // 1899-12-30 was a Saturday (7).
    f.dayOfWeek = static_cast<int32_t>(((days % 7) + 7 + 6) % 7) + 1;
    return f;
}

double DateTimeSpanDays(double time1, double time2) { return DateTimeToLinear(time1) - DateTimeToLinear(time2); }
