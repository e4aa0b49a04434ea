// Waiting on the window thread for something another thread will signal (a
// download's next step) without the windows falling silent.
//
// A thread that looks at no message for a few seconds is taken by the system
// for hung: its windows are shown "not responding", are not repainted when
// uncovered, and other programs that send to them wait or give up. This wait
// keeps answering: messages that other threads and programs send to the
// thread's windows are handled, and the windows repaint. Input and posted
// messages stay queued: a click made meanwhile runs afterwards, where the
// program next lets queued messages through, as it would had the thread
// simply blocked. No program routine runs inside the wait: a unit event that
// a sent message raises meanwhile is held back and raised from the queue
// afterwards (events.h), and a close sent by another program is queued again
// for the same point.
#pragma once

#include <cstdint>

// Waits until `event` (a HANDLE) is signalled or `timeoutMs` have passed
// (0xFFFFFFFF: no limit), answering meanwhile. Returns what WaitForSingleObject
// would: WAIT_OBJECT_0, WAIT_ABANDONED, WAIT_TIMEOUT or WAIT_FAILED.
uint32_t AnsweringWait(void* event, uint32_t timeoutMs);

// True while this thread is inside AnsweringWait.
bool InAnsweringWait();
