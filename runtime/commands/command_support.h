// Helpers shared by the library commands: reading arguments with their
// defaults, writing results, and the GBK character step. Internal to
// runtime/commands; application code goes through app/call.h instead.
#pragma once

#include "runtime/commands/byte_scan.h"
#include "runtime/core/heap.h"
#include "runtime/core/values.h"

#include <cstdint>
#include <string_view>

namespace commands {

// The argument at `index`, or null when the caller passed fewer.
inline const ArgRecord* ArgAt(int32_t argc, const ArgRecord* args, int32_t index)
{
    return (index >= 0 && index < argc) ? &args[index] : nullptr;
}

inline bool Given(int32_t argc, const ArgRecord* args, int32_t index)
{
    const ArgRecord* a = ArgAt(argc, args, index);
    return a && !IsOmitted(*a);
}

// A text argument. Compiled callers never pass null, but a null pointer is the
// empty text, so it is read as "".
inline const char* TextArg(int32_t argc, const ArgRecord* args, int32_t index)
{
    const ArgRecord* a = ArgAt(argc, args, index);
    if (!a || IsOmitted(*a) || !a->ptr) return "";
    return static_cast<const char*>(a->ptr);
}

inline std::string_view TextViewArg(int32_t argc, const ArgRecord* args, int32_t index)
{
    const char* text = TextArg(argc, args, index);
    return std::string_view(text, ScanTextLength(text));
}

struct ByteView {
    const uint8_t* data = nullptr;
    uint32_t size = 0;
};

inline ByteView ByteSetArg(int32_t argc, const ArgRecord* args, int32_t index)
{
    const ArgRecord* a = ArgAt(argc, args, index);
    if (!a || IsOmitted(*a) || !a->ptr) return {};
    return {ByteSetData(a->ptr), ByteSetLength(a->ptr)};
}

// An integer argument, or `fallback` when omitted.
inline int32_t IntArg(int32_t argc, const ArgRecord* args, int32_t index, int32_t fallback = 0)
{
    const ArgRecord* a = ArgAt(argc, args, index);
    return (a && !IsOmitted(*a)) ? ArgInt(*a) : fallback;
}

inline void SetTextResult(CommandResult* r, Text t) { SetPointer(*r, t); }
inline void SetByteSetResult(CommandResult* r, ByteSet b) { SetPointer(*r, b); }

// A byte with the high bit set leads a two-byte GBK character.
inline bool IsLeadByte(uint8_t b) { return b >= 0x80; }

}  // namespace commands
