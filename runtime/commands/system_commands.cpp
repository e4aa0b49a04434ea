#include "runtime/commands/system_commands.h"

#include "runtime/commands/command_support.h"
#include "runtime/commands/conversion_commands.h"
#include "runtime/core/heap.h"
#include "runtime/core/services.h"
#include "runtime/forms/unit_types.h"

#include <algorithm>
#include <cstring>

using namespace commands;

namespace {

constexpr char kDefaultCaption[] = "\xD0\xC5\xCF\xA2\xA3\xBA";  // 信息：
constexpr uint32_t kSystemModal = 0x1000;
constexpr uint32_t kTaskModal = 0x2000;
// Non-text messages are formatted into a buffer of this size.
constexpr size_t kMessageBuffer = 100;

MessageBoxPresenter gPresenter = nullptr;

bool IsBasicType(ValueType t) { return !HasArrayFlag(t) && ClassOf(t) == ValueClass::System; }

// The owner window: a loaded window's handle, or an int taken as a handle.
uintptr_t OwnerOf(const ArgRecord* owner)
{
    if (!owner) return 0;
    if (owner->type == TYPE_WINDOW) {
        // The window part answers the window's live unit object, or null when
        // the window is not loaded.
        auto* window = reinterpret_cast<const LiveUnit*>(static_cast<uintptr_t>(SystemNotify(2006, owner->low, 0)));
        return window ? reinterpret_cast<uintptr_t>(window->Handle()) : 0;
    }
    if (owner->type == TYPE_INT) return owner->low;
    return 0;
}

}  // namespace

void SetMessageBoxPresenter(MessageBoxPresenter presenter) { gPresenter = presenter; }

void ShowMessageBox(CommandResult* result, int32_t argc, ArgRecord* args)
{
    char buffer[kMessageBuffer] = {};
    const char* message = buffer;
    if (const ArgRecord* m = ArgAt(argc, args, 0)) {
        if (m->type == TYPE_TEXT) {
            message = m->ptr ? static_cast<const char*>(m->ptr) : "";
        } else if (IsBasicType(m->type)) {
            Text t = ConvertToText(*m);
            if (t) std::memcpy(buffer, t, std::min(std::strlen(t), kMessageBuffer - 1));
            RuntimeFree(t);
        }
    }
    uint32_t flags = static_cast<uint32_t>(IntArg(argc, args, 1));
    if (!(flags & kSystemModal)) flags |= kTaskModal;
    const char* caption = Given(argc, args, 2) ? TextArg(argc, args, 2) : kDefaultCaption;
    const uintptr_t owner = OwnerOf(ArgAt(argc, args, 3));

    const int32_t button = (gPresenter ? gPresenter : PlatformMessageBox)(owner, message, caption, flags);
    // Platform codes 1..7 (OK, Cancel, Abort, Retry, Ignore, Yes, No) -> 0..6.
    SetInt(*result, (button >= 1 && button <= 7) ? button - 1 : 0);
}

void ProcessEvents(CommandResult* result, int32_t argc, ArgRecord* args) { SystemNotify(2018, 0, 0); }
