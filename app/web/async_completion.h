// The completions of one download's pending calls, shared by the two request
// routines when they run in their platform's asynchronous mode.
//
// A routine starts a call; when the call is pending, the platform ends it
// later on a thread of its own, in the routine's status callback, which
// records the end with Complete(). The routine meanwhile waits in Wait(), for
// no longer than its deadline leaves. After a routine has given up on a call
// the platform may still finish or cancel it, writing the call's buffers and
// calling back, up to each handle's closing notice. So everything such a call
// touches lives in one object with a reference count: the routine holds one
// reference from the start, and each handle that will send a closing notice
// holds one from the moment that notice is certain (its context set and the
// callback installed) until the notice itself. Whoever lets go last frees it.
//
// A completion counts only for the step it belongs to: the routine opens a
// step before its call (naming the kind of completion that ends it) and
// closes it when the call has finished at once or its wait is over. A
// completion that comes while no step is open, a second one for the same
// step, or one of another kind (where the platform's notices tell the kinds
// apart) is dropped, so that it cannot end the next step's wait while that
// step's buffer is still being filled. WinInet's one notice names no call, so
// there a completion that came only after the next step opened would still
// count for it; WinInet sends it only for a call that went pending, and the
// routine starts no call before the pending one has ended.
//
// Each platform derives its state from this, adding what its callback
// carries and the buffers its pending calls use.
#pragma once

#include "app/web/download_limits.h"

#include <windows.h>

namespace web {

class AsyncCompletion {
public:
    enum class Outcome { Done, Failed, Expired };
    // How a step's call returned: finished at once, pending (its completion
    // will come), or failed without going pending.
    enum class Returned { Finished, Pending, Failed };

    // Made with one reference, the maker's. `platformFunction` is any
    // function of the library whose threads will call back: that library is
    // pinned for the rest of the process, since the exit sequence frees the
    // program's libraries while a closing notice may still be on its way.
    explicit AsyncCompletion(const void* platformFunction);
    virtual ~AsyncCompletion();
    AsyncCompletion(const AsyncCompletion&) = delete;
    AsyncCompletion& operator=(const AsyncCompletion&) = delete;

    // False when the event or the pin could not be had: a download under a
    // deadline then fails rather than wait without one.
    bool Usable() const { return event_ != nullptr && pinned_; }

    void AddRef() { InterlockedIncrement(&refs_); }
    // Drops a reference; the last one frees the object.
    void Release()
    {
        if (InterlockedDecrement(&refs_) == 0) delete this;
    }

    // On the window thread, just before a step's call: from now on one
    // completion of `kind` ends this step, and none of an earlier one does.
    void Begin(uint32_t kind = 0);

    // On the platform's thread: a pending call of `kind` has ended, carrying
    // `value` (a count, where the notice has one). False when no open step
    // takes it; the routine reads what the completion carried after Wait().
    // kAnyStep ends whichever step is open (a failure that names no call).
    static constexpr uint32_t kAnyStep = 0xFFFFFFFFu;
    bool Complete(uint32_t kind, bool succeeded, DWORD error, DWORD value = 0);

    // The step's call has returned: Done when it finished at once, Failed
    // when it failed without going pending, else the end of the pending call:
    // Done, Failed (the platform's own failure, its time-outs included, while
    // time is left), or Expired (the deadline passed first). The step is
    // closed afterwards either way. The one place a routine blocks on the
    // network.
    Outcome Await(Returned returned, const DownloadLimits& limits);

    // The platform's error code of a step that ended Failed through its
    // completion, and the value its completion carried.
    DWORD Error() const { return error_; }
    DWORD Value() const { return value_; }

private:
    void Close();

    HANDLE event_ = nullptr;  // owned; manual-reset, reset as each step opens
    bool pinned_ = false;
    LONG refs_ = 1;
    CRITICAL_SECTION lock_;  // guards what follows, between the two threads
    bool open_ = false;      // a step waits for its completion
    uint32_t kind_ = 0;
    bool succeeded_ = false;
    DWORD error_ = 0;
    DWORD value_ = 0;
};

}  // namespace web
