// The millisecond timestamp web endpoints expect in an anti-cache query
// parameter.
#pragma once

#include "app/owned.h"

#include <cstdint>
#include <optional>

// The seconds between `time` (local date-time; omitted: now, in whole
// seconds) and 1970-01-01 08:00:00 local, followed by the three-digit
// milliseconds: 13 digits from 2001-09-09 09:46:40 to 2038-01-19 11:14:07.
// tenDigits keeps only the first 10 characters.
OwnedText MakeTimestamp(std::optional<double> time = std::nullopt, bool tenDigits = false);

// The platform's broken-down time of a date-time: year, month, day of week,
// day, hour, minute, second, milliseconds (SYSTEMTIME's fields in order).
// The Win32 build calls VariantTimeToSystemTime through the program's DLL
// command declaration 0; the native build computes the same fields itself.
void DateTimeToSystemTimeFields(double time, uint16_t fields[8]);
