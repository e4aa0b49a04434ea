// Readies, in idle time once the window is shown, what the first lookup of a
// process would otherwise pay for on the click.
#pragma once

#include <cstddef>

// While it lives, the message loop's idle phases do its steps, one per idle
// round, until all are done: the web libraries' declarations are bound, the
// platform's pattern and script objects are made once and released (their
// libraries stay loaded), and a session of each HTTP library is opened and
// closed. Nothing of it is seen or sent: no request, no window, no message.
// A click that comes first simply finds less of it done; the exit sequence
// drops what is left.
class LookupWarmUp {
public:
    LookupWarmUp();
    ~LookupWarmUp();
    LookupWarmUp(const LookupWarmUp&) = delete;
    LookupWarmUp& operator=(const LookupWarmUp&) = delete;

private:
    static bool Step(void* self);
    size_t next_ = 0;  // the step to do next
};
