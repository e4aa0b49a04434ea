#include "app/web/async_completion.h"

#include "app/web/wait_answering.h"
#include "app/web/web_probes.h"

namespace web {

AsyncCompletion::AsyncCompletion(const void* platformFunction) : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    InitializeCriticalSection(&lock_);
    // A pin is for the life of the process, so taking it again for every
    // download costs nothing and needs no bookkeeping.
    HMODULE module = nullptr;
    pinned_ =
        platformFunction && GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                                               static_cast<const wchar_t*>(platformFunction), &module);
    ProbeAsyncStateMade();
}

AsyncCompletion::~AsyncCompletion()
{
    if (event_) CloseHandle(event_);
    DeleteCriticalSection(&lock_);
    ProbeAsyncStateFreed();
}

void AsyncCompletion::Begin(uint32_t kind)
{
    EnterCriticalSection(&lock_);
    // Reset inside the lock: a completion of the step before, dropped or
    // not, has either set the event already or will find no open step.
    ResetEvent(event_);
    open_ = true;
    kind_ = kind;
    succeeded_ = false;
    error_ = 0;
    value_ = 0;
    LeaveCriticalSection(&lock_);
}

bool AsyncCompletion::Complete(uint32_t kind, bool succeeded, DWORD error, DWORD value)
{
    EnterCriticalSection(&lock_);
    bool taken = open_ && (kind == kind_ || kind == kAnyStep);
    if (taken) {
        open_ = false;
        succeeded_ = succeeded;
        error_ = error;
        value_ = value;
        SetEvent(event_);
    }
    LeaveCriticalSection(&lock_);
    return taken;
}

void AsyncCompletion::Close()
{
    EnterCriticalSection(&lock_);
    open_ = false;
    LeaveCriticalSection(&lock_);
}

AsyncCompletion::Outcome AsyncCompletion::Await(Returned returned, const DownloadLimits& limits)
{
    if (returned != Returned::Pending) {
        // A completion the platform may still send for this call finds the
        // step closed.
        Close();
        return returned == Returned::Finished ? Outcome::Done : Outcome::Failed;
    }
    DWORD waited = WaitAnswering(event_, limits.LeftMs());
    // Closed before the outcome is read: from here on nothing writes it.
    Close();
    if (waited != WAIT_OBJECT_0) return Outcome::Expired;
    if (succeeded_) return Outcome::Done;
    // Only the overall clock is the deadline: a platform time-out that the
    // caller chose shorter is that time-out's failure, while one cut down to
    // the time left fires only after the clock has run out.
    return limits.Expired() ? Outcome::Expired : Outcome::Failed;
}

}  // namespace web
