// Typed calls of library commands for application code.
//
// Application routines reach the runtime's commands only through the command
// call frame (CallCommand), as compiled program code does. These helpers build
// the argument records from ordinary C++ values and wrap the result so the
// routine reads like its algorithm:
//
//     OwnedText start = Call::Text(ReplaceText, marker, "#引号", "\"", kOmitted, kOmitted, true);
//     int32_t p = Call::Int(FindText, source, start, position, ignoreCase ? 1 : 0);
//
// Argument mapping (CallArg): const char* / Text / OwnedText / std::string ->
// TYPE_TEXT (null becomes the static empty text, as compiled callers pass);
// const uint8_t* / ByteSet / OwnedBytes -> TYPE_BYTESET (null becomes the
// static empty byte set); integers -> TYPE_INT (low 32 bits); bool ->
// TYPE_BOOL; double -> TYPE_DOUBLE; float -> TYPE_FLOAT; kOmitted -> the
// all-zero record of an omitted argument; DateTimeArg, LongArg, IntRef,
// ArrayArg, WindowArg for the rest; an ArgRecord passes through unchanged.
// An ArrayBlock is a uint8_t* like a ByteSet: pass arrays as ArrayArg or
// OwnedArray, never bare, or they travel as byte sets. Passing nullptr does
// not compile: say kOmitted, or pass a typed null (an empty text or byte set).
//
// Results: Call::Text/Bytes/TextArray/Array hand back owning wrappers (a null
// block is the empty value); Call::Int/Bool/Double/DateTime the value;
// Call::Raw the three words. A command that sets its result's type word to
// another type than the one asked for raises runtime error 5, as compiled
// callers do.
#pragma once

#include "app/owned.h"
#include "runtime/core/services.h"
#include "runtime/core/values.h"

#include <concepts>
#include <cstdint>
#include <string>

struct Omitted {};
inline constexpr Omitted kOmitted{};

struct DateTimeArg {
    double value;  // days since 1899-12-30
};
struct LongArg {
    int64_t value;
};
// An int variable passed by reference: the command may write it back.
struct IntRef {
    int32_t* variable;
};
struct ArrayArg {
    const void* block;
    ValueType elementType;
};
struct WindowArg {
    uint32_t windowId;
};

// Static empty values, standing in for null as the program's static data does.
const char* EmptyTextConstant();
const uint8_t* EmptyByteSetConstant();

class CallArg {
public:
    CallArg(const char* text) : record(MakePointerArg(text ? text : EmptyTextConstant(), TYPE_TEXT)) {}
    CallArg(const std::string& text) : record(MakePointerArg(text.c_str(), TYPE_TEXT)) {}
    CallArg(const OwnedText& text) : CallArg(text.Get()) {}
    CallArg(const uint8_t* bytes) : record(MakePointerArg(bytes ? bytes : EmptyByteSetConstant(), TYPE_BYTESET)) {}
    CallArg(const OwnedBytes& bytes) : CallArg(bytes.Get()) {}
    CallArg(bool value) : record(MakeBoolArg(value)) {}
    template <std::integral T>
        requires(!std::same_as<T, bool>)
    CallArg(T value) : record(MakeIntArg(static_cast<int32_t>(value)))
    {
    }
    CallArg(double value) : record(MakeDoubleArg(value)) {}
    CallArg(float value) : record{}
    {
        SetFloat(record, value);
        record.type = TYPE_FLOAT;
    }
    CallArg(Omitted) : record{} {}
    CallArg(DateTimeArg d) : record(MakeDateTimeArg(d.value)) {}
    CallArg(LongArg v) : record(MakeLongArg(v.value)) {}
    CallArg(IntRef ref) : record(MakePointerArg(ref.variable, TYPE_INT | TYPE_ARRAY_FLAG)) {}
    CallArg(ArrayArg a) : record(MakePointerArg(a.block, BaseType(a.elementType) | TYPE_ARRAY_FLAG)) {}
    CallArg(const OwnedArray& a) : record(MakePointerArg(a.Get(), a.ElementType() | TYPE_ARRAY_FLAG)) {}
    CallArg(WindowArg w) : record{}
    {
        SetInt(record, static_cast<int32_t>(w.windowId));
        record.type = TYPE_WINDOW;
    }
    CallArg(const ArgRecord& raw) : record(raw) {}
    CallArg(std::nullptr_t) = delete;  // say kOmitted, or pass a typed empty value

    ArgRecord record;
};

// Raises runtime error 5 when a command that sets its result's type word
// answered a type other than the one the caller expects.
void ExpectResultType(const CommandResult& result, ValueType expected);

struct Call {
    // The three words as the frame returns them.
    template <class... A>
    static CommandResult Raw(CommandFn command, const A&... args)
    {
        if constexpr (sizeof...(A) == 0) {
            return CallCommand(command, 0, nullptr);
        } else {
            ArgRecord records[] = {CallArg(args).record...};
            return CallCommand(command, static_cast<int32_t>(sizeof...(A)), records);
        }
    }

    template <class... A>
    static OwnedText Text(CommandFn command, const A&... args)
    {
        CommandResult r = Raw(command, args...);
        ExpectResultType(r, TYPE_TEXT);
        return OwnedText(static_cast<::Text>(r.ptr));
    }

    template <class... A>
    static OwnedBytes Bytes(CommandFn command, const A&... args)
    {
        CommandResult r = Raw(command, args...);
        ExpectResultType(r, TYPE_BYTESET);
        return OwnedBytes(static_cast<ByteSet>(r.ptr));
    }

    // An array result whose elements are of `elementType`.
    template <class... A>
    static OwnedArray Array(ValueType elementType, CommandFn command, const A&... args)
    {
        CommandResult r = Raw(command, args...);
        return OwnedArray(static_cast<ArrayBlock>(r.ptr), elementType);
    }

    template <class... A>
    static OwnedArray TextArray(CommandFn command, const A&... args)
    {
        return Array(TYPE_TEXT, command, args...);
    }

    template <class... A>
    static int32_t Int(CommandFn command, const A&... args)
    {
        CommandResult r = Raw(command, args...);
        ExpectResultType(r, TYPE_INT);
        return ArgInt(r);
    }

    template <class... A>
    static bool Bool(CommandFn command, const A&... args)
    {
        CommandResult r = Raw(command, args...);
        ExpectResultType(r, TYPE_BOOL);
        return ArgBool(r);
    }

    template <class... A>
    static double Double(CommandFn command, const A&... args)
    {
        CommandResult r = Raw(command, args...);
        ExpectResultType(r, TYPE_DOUBLE);
        return ArgDouble(r);
    }

    // A date-time result: days since 1899-12-30.
    template <class... A>
    static double DateTime(CommandFn command, const A&... args)
    {
        CommandResult r = Raw(command, args...);
        ExpectResultType(r, TYPE_DATETIME);
        return ArgDouble(r);
    }

    template <class... A>
    static void Void(CommandFn command, const A&... args)
    {
        Raw(command, args...);
    }
};
