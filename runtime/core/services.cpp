#include "runtime/core/services.h"

#include "runtime/core/exit_handlers.h"
#include "runtime/core/heap.h"
#include "runtime/core/process.h"
#include "runtime/core/program_header.h"
#include "runtime/core/runtime_error.h"
#include "runtime/core/runtime_init.h"
#include "runtime/core/window_part.h"

#include <cstring>

namespace {
void (*gProcessEvents)() = nullptr;
uint32_t (*gWaitAnswering)(void* event, uint32_t timeoutMs) = nullptr;
}  // namespace

CommandResult CallCommand(CommandFn command, int32_t argc, ArgRecord* args)
{
    CommandResult result{};
    command(&result, argc, args);
    return result;
}

void MakeArrayWritable(uint32_t elementSize, ArrayBlock* variable)
{
    if (!variable || !*variable || !IsStaticBlock(*variable)) return;
    const uint8_t* block = *variable;
    uint32_t dims = ArrayWord(block, 0);
    uint64_t bytes =
        4 * (1 + static_cast<uint64_t>(dims)) + static_cast<uint64_t>(elementSize) * ArrayElementTotal(block);
    if (bytes > 0x7FFFFFF0u) RaiseAllocationFailure(0xFFFFFFFFu);
    auto copy = static_cast<uint8_t*>(RuntimeAlloc(static_cast<uint32_t>(bytes)));
    std::memcpy(copy, block, static_cast<size_t>(bytes));
    *variable = copy;
}

intptr_t RuntimeService(int32_t number, uintptr_t arg1, uintptr_t arg2)
{
    switch (number) {
    case 2:
        MakeArrayWritable(static_cast<uint32_t>(arg1), reinterpret_cast<ArrayBlock*>(arg2));
        return 0;
    case 3:
        RegisterExitHandler(reinterpret_cast<ExitHandler>(arg1));
        return 0;
    case 6:
        InitializeRuntime(reinterpret_cast<const ProgramHeader*>(arg1));
        return 0;
    default:
        // File search (0, 1) and library-type properties (4, 5) serve runtime
        // facilities this program does not use.
        return 0;
    }
}

void SetProcessEventsHandler(void (*handler)()) { gProcessEvents = handler; }

void SetWaitAnsweringHandler(uint32_t (*handler)(void* event, uint32_t timeoutMs)) { gWaitAnswering = handler; }

int64_t SystemNotify(int32_t code, uintptr_t arg1, uintptr_t arg2)
{
    switch (code) {
    case 2018:
        if (gProcessEvents) gProcessEvents();
        return 0;
    case 2019:
        if (!gWaitAnswering) return -1;
        return gWaitAnswering(reinterpret_cast<void*>(arg1), static_cast<uint32_t>(arg2));
    case 2023: {
        auto type = static_cast<ValueType>(arg2);
        FreeArrayValue(reinterpret_cast<ArrayBlock>(arg1), type);
        return 0;
    }
    case 2024:
        if (arg2 != 0)
            return static_cast<int64_t>(reinterpret_cast<uintptr_t>(RuntimeTryAlloc(static_cast<uint32_t>(arg1))));
        return static_cast<int64_t>(reinterpret_cast<uintptr_t>(RuntimeAlloc(static_cast<uint32_t>(arg1))));
    case 2025:
        RuntimeFree(reinterpret_cast<void*>(arg1));
        return 0;
    case 2026:
        return static_cast<int64_t>(
            reinterpret_cast<uintptr_t>(RuntimeRealloc(reinterpret_cast<void*>(arg1), static_cast<uint32_t>(arg2))));
    case 2027:
        RaiseRuntimeError(reinterpret_cast<const char*>(arg1), 0);
    case 2028:
        ExitProcessService(static_cast<int32_t>(arg1));
    default:
        if (const WindowPartEntries* part = WindowPart(); part && part->notify) return part->notify(code, arg1, arg2);
        return 0;
    }
}
