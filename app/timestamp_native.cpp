// The native build has no oleaut32: the broken-down time comes from the
// runtime's own calendar arithmetic, which the platform function matches for
// whole seconds.
#include "app/timestamp.h"

#include "runtime/commands/datetime.h"

void DateTimeToSystemTimeFields(double time, uint16_t fields[8])
{
    const CalendarFields f = BreakDateTime(time);
    const int32_t values[8] = {f.year, f.month, f.dayOfWeek - 1, f.day, f.hour, f.minute, f.second, 0};
    for (int i = 0; i < 8; ++i) fields[i] = static_cast<uint16_t>(values[i]);
}
