// The one value model shared by the runtime and application code.
//
// Every value that crosses the runtime boundary is three 32-bit words: low,
// high and type. Texts, byte sets and arrays travel as pointers to blocks on
// the RuntimeHeap. On the shipped i686 build a pointer is one word and sits in
// the low word; the native (sanitizer) build is 64-bit, where a pointer spills
// into the high word. Only pointer-typed values (text, byte set, array, by
// reference, object, variant) are stored that way, and the high word is unused
// for them on i686, so both builds read the same fields through the accessors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

using ValueType = uint32_t;

constexpr ValueType TYPE_NONE = 0;
constexpr ValueType TYPE_BYTE = 0x80000101;
constexpr ValueType TYPE_SHORT = 0x80000201;
constexpr ValueType TYPE_INT = 0x80000301;
constexpr ValueType TYPE_LONG = 0x80000401;
constexpr ValueType TYPE_FLOAT = 0x80000501;
constexpr ValueType TYPE_DOUBLE = 0x80000601;
constexpr ValueType TYPE_BOOL = 0x80000002;
constexpr ValueType TYPE_DATETIME = 0x80000003;
constexpr ValueType TYPE_TEXT = 0x80000004;
constexpr ValueType TYPE_BYTESET = 0x80000005;
constexpr ValueType TYPE_SUBPTR = 0x80000006;
constexpr ValueType TYPE_WINDOW = 0x00010001;
constexpr ValueType TYPE_OBJECT = 0x00010030;
constexpr ValueType TYPE_VARIANT = 0x00010031;

constexpr ValueType TYPE_ARRAY_FLAG = 0x20000000;
constexpr ValueType kBaseTypeMask = 0xDFFFFFFF;

// Days since 1899-12-30 of year 100, January 1 and of year 9999, December 31.
constexpr double kMinDateTime = -657434.0;
constexpr double kMaxDateTime = 2958465.0;
constexpr double kEmptyDateTime = kMinDateTime;

enum class ValueClass { None, System, Library, Program };

constexpr ValueType BaseType(ValueType t) { return t & kBaseTypeMask; }
constexpr bool HasArrayFlag(ValueType t) { return (t & TYPE_ARRAY_FLAG) != 0; }

constexpr ValueClass ClassOf(ValueType t)
{
    t = BaseType(t);
    if (t == 0) return ValueClass::None;
    if (t >= 0x80000000u && t <= 0xBFFFFFFFu) return ValueClass::System;
    if (t >= 0x00000001u && t <= 0x3FFFFFFFu) return ValueClass::Library;
    return ValueClass::Program;
}

// Element size of the numeric types (byte, short, int, long, float, double);
// 0 for every other code.
constexpr uint32_t NumericSize(ValueType t)
{
    switch (BaseType(t)) {
    case TYPE_BYTE:
        return 1;
    case TYPE_SHORT:
        return 2;
    case TYPE_INT:
        return 4;
    case TYPE_LONG:
        return 8;
    case TYPE_FLOAT:
        return 4;
    case TYPE_DOUBLE:
        return 8;
    default:
        return 0;
    }
}

// A NUL-terminated GBK string on the RuntimeHeap, exactly length+1 bytes.
// Null is the empty text.
using Text = char*;

// ArrayBlock layout: u32 dimension count n, n u32 dimension sizes, then the
// elements back to back. A ByteSet is the one-dimensional byte array
// {1, length, bytes...}; null is the empty byte set.
using ByteSet = uint8_t*;
using ArrayBlock = uint8_t*;

struct ArgRecord {
    union {
        struct {
            uint32_t low;
            uint32_t high;
        };
        void* ptr;  // pointer-typed values; overlays `low` on i686
    };
    ValueType type;
};

// Same three words as an argument; the call frame zeroes it before the command
// runs, and a command with a fixed result type leaves `type` at 0.
using CommandResult = ArgRecord;

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ArgRecord) == 12, "three 32-bit words on the shipped build");
#endif

// Uniform signature of every library command.
using CommandFn = void (*)(CommandResult* result, int32_t argc, ArgRecord* args);

// ---- raw word access -------------------------------------------------------

inline int32_t ArgInt(const ArgRecord& a) { return static_cast<int32_t>(a.low); }
inline uint32_t ArgWord(const ArgRecord& a) { return a.low; }
inline bool ArgBool(const ArgRecord& a) { return a.low != 0; }
inline int64_t ArgLong(const ArgRecord& a)
{
    return static_cast<int64_t>((static_cast<uint64_t>(a.high) << 32) | a.low);
}
inline double ArgDouble(const ArgRecord& a)
{
    uint64_t bits = (static_cast<uint64_t>(a.high) << 32) | a.low;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}
inline float ArgFloat(const ArgRecord& a)
{
    float f;
    std::memcpy(&f, &a.low, sizeof f);
    return f;
}
inline bool IsOmitted(const ArgRecord& a) { return a.type == TYPE_NONE; }

inline void SetPointer(ArgRecord& r, const void* p)
{
    r.low = r.high = 0;
    r.ptr = const_cast<void*>(p);
}
inline void SetInt(ArgRecord& r, int32_t v)
{
    r.low = static_cast<uint32_t>(v);
    r.high = 0;
}
inline void SetBool(ArgRecord& r, bool v) { SetInt(r, v ? 1 : 0); }
inline void SetLong(ArgRecord& r, int64_t v)
{
    r.low = static_cast<uint32_t>(static_cast<uint64_t>(v));
    r.high = static_cast<uint32_t>(static_cast<uint64_t>(v) >> 32);
}
inline void SetDouble(ArgRecord& r, double d)
{
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    r.low = static_cast<uint32_t>(bits);
    r.high = static_cast<uint32_t>(bits >> 32);
}
inline void SetFloat(ArgRecord& r, float f)
{
    r.high = 0;
    std::memcpy(&r.low, &f, sizeof f);
}

// ---- typed argument records (for callers building a frame) -----------------

inline ArgRecord MakeIntArg(int32_t v)
{
    ArgRecord a{};
    SetInt(a, v);
    a.type = TYPE_INT;
    return a;
}
inline ArgRecord MakeBoolArg(bool v)
{
    ArgRecord a{};
    SetBool(a, v);
    a.type = TYPE_BOOL;
    return a;
}
inline ArgRecord MakeLongArg(int64_t v)
{
    ArgRecord a{};
    SetLong(a, v);
    a.type = TYPE_LONG;
    return a;
}
inline ArgRecord MakeDoubleArg(double v)
{
    ArgRecord a{};
    SetDouble(a, v);
    a.type = TYPE_DOUBLE;
    return a;
}
inline ArgRecord MakeDateTimeArg(double v)
{
    ArgRecord a{};
    SetDouble(a, v);
    a.type = TYPE_DATETIME;
    return a;
}
inline ArgRecord MakePointerArg(const void* p, ValueType t)
{
    ArgRecord a{};
    SetPointer(a, p);
    a.type = t;
    return a;
}
inline ArgRecord OmittedArg() { return ArgRecord{}; }

// ---- blocks ------------------------------------------------------------------

// Pointer-sized reads of the u32 words that head an ArrayBlock.
inline uint32_t ArrayWord(const void* block, size_t index)
{
    uint32_t w;
    std::memcpy(&w, static_cast<const uint8_t*>(block) + 4 * index, 4);
    return w;
}
inline void SetArrayWord(void* block, size_t index, uint32_t w)
{
    std::memcpy(static_cast<uint8_t*>(block) + 4 * index, &w, 4);
}

// Length of a ByteSet (0 for null).
inline uint32_t ByteSetLength(const void* b) { return b ? ArrayWord(b, 1) : 0; }
inline const uint8_t* ByteSetData(const void* b) { return b ? static_cast<const uint8_t*>(b) + 8 : nullptr; }
inline uint8_t* ByteSetData(void* b) { return b ? static_cast<uint8_t*>(b) + 8 : nullptr; }

// Byte length of a text (0 for null).
inline uint32_t TextLength(const char* t) { return t ? static_cast<uint32_t>(std::strlen(t)) : 0; }

// Size in bytes of one array element of the given base type: pointers for
// texts, byte sets and library/program types, inline values for the rest.
inline uint32_t ElementSize(ValueType t)
{
    t = BaseType(t);
    if (uint32_t n = NumericSize(t)) return n;
    switch (t) {
    case TYPE_BOOL:
    case TYPE_WINDOW:
        return 4;
    case TYPE_DATETIME:
        return 8;
    default:
        return sizeof(void*);
    }
}
