#include "runtime/commands/conversion_commands.h"

#include "runtime/commands/byte_scan.h"
#include "runtime/commands/command_support.h"
#include "runtime/commands/datetime.h"
#include "runtime/commands/full_width.h"
#include "runtime/core/heap.h"

#include <cinttypes>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

using namespace commands;

namespace {

// GBK texts of the conversions.
constexpr char kTrue[] = "\xD5\xE6";   // 真
constexpr char kFalse[] = "\xBC\xD9";  // 假
constexpr uint32_t kYear = 0xC4EA;     // 年
constexpr uint32_t kMonth = 0xD4C2;    // 月
constexpr uint32_t kDay = 0xC8D5;      // 日
constexpr uint32_t kHour = 0xCAB1;     // 时
constexpr uint32_t kMinute = 0xB7D6;   // 分
constexpr uint32_t kSecond = 0xC3EB;   // 秒

Text Printed(const char* format, ...) __attribute__((format(printf, 1, 2)));
Text Printed(const char* format, ...)
{
    char buffer[128];
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, ap);
    va_end(ap);
    if (n < 0) return nullptr;
    return CopyBytesAsText(buffer, std::min<int64_t>(n, sizeof buffer - 1));
}

// A float brought to 6 significant decimal digits the way the library always
// has, so that 0.1f prints as 0.1 rather than 0.100000001.
double FloatToSixDigits(float x)
{
    if (x == 0 || !std::isfinite(x)) return x;
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const int32_t exponentField = static_cast<int32_t>((bits >> 23) & 0xFF);
    int32_t e = static_cast<int32_t>((exponentField - 127) * 0.30102999566398119521);
    double p = std::pow(10.0, std::abs(e));
    const double ax = std::fabs(static_cast<double>(x));
    double m = e > 0 ? ax / p : ax * p;
    if (m >= 10) {
        p *= 10;
        e += 1;
        m *= 1e4;
    } else if (m >= 1) {
        m *= 1e5;
    } else {
        p *= 10;
        e -= 1;
        m *= 1e6;
    }
    double digits = std::floor(m);
    if (m - digits >= 0.5) digits += 1;
    const double sign = x < 0 ? -1.0 : 1.0;
    return e > 0 ? digits * (sign * p * 1e-5) : digits / (sign * p * 1e5);
}

// Bytes up to (not including) the first zero byte, as a Text.
Text BytesUpToZero(const uint8_t* data, uint64_t n)
{
    if (!data || n == 0) return nullptr;
    // A downloaded body can be tens of megabytes: the vectorised scan.
    const uint8_t* zero = ScanForByte(data, static_cast<size_t>(n), 0);
    const uint64_t len = zero ? static_cast<uint64_t>(zero - data) : n;
    return CopyBytesAsText(data, static_cast<int64_t>(len));
}

// Element bytes of a numeric array argument; false for arrays of other types.
bool NumericArrayBytes(const ArgRecord& value, const uint8_t** data, uint64_t* n)
{
    const uint32_t size = NumericSize(value.type);
    *data = nullptr;
    *n = 0;
    if (size == 0) return false;
    if (!value.ptr) return true;
    *data = ArrayElementData(static_cast<const void*>(value.ptr));
    *n = static_cast<uint64_t>(size) * ArrayElementTotal(value.ptr);
    return true;
}

}  // namespace

Text DateTimeToText(double value)
{
    const CalendarFields f = BreakDateTime(value);
    if (f.second != 0) {
        return Printed("%d\xC4\xEA%d\xD4\xC2%d\xC8\xD5%d\xCA\xB1%d\xB7\xD6%d\xC3\xEB", f.year, f.month, f.day, f.hour,
                       f.minute, f.second);
    }
    if (f.minute != 0) {
        return Printed("%d\xC4\xEA%d\xD4\xC2%d\xC8\xD5%d\xCA\xB1%d\xB7\xD6", f.year, f.month, f.day, f.hour, f.minute);
    }
    if (f.hour != 0) return Printed("%d\xC4\xEA%d\xD4\xC2%d\xC8\xD5%d\xCA\xB1", f.year, f.month, f.day, f.hour);
    return Printed("%d\xC4\xEA%d\xD4\xC2%d\xC8\xD5", f.year, f.month, f.day);
}

Text ConvertToText(const ArgRecord& value)
{
    if (HasArrayFlag(value.type)) {
        const uint8_t* data;
        uint64_t n;
        if (!NumericArrayBytes(value, &data, &n)) return nullptr;
        return BytesUpToZero(data, n);
    }
    switch (value.type) {
    case TYPE_BYTE: return Printed("%u", value.low & 0xFFu);
    case TYPE_SHORT: return Printed("%d", static_cast<int>(static_cast<int16_t>(value.low & 0xFFFF)));
    case TYPE_INT: return Printed("%d", ArgInt(value));
    case TYPE_LONG: return Printed("%" PRId64, ArgLong(value));
    case TYPE_FLOAT: return Printed("%.6g", FloatToSixDigits(ArgFloat(value)));
    case TYPE_DOUBLE: return Printed("%.13g", ArgDouble(value));
    case TYPE_BOOL: return CopyText(ArgBool(value) ? kTrue : kFalse);
    case TYPE_DATETIME: return DateTimeToText(ArgDouble(value));
    case TYPE_TEXT: return CopyText(static_cast<const char*>(value.ptr));
    case TYPE_BYTESET: return BytesUpToZero(ByteSetData(value.ptr), ByteSetLength(value.ptr));
    default: return nullptr;
    }
}

void ToText(CommandResult* result, int32_t argc, ArgRecord* args)
{
    if (argc < 1) return;
    SetTextResult(result, ConvertToText(args[0]));
}

void ToInt(CommandResult* result, int32_t argc, ArgRecord* args)
{
    if (argc < 1) return;
    const ArgRecord& v = args[0];
    int32_t out = 0;
    switch (HasArrayFlag(v.type) ? TYPE_NONE : v.type) {
    case TYPE_BOOL: out = ArgBool(v) ? 1 : 0; break;
    case TYPE_BYTE: out = static_cast<int32_t>(v.low & 0xFF); break;
    case TYPE_SHORT: out = static_cast<int16_t>(v.low & 0xFFFF); break;
    case TYPE_INT:
    case TYPE_SUBPTR:
    case TYPE_LONG: out = static_cast<int32_t>(v.low); break;
    case TYPE_FLOAT:
    case TYPE_DOUBLE: {
        const double d = v.type == TYPE_FLOAT ? ArgFloat(v) : ArgDouble(v);
        // Out of range (and NaN) gives the integer indefinite, as the FPU does.
        out = (d > -2147483649.0 && d < 2147483648.0) ? static_cast<int32_t>(d) : INT32_MIN;
        break;
    }
    case TYPE_TEXT: {
        FullWidthReader r(v.ptr ? static_cast<const char*>(v.ptr) : "");
        while (r.Peek() == ' ' || (r.Peek() >= '\t' && r.Peek() <= '\r')) r.Next();
        bool negative = false;
        if (r.Peek() == '+' || r.Peek() == '-') negative = r.Next() == '-';
        int64_t n = 0;
        while (r.Peek() >= '0' && r.Peek() <= '9') {
            n = n * 10 + (r.Next() - '0');
            if (n > 2147483648LL) n = 2147483648LL;  // saturates like strtol
        }
        if (negative) n = -n;
        out = static_cast<int32_t>(n > INT32_MAX ? INT32_MAX : n);
        break;
    }
    default: break;
    }
    SetInt(*result, out);
}

bool ParseDateTimeText(const char* text, double* out)
{
    // Separators skipped after year, month, day, hour and minute.
    static const uint32_t kSeparators[5][7] = {
        {'-', '.', '/', ':', kYear, 0, 0},  {'-', '.', '/', ':', kMonth, 0, 0},
        {' ', '-', '.', '/', ':', kDay, 0}, {'-', '.', '/', ':', kHour, 0, 0},
        {'-', '.', '/', ':', kMinute, 0, 0},
    };
    FullWidthReader r(text);
    int32_t fields[6] = {};
    for (int field = 0; field < 6; ++field) {
        const int maxDigits = field == 0 ? 4 : 2;
        for (int i = 0; i < maxDigits && r.Peek() >= '0' && r.Peek() <= '9'; ++i) {
            fields[field] = fields[field] * 10 + static_cast<int32_t>(r.Next() - '0');
        }
        if (field == 5) break;
        const uint32_t next = r.Peek();
        for (uint32_t sep : kSeparators[field]) {
            if (sep != 0 && sep == next) {
                r.Next();
                break;
            }
        }
    }
    if (!r.AtEnd() && r.Peek() != kSecond) return false;
    return DateTimeFromFields(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], out);
}

void ToDateTime(CommandResult* result, int32_t argc, ArgRecord* args)
{
    double out = kEmptyDateTime;
    if (argc >= 1) {
        if (args[0].type == TYPE_DATETIME) {
            out = ArgDouble(args[0]);
        } else if (args[0].type == TYPE_TEXT) {
            double parsed;
            if (ParseDateTimeText(args[0].ptr ? static_cast<const char*>(args[0].ptr) : "", &parsed)) out = parsed;
        }
    }
    SetDouble(*result, out);
}

void ToByteSet(CommandResult* result, int32_t argc, ArgRecord* args)
{
    if (argc < 1) return;
    const ArgRecord& v = args[0];
    ByteSet out = nullptr;
    if (HasArrayFlag(v.type)) {
        const uint8_t* data;
        uint64_t n;
        if (NumericArrayBytes(v, &data, &n)) out = CopyBytesAsByteSet(data, static_cast<int64_t>(n));
    } else {
        uint8_t words[8];
        std::memcpy(words, &v.low, 4);
        std::memcpy(words + 4, &v.high, 4);
        switch (v.type) {
        case TYPE_BYTE: out = CopyBytesAsByteSet(words, 1); break;
        case TYPE_SHORT: out = CopyBytesAsByteSet(words, 2); break;
        case TYPE_INT:
        case TYPE_FLOAT:
        case TYPE_BOOL:
        case TYPE_SUBPTR: out = CopyBytesAsByteSet(words, 4); break;
        case TYPE_LONG:
        case TYPE_DOUBLE:
        case TYPE_DATETIME: out = CopyBytesAsByteSet(words, 8); break;
        case TYPE_TEXT: out = CopyBytesAsByteSet(v.ptr, TextLength(static_cast<const char*>(v.ptr))); break;
        case TYPE_BYTESET: out = CopyBytesAsByteSet(ByteSetData(v.ptr), ByteSetLength(v.ptr)); break;
        default: break;
        }
    }
    SetByteSetResult(result, out);
}

void BitOr(CommandResult* result, int32_t argc, ArgRecord* args)
{
    uint32_t bits = 0;
    for (int32_t i = 0; i < argc; ++i) bits |= args[i].low;
    SetInt(*result, static_cast<int32_t>(bits));
}
