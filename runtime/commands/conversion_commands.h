// Conversion commands of the core support library: values of any type to
// text, integer, date-time and byte set, and the bitwise OR of integers.
#pragma once

#include "runtime/core/values.h"

#include <cstdint>

// value -> Text
void ToText(CommandResult* result, int32_t argc, ArgRecord* args);
// value -> int
void ToInt(CommandResult* result, int32_t argc, ArgRecord* args);
// text or date-time -> date-time; the empty date (-657434.0) when it does not parse
void ToDateTime(CommandResult* result, int32_t argc, ArgRecord* args);
// value -> ByteSet
void ToByteSet(CommandResult* result, int32_t argc, ArgRecord* args);
// int, int, ... -> int
void BitOr(CommandResult* result, int32_t argc, ArgRecord* args);

// The conversion behind ToText, for other commands (a new Text or null).
Text ConvertToText(const ArgRecord& value);

// The text of a date-time: "%d年%d月%d日" and the time of day down to its
// last non-zero unit.
Text DateTimeToText(double value);

// Parses a date-time text (full-width characters allowed); false when it
// does not parse or lies outside the calendar.
bool ParseDateTimeText(const char* text, double* out);
