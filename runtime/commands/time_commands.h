// Time commands of the core support library. Date-times are doubles of days
// since 1899-12-30 (see datetime.h).
#pragma once

#include "runtime/core/values.h"

#include <cstdint>

// -> date-time: the local current time in whole seconds.
void Now(CommandResult* result, int32_t argc, ArgRecord* args);
// time 1, time 2, unit 1-8 (years, quarters, months, weeks, days, hours,
// minutes, seconds) -> double: time 1 - time 2 in the unit.
void TimeDifference(CommandResult* result, int32_t argc, ArgRecord* args);

// The computation behind TimeDifference.
double TimeDifferenceIn(double time1, double time2, int32_t unit);
