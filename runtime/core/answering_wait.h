// Waiting on the window thread for something another thread will signal (a
// download's next step) without the windows falling silent.
//
// A thread that looks at no message for a few seconds, or leaves the user's
// input unretrieved that long, is taken by the system for hung: its windows
// are ghosted and shown "not responding", clicks go to the ghost, and other
// programs that send to them wait or give up. This wait keeps answering:
// messages that other threads and programs send to the thread's windows are
// handled, the windows repaint, and calls into the thread's COM apartment
// (posted to COM's own window) are carried out. Once the wait has lasted a
// moment, the user's mouse and keyboard input is taken out of the queue into
// a list of the runtime's own; when the outermost wait ends it is put back,
// ahead of any newer input, and runs wherever the program next lets queued
// messages through, with the key states it was typed with, as it would had
// the thread simply blocked.
//
// No program routine runs inside the wait: a unit event that a sent message
// raises meanwhile is held back, a close sent by another program is held
// whole, and both are queued when the outermost wait ends (AtOutermostWaitEnd,
// PostWhenWaitEnds). An exit asked for meanwhile ends the wait at once
// (AbandonWaits) and runs once the wait has unwound.
#pragma once

#include <cstdint>

// Waits until `event` (a HANDLE) is signalled or `timeoutMs` have passed
// (0xFFFFFFFF: no limit), answering meanwhile. Returns what WaitForSingleObject
// would: WAIT_OBJECT_0, WAIT_ABANDONED, WAIT_TIMEOUT or WAIT_FAILED. A wait
// given up for an exit (AbandonWaits) returns WAIT_TIMEOUT, as at its limit.
uint32_t AnsweringWait(void* event, uint32_t timeoutMs);

// True while this thread is inside AnsweringWait.
bool InAnsweringWait();

// Runs `call` when this thread's outermost wait ends, after what was queued
// for that point before it. False when no wait is running (nothing is kept).
bool AtOutermostWaitEnd(void (*call)());

// Posts the message when this thread's outermost wait ends, in turn with the
// calls above. False when no wait is running.
bool PostWhenWaitEnds(void* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Ends this thread's waits as at their limit, and makes every later wait
// return at once; `then` runs first of all when the outermost wait has
// unwound. For an exit, which must not run nested inside a wait.
void AbandonWaits(void (*then)());
