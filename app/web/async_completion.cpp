#include "app/web/async_completion.h"

#include "app/web/wait_answering.h"
#include "app/web/web_probes.h"

namespace web {

AsyncCompletion::AsyncCompletion(const void* platformFunction) : event_(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
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
    ProbeAsyncStateFreed();
}

void AsyncCompletion::Complete(bool succeeded, DWORD error)
{
    succeeded_ = succeeded;
    error_ = error;
    SetEvent(event_);
}

AsyncCompletion::Outcome AsyncCompletion::Wait(const DownloadLimits& limits)
{
    if (WaitAnswering(event_, limits.LeftMs()) != WAIT_OBJECT_0) return Outcome::Expired;
    if (succeeded_) return Outcome::Done;
    // Only the overall clock is the deadline: a platform time-out that the
    // caller chose shorter is that time-out's failure, while one cut down to
    // the time left fires only after the clock has run out.
    return limits.Expired() ? Outcome::Expired : Outcome::Failed;
}

}  // namespace web
