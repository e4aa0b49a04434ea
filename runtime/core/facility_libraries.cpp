#include "runtime/core/facility_libraries.h"

#include <windows.h>

#include <vector>

namespace {

struct KeptLibrary {
    HMODULE module;  // owned: one LoadLibrary reference
    void (*forget)();
    bool (*inUse)();
};

std::vector<KeptLibrary>& Kept()
{
    static std::vector<KeptLibrary> kept;
    return kept;
}

}  // namespace

void KeepFacilityLibrary(void* module, void (*forget)(), bool (*inUse)())
{
    if (module) Kept().push_back({static_cast<HMODULE>(module), forget, inUse});
}

void ReleaseFacilityLibraries()
{
    std::vector<KeptLibrary> kept;
    kept.swap(Kept());
    for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
        // A window whose procedure lives in the library would fault at its
        // next message; what is still in use is left loaded (and bound).
        if (it->inUse && it->inUse()) continue;
        FreeLibrary(it->module);
        if (it->forget) it->forget();
    }
}
