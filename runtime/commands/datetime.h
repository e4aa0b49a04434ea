// Calendar arithmetic on the runtime's date-time values: an IEEE double of
// days since 1899-12-30 00:00 whose fraction is the time of day. Before that
// day the value is negative and its fraction still counts forward into the
// day (-1.25 is 1899-12-29 06:00), so values are turned into a linear day
// count before any subtraction. Proleptic Gregorian calendar, years 100-9999.
#pragma once

#include <cstdint>

struct CalendarFields {
    int32_t year = 0;
    int32_t month = 0;      // 1-12
    int32_t day = 0;        // 1-31
    int32_t hour = 0;       // 0-23
    int32_t minute = 0;     // 0-59
    int32_t second = 0;     // 0-59
    int32_t dayOfWeek = 0;  // 1 = Sunday ... 7 = Saturday
};

// Out-of-range values (and NaN) are brought to year 100, January 1 or year
// 9999, December 31.
double ClampDateTime(double value);

bool IsLeapYear(int32_t year);
int32_t DaysInMonth(int32_t year, int32_t month);

// The date-time of the fields, false when any lies outside the calendar
// (year 100-9999, month 1-12, day within the month, hour 0-23, minute and
// second 0-59).
bool DateTimeFromFields(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second,
                        double* out);

// Calendar fields of a (clamped) date-time, rounded to the nearest second.
CalendarFields BreakDateTime(double value);

// Linear days (negative values straightened out) and back.
double DateTimeToLinear(double value);
double LinearToDateTime(double linear);

// time1 - time2 in days, with the fraction.
double DateTimeSpanDays(double time1, double time2);
