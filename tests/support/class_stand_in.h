// A COM class replaced for this process alone while the object lives: every
// creation of it gets a given object, or fails as on a Windows where the
// component is not installed or its optional feature is turned off. Nothing
// outside the process changes (no registry key is written), so a test that
// dies leaves the machine as it was.
#pragma once

#include <windows.h>

#include <objbase.h>

class ClassStandIn : private IClassFactory {
public:
    // progId: the class's name, e.g. L"VBScript.RegExp"; `object` what every
    // creation gets (nullptr: the class is unavailable). A name no class is
    // registered under is unavailable already; nothing is done for it.
    explicit ClassStandIn(const wchar_t* progId, IUnknown* object = nullptr);
    ~ClassStandIn();
    ClassStandIn(const ClassStandIn&) = delete;
    ClassStandIn& operator=(const ClassStandIn&) = delete;

    // Whether a creation as the program makes one now gets what was asked.
    bool InEffect() const { return inEffect_; }

private:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    // COM's references end with the registration, before this object does.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

    IUnknown* object_;
    DWORD cookie_ = 0;  // the class table entry; 0 none
    bool comInitialized_ = false;
    bool inEffect_ = false;
};
