// Unit events: how a numbered event of a window or unit reaches the routine
// of the compiled program bound to it.
#pragma once

#include "runtime/forms/form_block.h"

#include <cstdint>
#include <initializer_list>

// SystemNotify 2008's argument: eleven 32-bit words. Callers fill words 0..8
// and zero 9..10.
struct EventRecord {
    uint32_t windowId;
    uint32_t unitId;  // 0 = the window unit
    int32_t event;
    uint32_t argCount;  // 0..5
    int32_t args[5];
    uint32_t hasResult;  // out: 1 when the handler returned a value
    int32_t result;      // out
};
static_assert(sizeof(EventRecord) == 44, "eleven words");

// The handler's address (the entry of the program's subroutine table it was
// fixed up to), or 0: none bound, or events are not delivered now (a runtime
// error is being reported, or a unit is being re-created). Reports the
// runtime errors for an unknown window or unit and an invalid unit type.
uintptr_t FindEventHandler(WindowId windowId, UnitId unitId, int32_t event, int32_t argCount);

// Whether a handler is bound to the event now (FindEventHandler without
// taking the event's source).
bool EventIsBound(WindowId windowId, UnitId unitId, int32_t event);

// Calls the bound handler; non-zero if one ran. While the thread waits
// answering (answering_wait.h) no handler runs: the event is raised from the
// queue afterwards, and 0 is returned now.
int32_t RaiseEvent(EventRecord* record);

// Shorthand for unit code: raises `event` with `args`; *result/*hasResult
// (optional) receive the handler's answer. True if a handler ran.
bool RaiseUnitEvent(WindowId windowId, UnitId unitId, int32_t event, std::initializer_list<int32_t> args = {},
                    int32_t* result = nullptr, bool* hasResult = nullptr);

// A handler that ran and returned 0 ("false"): refuses a close, swallows input.
bool HandlerSaidFalse(bool ran, bool hasResult, int32_t result);

// SystemNotify 2017: the window and unit whose event is being handled (both 0
// outside a handler).
struct EventSource {
    WindowId windowId;
    UnitId unitId;
};
EventSource CurrentEventSource();

// How many focus-gained events (-7) have been raised so far, so that showing
// a window can tell whether its focus already raised one.
uint32_t FocusGainedEventCount();

// Raised around a unit's re-creation: no events are delivered meanwhile.
void EnterEventSilence();
void LeaveEventSilence();

// How a program routine is called: with its 32-bit arguments, answering
// whether it returned a value. The program's subroutine table holds pointers
// of this type.
using ProgramRoutine = int32_t (*)(const int32_t* args, int32_t argCount, int32_t* result);
// A routine returns kRoutineReturnedValue when it stored a result.
constexpr int32_t kRoutineReturnedValue = 1;
