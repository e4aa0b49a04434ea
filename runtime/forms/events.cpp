#include "runtime/forms/events.h"

#include "runtime/core/answering_wait.h"
#include "runtime/core/runtime_app.h"
#include "runtime/core/runtime_error.h"
#include "runtime/forms/unit_types.h"
#include "runtime/forms/window_set.h"

#include <vector>

namespace {

constexpr int32_t kEventFocusGained = -7;

EventSource gSource{0, 0};
int32_t gSilence = 0;
uint32_t gFocusGained = 0;

// Events raised while the window thread waits answering, waiting to be
// raised from the queue once the outermost wait has ended.
std::vector<EventRecord> gHeldBack;

void RaiseHeldBackEvents()
{
    std::vector<EventRecord> events;
    events.swap(gHeldBack);
    for (EventRecord& record : events) {
        // Descriptions stay until the exit sequence, which also ends the queue.
        if (FindWindowRecord(record.windowId) && FindUnitRecord(record.windowId, record.unitId)) RaiseEvent(&record);
    }
}

// Without the runtime's queue (no runtime started) nothing could raise them
// later: they are dropped.
void QueueHeldBackEvents()
{
    if (!RunLater(&RaiseHeldBackEvents)) gHeldBack.clear();
}

// A program routine run from inside the wait would run in the middle of the
// routine that waits, at a point where it lets no queued message through: it
// runs instead where that routine next does, as it would had the thread
// simply blocked until then. Its answer comes too late for the message that
// raised it, which goes on as if no routine were bound (a close that needs
// the answer is queued again whole, window_unit.cpp).
bool HoldBack(const EventRecord& record)
{
    if (!InAnsweringWait()) return false;
    if (!EventIsBound(record.windowId, record.unitId, record.event)) return true;
    EventRecord copy = record;
    copy.hasResult = 0;
    copy.result = 0;
    gHeldBack.push_back(copy);
    // One queued call raises the whole batch, queued only as the outermost
    // wait ends: queued at once, a modal loop that a sent message starts
    // inside the wait (a move, a menu) would pick it up at once, hold the
    // events back again and queue them again, round and round at full load
    // for as long as the loop lasts.
    if (gHeldBack.size() == 1) AtOutermostWaitEnd(&QueueHeldBackEvents);
    return true;
}

}  // namespace

uintptr_t FindEventHandler(WindowId windowId, UnitId unitId, int32_t event, int32_t argCount)
{
    // No events while a runtime error is being reported or a unit re-created.
    if (RuntimeErrorCount() > 0 || gSilence > 0) return 0;
    WindowRecord* window = FindWindowRecord(windowId);
    if (!window)
        RaiseRuntimeError("\xce\xb4\xd5\xd2\xb5\xbd\xd2\xfd\xb7\xa2\xca\xc2\xbc\xfe\xb5\xc4\xb4\xb0\xbf\xda", 0);
    const UnitRecord* unit = FindUnitRecord(windowId, unitId);
    if (!unit)
        RaiseRuntimeError(
            "\xce\xb4\xd5\xd2\xb5\xbd\xd2\xfd\xb7\xa2\xca\xc2\xbc\xfe\xb5\xc4\xb4\xb0\xbf\xda\xd7\xe9\xbc\xfe", 0);
    // The event source link: another unit of the same type whose bindings
    // serve this one too. A damaged chain cannot loop: it is at most as long
    // as the list.
    for (size_t hops = 0; unit->link != 0 && hops < window->units.units.size(); ++hops) {
        const UnitRecord* next = window->units.Find(unit->link);
        if (!next || next->type != unit->type) break;
        unit = next;
    }
    const UnitTypeDescriptor* type = FindUnitType(unit->type);
    if (!type || !type->CanRaiseEvents())
        RaiseRuntimeError("\xd2\xfd\xb7\xa2\xca\xc2\xbc\xfe\xb5\xc4\xb4\xb0\xbf\xda\xd7\xe9\xbc\xfe\xce\xde\xd0\xa7",
                          0);
    const uintptr_t handler = unit->IsMenuItem() ? unit->menu.handler : unit->FindHandler(event);
    if (handler == 0) return 0;
    gSource.windowId = windowId;
    gSource.unitId = unitId != 0 ? unitId : (window->units.units.empty() ? 0 : window->units.units[0].id);
    return handler;
}

bool EventIsBound(WindowId windowId, UnitId unitId, int32_t event)
{
    const EventSource outer = gSource;
    const bool bound = FindEventHandler(windowId, unitId, event, 0) != 0;
    gSource = outer;
    return bound;
}

int32_t RaiseEvent(EventRecord* record)
{
    if (!record || HoldBack(*record)) return 0;
    if (record->event == kEventFocusGained) ++gFocusGained;
    const EventSource outer = gSource;
    const uint32_t argCount = record->argCount <= 5 ? record->argCount : 5;
    const uintptr_t handler =
        FindEventHandler(record->windowId, record->unitId, record->event, static_cast<int32_t>(argCount));
    if (handler == 0) return 0;
    // A fixed-up handler is the address of an entry of the program's table
    // of subroutines; the routine is read out of it.
    ProgramRoutine routine = *reinterpret_cast<const ProgramRoutine*>(handler);
    int32_t args[5] = {};
    for (uint32_t i = 0; i < argCount; ++i) args[i] = record->args[i];
    int32_t result = 0;
    if (routine && routine(args, static_cast<int32_t>(argCount), &result) == kRoutineReturnedValue) {
        record->hasResult = 1;
        record->result = result;
    }
    // Nested events (a handler that pumps messages) give the outer handler
    // its own source back.
    gSource = outer;
    return 1;
}

bool RaiseUnitEvent(WindowId windowId, UnitId unitId, int32_t event, std::initializer_list<int32_t> args,
                    int32_t* result, bool* hasResult)
{
    EventRecord record{};
    record.windowId = windowId;
    record.unitId = unitId;
    record.event = event;
    for (int32_t a : args) {
        if (record.argCount == 5) break;
        record.args[record.argCount++] = a;
    }
    const bool ran = RaiseEvent(&record) != 0;
    if (result) *result = record.result;
    if (hasResult) *hasResult = record.hasResult != 0;
    return ran;
}

bool HandlerSaidFalse(bool ran, bool hasResult, int32_t result) { return ran && hasResult && result == 0; }

EventSource CurrentEventSource() { return gSource; }

uint32_t FocusGainedEventCount() { return gFocusGained; }

void EnterEventSilence() { ++gSilence; }
void LeaveEventSilence()
{
    if (gSilence > 0) --gSilence;
}
