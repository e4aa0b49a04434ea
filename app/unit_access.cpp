#include "app/unit_access.h"

#include "runtime/forms/unit_properties.h"

namespace {
// Not a unit array: the element index the compiled code passes for a plain unit.
constexpr int32_t kNoElement = -1;
}  // namespace

OwnedText ReadUnitText(uint32_t windowId, uint32_t unitId, int32_t property)
{
    int64_t value = ReadUnitProperty(windowId, unitId, property, kNoElement);
    return OwnedText(reinterpret_cast<Text>(static_cast<uintptr_t>(value)));
}

void WriteUnitText(uint32_t windowId, uint32_t unitId, int32_t property, const char* text)
{
    WriteUnitProperty(windowId, unitId, property, kNoElement, reinterpret_cast<uintptr_t>(text), 0);
}

void WriteUnitBytes(uint32_t windowId, uint32_t unitId, int32_t property, const uint8_t* bytes)
{
    WriteUnitProperty(windowId, unitId, property, kNoElement, reinterpret_cast<uintptr_t>(bytes), 0);
}

void AnnounceUnitAs(uint32_t windowId, uint32_t unitId, const char* name, int32_t role)
{
    // A platform without the accessibility layer announces what the window
    // says by itself; nothing else depends on it.
    AnnotateUnitForScreenReaders(windowId, unitId, name, role);
}
