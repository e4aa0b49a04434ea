#include "runtime/units/window_part_entries.h"

#include "runtime/core/window_part.h"
#include "runtime/forms/events.h"
#include "runtime/forms/input_filter.h"
#include "runtime/forms/window_loader.h"
#include "runtime/forms/window_set.h"
#include "runtime/forms/window_unit.h"
#include "runtime/units/button_unit.h"
#include "runtime/units/edit_box_unit.h"
#include "runtime/units/html_viewer_unit.h"
#include "runtime/units/label_unit.h"
#include "runtime/units/picture_box_unit.h"
#include "runtime/units/unit.h"

namespace {

constexpr int32_t kNotifyWindowObject = 2006;
constexpr int32_t kNotifyRaiseEvent = 2008;
constexpr int32_t kNotifyEventSource = 2017;

int64_t WindowPartNotify(int32_t code, uintptr_t arg1, uintptr_t arg2)
{
    int64_t result = 0;
    if (FormsNotify(code, arg1, arg2, &result)) return result;
    switch (code) {
    case kNotifyRaiseEvent:
        return RaiseEvent(reinterpret_cast<EventRecord*>(arg1));
    case kNotifyEventSource: {
        const EventSource source = CurrentEventSource();
        return static_cast<int64_t>(static_cast<uint64_t>(source.unitId) << 32 | source.windowId);
    }
    case kNotifyWindowObject:
        return static_cast<int64_t>(reinterpret_cast<uintptr_t>(WindowUnitObject(static_cast<WindowId>(arg1))));
    default:
        return 0;
    }
}

bool PreTranslate(void* msg) { return InputEventFilter(static_cast<MSG*>(msg)); }

const WindowPartEntries kEntries = {
    &ReadProgramFormBlock,      &LoadWindowById,       &AnyLoadedWindowAlive,
    &LoadedWindowIds,           &WindowIdle,           &PreTranslate,
    &ReleaseWindowDescriptions, &ReleaseFormResources, &WindowPartNotify,
};

}  // namespace

void RegisterWindowUnits()
{
    SetUnitInterface(kUnitTypeWindow, &WindowUnitInterface);
    SetUnitInterface(kUnitTypeLabel, &LabelInterface);
    SetUnitInterface(kUnitTypeButton, &ButtonInterface);
    SetUnitInterface(kUnitTypeEditBox, &EditBoxInterface);
    SetUnitInterface(kUnitTypePicBox, &PictureBoxInterface);
    SetUnitInterface(kUnitTypeHtmlViewer, &HtmlViewerInterface);
    SetLoadedWindowShower(&ShowLoadedWindow);
    RegisterWindowPart(&kEntries);
}
