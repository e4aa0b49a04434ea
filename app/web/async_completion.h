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
// Each platform derives its state from this, adding what its callback
// carries and the buffers its pending calls use.
#pragma once

#include "app/web/download_limits.h"

#include <windows.h>

namespace web {

class AsyncCompletion {
public:
    enum class Outcome { Done, Failed, Expired };

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

    // On the platform's thread: the pending call has ended. What the callback
    // carries is written before this, and read by the routine after Wait().
    void Complete(bool succeeded, DWORD error);

    // The end of the pending call: Done, Failed (the platform's own failure,
    // its time-outs included, while time is left), or Expired (the deadline
    // passed first). The one place a routine blocks on the network.
    Outcome Wait(const DownloadLimits& limits);

    // The platform's error code of a call that ended Failed.
    DWORD Error() const { return error_; }

private:
    HANDLE event_ = nullptr;  // owned; auto-reset, set by each completion
    bool pinned_ = false;
    LONG refs_ = 1;
    bool succeeded_ = false;
    DWORD error_ = 0;
};

}  // namespace web
