#include "runtime/core/facility_libraries.h"

#include <windows.h>

#include <vector>

namespace {

struct KeptLibrary {
    HMODULE module;  // owned: one LoadLibrary reference
    void (*forget)();
};

std::vector<KeptLibrary>& Kept()
{
    static std::vector<KeptLibrary> kept;
    return kept;
}

}  // namespace

void KeepFacilityLibrary(void* module, void (*forget)())
{
    if (module) Kept().push_back({static_cast<HMODULE>(module), forget});
}

void ReleaseFacilityLibraries()
{
    std::vector<KeptLibrary> kept;
    kept.swap(Kept());
    for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
        FreeLibrary(it->module);
        if (it->forget) it->forget();
    }
}
