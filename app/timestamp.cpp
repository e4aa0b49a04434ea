#include "app/timestamp.h"

#include "app/call.h"
#include "app/value_helpers.h"
#include "runtime/commands/conversion_commands.h"
#include "runtime/commands/text_commands.h"
#include "runtime/commands/time_commands.h"
#include "runtime/core/heap.h"

#include <cstring>

namespace {

// The base instant, local time: the seconds count equals Unix time on a
// machine whose clock runs at UTC+8.
constexpr char kBaseInstant[] = "1970-01-01 08:00:00";
constexpr int32_t kSecondsUnit = 8;
constexpr int kMillisecondsField = 7;

// The broken-down time record: eight 32-bit fields, zero-filled, on the
// RuntimeHeap for the length of the call.
class TimeRecord {
public:
    TimeRecord() : fields_(static_cast<int32_t*>(RuntimeAlloc(8 * sizeof(int32_t))))
    {
        std::memset(fields_, 0, 8 * sizeof(int32_t));
    }
    ~TimeRecord() { RuntimeFree(fields_); }
    TimeRecord(const TimeRecord&) = delete;
    TimeRecord& operator=(const TimeRecord&) = delete;

    // Through the platform's 16-bit record and back.
    void Fill(double time)
    {
        uint16_t narrow[8];
        for (int i = 0; i < 8; ++i) narrow[i] = static_cast<uint16_t>(fields_[i]);
        DateTimeToSystemTimeFields(time, narrow);
        for (int i = 0; i < 8; ++i) fields_[i] = narrow[i];
    }
    int32_t Field(int i) const { return fields_[i]; }

private:
    int32_t* fields_;  // owned
};

}  // namespace

OwnedText MakeTimestamp(std::optional<double> time, bool tenDigits)
{
    const double instant = time ? *time : Call::DateTime(Now);

    TimeRecord record;
    record.Fill(instant);
    ArgRecord milliseconds{};
    SetInt(milliseconds, static_cast<int16_t>(record.Field(kMillisecondsField)));
    milliseconds.type = TYPE_SHORT;
    OwnedText ms = Call::Text(ToText, milliseconds);
    // Left-padded with "0" to three characters; a longer text gets none.
    OwnedText padding = Call::Text(RepeatText, 3 - Call::Int(TextLength, ms), "0");
    ms = ConcatTexts({padding, ms});

    const double base = Call::DateTime(ToDateTime, kBaseInstant);
    const double seconds = Call::Double(TimeDifference, DateTimeArg{instant}, DateTimeArg{base}, kSecondsUnit);
    OwnedText full = ConcatTexts({Call::Text(ToText, seconds), ms});
    if (tenDigits) return Call::Text(LeftText, full, 10);
    return full;
}
