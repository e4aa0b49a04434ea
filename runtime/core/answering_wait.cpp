#include "runtime/core/answering_wait.h"

#include <windows.h>

namespace {

thread_local int tDepth = 0;

// The system takes a thread for hung when it has not looked at its messages
// for 5 s; looking at least once a second keeps well clear of that, whatever
// arrives.
constexpr DWORD kLongestSliceMs = 1000;

// A window whose painting leaves its region invalid would be offered again
// at once; after this many paints in one pass the wait goes on instead.
constexpr int kPaintsPerPass = 64;

struct DepthScope {
    DepthScope() { ++tDepth; }
    ~DepthScope() { --tDepth; }
    DepthScope(const DepthScope&) = delete;
    DepthScope& operator=(const DepthScope&) = delete;
};

// Handles what the wait answers: the messages sent to the thread's windows
// (delivered inside PeekMessage itself; the call looks at no posted message
// or input, so it finds nothing to return), then the windows' paints. A
// paint is generated while a window's region is invalid, so it is dispatched
// without removing anything; a quit message, which PeekMessage reports
// whatever the range asked for, stays where it is.
void AnswerPending()
{
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    for (int i = 0; i < kPaintsPerPass; ++i) {
        if (!PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE | PM_QS_PAINT)) return;
        if (msg.message != WM_PAINT) return;
        DispatchMessageW(&msg);
    }
}

}  // namespace

bool InAnsweringWait() { return tDepth > 0; }

uint32_t AnsweringWait(void* event, uint32_t timeoutMs)
{
    DepthScope scope;
    HANDLE handle = static_cast<HANDLE>(event);
    const DWORD start = GetTickCount();
    for (;;) {
        // What arrived before this point is no longer "new" to the wait
        // below, which wakes only for what comes after: answer it first.
        AnswerPending();
        DWORD slice = kLongestSliceMs;
        if (timeoutMs != INFINITE) {
            DWORD elapsed = GetTickCount() - start;
            DWORD left = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
            if (left < slice) slice = left;
        }
        DWORD woke = MsgWaitForMultipleObjectsEx(1, &handle, slice, QS_SENDMESSAGE | QS_PAINT, 0);
        if (woke == WAIT_OBJECT_0 + 1) continue;  // answered on the next round
        if (woke != WAIT_TIMEOUT || slice == 0) return woke;
        if (timeoutMs != INFINITE && GetTickCount() - start >= timeoutMs) {
            // The last slice ended at the limit: one last look at the event.
            return WaitForSingleObject(handle, 0);
        }
    }
}
