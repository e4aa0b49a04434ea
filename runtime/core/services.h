// The service entries through which application code reaches the runtime:
// the library-command call frame, the numbered runtime services and the
// SystemNotify entry that support-library code calls for memory and errors.
#pragma once

#include "runtime/core/values.h"

#include <cstdint>

// The library-command call frame: zeroes a CommandResult, calls the command
// with (result, argc, first argument) and hands the three words back.
CommandResult CallCommand(CommandFn command, int32_t argc, ArgRecord* args);

// RuntimeService 2: if the array variable still points into static data,
// replace it by a heap copy (header plus elementSize x element count).
void MakeArrayWritable(uint32_t elementSize, ArrayBlock* variable);

struct ProgramHeader;

// The numbered service dispatcher. Services 2 (arg1 = element size, arg2 =
// address of the array variable), 3 (arg1 = exit handler) and 6 (arg1 =
// ProgramHeader*) are served; the others are not used by this program and
// answer 0.
intptr_t RuntimeService(int32_t number, uintptr_t arg1, uintptr_t arg2);

// The entry support-library code calls. Codes 1001..2017 are forwarded to the
// window part (window_part.h) once it has registered, as is any code the
// core does not serve itself; the core serves 2018 and 2023..2028.
int64_t SystemNotify(int32_t code, uintptr_t arg1, uintptr_t arg2);
using SystemNotifyFn = int64_t (*)(int32_t code, uintptr_t arg1, uintptr_t arg2);

// SystemNotify 2018, ProcessEvents: dispatch every waiting message except a
// quit message, return without waiting. Registered by the platform layer.
void SetProcessEventsHandler(void (*handler)());

// SystemNotify 2019: wait for an event (arg1, a HANDLE) at most arg2 ms with
// the windows still answering the system (answering_wait.h); answers as
// WaitForSingleObject does. Registered by the platform layer; without it
// (no runtime started, or the native build) the code answers -1 and the
// caller waits by itself.
void SetWaitAnsweringHandler(uint32_t (*handler)(void* event, uint32_t timeoutMs));
