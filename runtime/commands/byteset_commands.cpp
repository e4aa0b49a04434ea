#include "runtime/commands/byteset_commands.h"

#include "runtime/commands/command_support.h"
#include "runtime/commands/datetime.h"
#include "runtime/commands/gbk_scan.h"
#include "runtime/commands/text_builder.h"
#include "runtime/core/heap.h"
#include "runtime/core/services.h"

#include <algorithm>
#include <cstring>

using namespace commands;

namespace {

// "“欲取出数据的类型”参数值无效"
constexpr char kInvalidReadType[] =
    "\xA1\xB0\xD3\xFB\xC8\xA1\xB3\xF6\xCA\xFD\xBE\xDD\xB5\xC4\xC0\xE0\xD0\xCD\xA1\xB1\xB2\xCE\xCA\xFD\xD6\xB5\xCE\xDE"
    "\xD0\xA7";

struct ReadType {
    ValueType type;
    uint32_t size;
};

// Type numbers 1-10 of ReadFromByteSet.
constexpr ReadType kReadTypes[10] = {
    {TYPE_BYTE, 1}, {TYPE_SHORT, 2},    {TYPE_INT, 4},    {TYPE_LONG, 8},   {TYPE_FLOAT, 4},
    {TYPE_DOUBLE, 8}, {TYPE_BOOL, 4}, {TYPE_DATETIME, 8}, {TYPE_SUBPTR, 4}, {TYPE_TEXT, 0},
};

}  // namespace

void ByteSetLength(CommandResult* result, int32_t argc, ArgRecord* args)
{
    SetInt(*result, static_cast<int32_t>(ByteSetArg(argc, args, 0).size));
}

void LeftBytes(CommandResult* result, int32_t argc, ArgRecord* args)
{
    ByteView bytes = ByteSetArg(argc, args, 0);
    int32_t n = IntArg(argc, args, 1);
    if (n <= 0) return;
    SetByteSetResult(result, CopyBytesAsByteSet(bytes.data, std::min<uint32_t>(static_cast<uint32_t>(n), bytes.size)));
}

void ReplaceBytes(CommandResult* result, int32_t argc, ArgRecord* args)
{
    ByteView bytes = ByteSetArg(argc, args, 0);
    ByteView sought = ByteSetArg(argc, args, 1);
    ByteView replacement = ByteSetArg(argc, args, 2);
    const int64_t offset = std::max<int64_t>(static_cast<int64_t>(IntArg(argc, args, 3, 1)) - 1, 0);
    const int32_t count = Given(argc, args, 4) ? std::max<int32_t>(ArgInt(args[4]), 0) : -1;  // -1: all

    if (bytes.size == 0 || sought.size == 0 || offset >= bytes.size || count == 0) {
        SetByteSetResult(result, CopyBytesAsByteSet(bytes.data, bytes.size));
        return;
    }
    ResultBuilder out(8, bytes.size);
    out.Append(bytes.data, static_cast<size_t>(offset));
    size_t pos = static_cast<size_t>(offset);
    int64_t done = 0;
    while (bytes.size - pos >= sought.size) {
        const uint8_t* hit = FindBytes(bytes.data + pos, bytes.size - pos, sought.data, sought.size);
        if (!hit) break;
        const size_t k = static_cast<size_t>(hit - bytes.data);
        out.Append(bytes.data + pos, k - pos);
        out.Append(replacement.data, replacement.size);
        pos = k + sought.size;
        if (count > 0 && ++done == count) break;
    }
    out.Append(bytes.data + pos, bytes.size - pos);
    SetByteSetResult(result, out.FinishByteSet());
}

void NewByteSet(CommandResult* result, int32_t argc, ArgRecord* args)
{
    int32_t n = IntArg(argc, args, 0);
    if (n <= 0) return;
    ByteSet b = static_cast<ByteSet>(RuntimeAlloc(static_cast<uint32_t>(n) + 8));
    SetArrayWord(b, 0, 1);
    SetArrayWord(b, 1, static_cast<uint32_t>(n));
    std::memset(b + 8, 0, static_cast<size_t>(n));
    SetByteSetResult(result, b);
}

void ReadFromByteSet(CommandResult* result, int32_t argc, ArgRecord* args)
{
    ByteView bytes = ByteSetArg(argc, args, 0);
    const int32_t typeNumber = IntArg(argc, args, 1);
    if (typeNumber < 1 || typeNumber > 10) {
        SystemNotify(2027, reinterpret_cast<uintptr_t>(kInvalidReadType), 0);
        return;
    }
    const ReadType& type = kReadTypes[typeNumber - 1];

    // The position: by value, or through the caller's int variable.
    int32_t* positionVariable = nullptr;
    int64_t offset = 0;
    if (Given(argc, args, 2)) {
        const ArgRecord& p = args[2];
        if (HasArrayFlag(p.type)) positionVariable = static_cast<int32_t*>(p.ptr);
        int32_t position = positionVariable ? *positionVariable : ArgInt(p);
        offset = static_cast<int64_t>(position) - 1;
    }
    const uint8_t* available = nullptr;
    uint64_t availableCount = 0;
    if (offset >= 0 && offset < static_cast<int64_t>(bytes.size)) {
        available = bytes.data + offset;
        availableCount = bytes.size - static_cast<uint64_t>(offset);
    }

    uint64_t consumed = type.size;
    if (type.type == TYPE_TEXT) {
        const void* zero = available ? std::memchr(available, 0, static_cast<size_t>(availableCount)) : nullptr;
        const uint64_t len =
            zero ? static_cast<uint64_t>(static_cast<const uint8_t*>(zero) - available) : availableCount;
        SetPointer(*result, CopyBytesAsText(available, static_cast<int64_t>(len)));
        consumed = len + (zero ? 1 : 0);
    } else {
        // Missing bytes read as 0.
        uint8_t buffer[8] = {};
        if (available) std::memcpy(buffer, available, static_cast<size_t>(std::min<uint64_t>(availableCount, type.size)));
        uint32_t lowWord, highWord;
        std::memcpy(&lowWord, buffer, 4);
        std::memcpy(&highWord, buffer + 4, 4);
        switch (type.type) {
        case TYPE_BYTE: SetInt(*result, buffer[0]); break;
        case TYPE_SHORT: SetInt(*result, lowWord & 0xFFFF); break;
        case TYPE_BOOL: SetInt(*result, lowWord != 0 ? 1 : 0); break;
        case TYPE_INT:
        case TYPE_FLOAT:
        case TYPE_SUBPTR: SetInt(*result, static_cast<int32_t>(lowWord)); break;
        case TYPE_DATETIME: {
            double d;
            std::memcpy(&d, buffer, 8);
            SetDouble(*result, ClampDateTime(d));
            break;
        }
        default:  // long, double
            result->low = lowWord;
            result->high = highWord;
            break;
        }
    }
    result->type = type.type;

    if (positionVariable) {
        const int64_t next = offset + static_cast<int64_t>(consumed);
        *positionVariable = next >= static_cast<int64_t>(bytes.size) ? -1 : static_cast<int32_t>(next + 1);
    }
}

void PointerToByteSet(CommandResult* result, int32_t argc, ArgRecord* args)
{
    const ArgRecord* address = ArgAt(argc, args, 0);
    const int32_t n = IntArg(argc, args, 1);
    // A null address has nothing to copy; reading it would only crash.
    if (!address || !address->ptr || n <= 0) return;
    SetByteSetResult(result, CopyBytesAsByteSet(address->ptr, n));
}
