#include "runtime/core/facility_libraries.h"

#include <windows.h>

namespace {

struct KeptLibrary {
    HMODULE module;  // owned: one LoadLibrary reference
    void (*forget)();
    bool (*inUse)();
    std::vector<std::wstring> windowClasses;
};

std::vector<KeptLibrary>& Kept()
{
    static std::vector<KeptLibrary> kept;
    return kept;
}

bool CodeOf(HMODULE module, const void* address)
{
    HMODULE owner = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), &owner) &&
           owner == module;
}

// Unregisters the library's own classes among `names`; false when one of
// them stays registered (a window of it still exists), so that its window
// procedure must stay loaded. A class of that name whose procedure lies
// elsewhere is someone else's and is left alone.
bool UnregisterClassesOf(HMODULE module, const std::vector<std::wstring>& names)
{
    bool allGone = true;
    for (const std::wstring& name : names) {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        if (!GetClassInfoExW(module, name.c_str(), &wc) || !CodeOf(module, reinterpret_cast<void*>(wc.lpfnWndProc)))
            continue;
        if (!UnregisterClassW(name.c_str(), module)) allGone = false;
    }
    return allGone;
}

}  // namespace

void KeepFacilityLibrary(void* module, void (*forget)(), bool (*inUse)(), std::vector<std::wstring> windowClasses)
{
    if (module) Kept().push_back({static_cast<HMODULE>(module), forget, inUse, std::move(windowClasses)});
}

void ReleaseFacilityLibraries()
{
    std::vector<KeptLibrary> kept;
    kept.swap(Kept());
    for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
        // A window whose procedure lives in the library would fault at its
        // next message; what is still in use is left loaded (and bound).
        if (it->inUse && it->inUse()) continue;
        // A class left registered would send the next window of that name,
        // even one made after the library is loaded again elsewhere, into
        // code that is gone.
        if (!UnregisterClassesOf(it->module, it->windowClasses)) continue;
        FreeLibrary(it->module);
        if (it->forget) it->forget();
    }
}
