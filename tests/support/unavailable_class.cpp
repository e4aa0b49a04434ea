// COM looks a class up in the process's own class table before the registry:
// a class object registered there for the class's CLSID (CoRegisterClassObject
// "can also be used to register internal objects for use by the same EXE or
// other code (such as DLLs) that the EXE uses") answers every creation in the
// process, the script control's creation of its language engine included.
// This one refuses them all.
#include "tests/support/unavailable_class.h"

#include <windows.h>

#include <objbase.h>

namespace {

class RefusingFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    // A static object: the counts mean nothing.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void** out) override
    {
        *out = nullptr;
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

RefusingFactory gRefusingFactory;

}  // namespace

UnavailableClass::UnavailableClass(const wchar_t* progId)
{
    CLSID id;
    if (FAILED(CLSIDFromProgID(progId, &id))) {
        inEffect_ = true;
        return;
    }
    // The table entry lives as long as the thread's apartment: this object
    // keeps one open for itself, whatever the code under test initialises
    // and uninitialises meanwhile.
    comInitialized_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    DWORD cookie = 0;
    if (FAILED(CoRegisterClassObject(id, &gRefusingFactory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie))) return;
    cookie_ = cookie;
    // In effect only when a creation as the program makes one now fails.
    IUnknown* object = nullptr;
    const HRESULT made = CoCreateInstance(id, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&object));
    if (SUCCEEDED(made) && object) object->Release();
    inEffect_ = FAILED(made);
}

UnavailableClass::~UnavailableClass()
{
    if (cookie_) CoRevokeClassObject(cookie_);
    if (comInitialized_) CoUninitialize();
}
