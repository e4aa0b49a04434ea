// The form block reader over arbitrary bytes: it must never read outside the
// input, and whatever it accepts must write back to a block that reads the
// same.
#include "runtime/forms/form_block.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    WindowSet set;
    if (!ReadFormBlock(data, size, &set)) {
        if (!set.windows.empty()) std::abort();
        return 0;
    }
    FixUpHandlers(&set, 0x1000);
    for (auto& w : set.windows) {
        for (const UnitRecord& u : w->units.units) {
            if (w->units.FindIndex(u.id) < 0) std::abort();
        }
        w->units.MenuRun();
    }
    std::vector<uint8_t> written = WriteFormBlock(set);
    WindowSet again;
    if (!ReadFormBlock(written.data(), written.size(), &again)) std::abort();
    if (WriteFormBlock(again) != written) std::abort();
    return 0;
}
