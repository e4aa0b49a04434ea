// COM looks a class up in the process's own class table before the registry:
// a class object registered there for the class's CLSID (CoRegisterClassObject
// "can also be used to register internal objects for use by the same EXE or
// other code (such as DLLs) that the EXE uses") answers every creation in the
// process, the script control's creation of its language engine included.
#include "tests/support/class_stand_in.h"

ClassStandIn::ClassStandIn(const wchar_t* progId, IUnknown* object) : object_(object)
{
    CLSID id;
    if (FAILED(CLSIDFromProgID(progId, &id))) {
        inEffect_ = !object;
        return;
    }
    // The table entry lives as long as the thread's apartment: this object
    // keeps one open for itself, whatever the code under test initialises
    // and uninitialises meanwhile.
    comInitialized_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    if (FAILED(CoRegisterClassObject(id, static_cast<IClassFactory*>(this), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                     &cookie_)))
        return;
    IUnknown* made = nullptr;
    const HRESULT hr = CoCreateInstance(id, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&made));
    inEffect_ = object ? SUCCEEDED(hr) && made == object : FAILED(hr);
    if (SUCCEEDED(hr) && made) made->Release();
}

ClassStandIn::~ClassStandIn()
{
    if (cookie_) CoRevokeClassObject(cookie_);
    if (comInitialized_) CoUninitialize();
}

HRESULT ClassStandIn::QueryInterface(REFIID iid, void** out)
{
    *out = iid == IID_IUnknown || iid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
}

HRESULT ClassStandIn::CreateInstance(IUnknown* outer, REFIID iid, void** out)
{
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return object_ ? object_->QueryInterface(iid, out) : CLASS_E_CLASSNOTAVAILABLE;
}
