#include "runtime/forms/accessible_names.h"

#include "runtime/core/gbk_wide.h"
#include "runtime/forms/unit_types.h"
#include "runtime/forms/window_set.h"

// The property identifiers and the class of the annotation service are
// defined here rather than imported, so the program does not load the
// accessibility library at start: COM loads it on first use.
#include <initguid.h>
#include <oleacc.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

class PropertyServices {
public:
    PropertyServices()
    {
        // In-process: the service keeps the annotation for the window's own
        // accessible object, which clients then ask for as usual.
        if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                    reinterpret_cast<void**>(&services_))))
            services_ = nullptr;
    }
    ~PropertyServices()
    {
        if (services_) services_->Release();
    }
    PropertyServices(const PropertyServices&) = delete;
    PropertyServices& operator=(const PropertyServices&) = delete;
    IAccPropServices* Get() const { return services_; }

private:
    IAccPropServices* services_ = nullptr;  // owned reference
};

const MSAAPROPID kAnnotatedProperties[] = {PROPID_ACC_NAME, PROPID_ACC_ROLE};

// Windows that carry an annotation now; only they are cleared when they go.
std::vector<HWND>& AnnotatedWindows()
{
    static std::vector<HWND> windows;
    return windows;
}

}  // namespace

bool AnnotateUnitForScreenReaders(WindowId windowId, UnitId unitId, const char* gbkName, int32_t role)
{
    const UnitRecord* unit = FindUnitRecord(windowId, unitId);
    HWND hwnd = unit && unit->object ? static_cast<HWND>(unit->object->Handle()) : nullptr;
    if (!hwnd || !IsWindow(hwnd)) return false;
    PropertyServices services;
    if (!services.Get()) return false;
    bool annotated = false;
    // The client area's object is the one a screen reader reaches for a
    // control (OBJID_CLIENT, the element itself).
    if (gbkName && *gbkName) {
        std::wstring name = GbkToWide(gbkName);
        annotated |=
            SUCCEEDED(services.Get()->SetHwndPropStr(hwnd, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_NAME, name.c_str()));
    }
    if (role != kAccessibleRoleOwn) {
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_I4;
        value.lVal = role;
        annotated |= SUCCEEDED(services.Get()->SetHwndProp(hwnd, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_ROLE, value));
    }
    auto& windows = AnnotatedWindows();
    if (annotated && std::find(windows.begin(), windows.end(), hwnd) == windows.end()) windows.push_back(hwnd);
    return annotated;
}

void ForgetAccessibleAnnotations(void* window)
{
    auto& windows = AnnotatedWindows();
    auto it = std::find(windows.begin(), windows.end(), static_cast<HWND>(window));
    if (it == windows.end()) return;
    windows.erase(it);
    PropertyServices services;
    if (services.Get())
        services.Get()->ClearHwndProps(static_cast<HWND>(window), OBJID_CLIENT, CHILDID_SELF, kAnnotatedProperties,
                                       static_cast<int>(std::size(kAnnotatedProperties)));
}
