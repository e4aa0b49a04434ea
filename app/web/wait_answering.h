// The wait of a download step on the window thread: the platform signals the
// step's end on an event from its own threads, and meanwhile the window keeps
// answering the system (runtime/core/answering_wait.h).
#pragma once

#include "runtime/core/services.h"

#include <windows.h>

// As WaitForSingleObject, with the same results.
inline DWORD WaitAnswering(HANDLE event, DWORD timeoutMs)
{
    int64_t result = SystemNotify(2019, reinterpret_cast<uintptr_t>(event), timeoutMs);
    // No runtime started (the routine run on its own): no window to answer for.
    if (result < 0) return WaitForSingleObject(event, timeoutMs);
    return static_cast<DWORD>(result);
}
