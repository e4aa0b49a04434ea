#include "runtime/units/browser_guard.h"

#include <exdispid.h>
#include <mshtmdid.h>
#include <ocidl.h>
#include <olectl.h>

#include <string>

namespace {

// The browser's event interface (DWebBrowserEvents2), reached through its
// connection point.
const IID kDiidWebBrowserEvents2 = {0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};
// ATL's host object: its ambient interface with a way to add ambient
// properties of one's own (ATL 7 and later hosts).
const IID kIidAxWinAmbientDispatchEx = {0xB2D0778B, 0xAC99, 0x4C58, {0xA5, 0xC8, 0xE7, 0x72, 0x4E, 0x53, 0x16, 0xB5}};

// What documents in a hidden viewer may download and run. Images, videos and
// background sounds stay as the browser has them when the host says nothing
// (those three flags are its default); left out on purpose is DLCTL_SILENT,
// so that the prompts for a download and for an untrusted certificate stay.
constexpr LONG kHiddenDownloadControl = DLCTL_DLIMAGES | DLCTL_VIDEOS | DLCTL_BGSOUNDS | DLCTL_NO_SCRIPTS |
                                        DLCTL_NO_JAVA | DLCTL_NO_RUNACTIVEXCTLS | DLCTL_NO_DLACTIVEXCTLS |
                                        DLCTL_NO_BEHAVIORS | DLCTL_NO_CLIENTPULL;

// The unit's own visible style, not IsWindowVisible: a unit that is shown on
// a window not yet shown is a page for the user all the same. A window that
// is gone counts as hidden.
bool UnitHidden(HWND unitWindow) { return !(GetWindowLongW(unitWindow, GWL_STYLE) & WS_VISIBLE); }

bool AnswerDownloadControl(HWND unitWindow, DISPID id, WORD flags, VARIANT* result)
{
    if (id != DISPID_AMBIENT_DLCONTROL || !(flags & DISPATCH_PROPERTYGET) || !result || !UnitHidden(unitWindow))
        return false;
    VariantClear(result);
    result->vt = VT_I4;
    result->lVal = kHiddenDownloadControl;
    return true;
}

// IUnknown and the parts of IDispatch that no caller here needs: the objects
// below are called by dispatch identifier only.
template <class... Interfaces> class ComObject : public Interfaces... {
public:
    ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

protected:
    virtual ~ComObject() = default;

private:
    ULONG refs_ = 1;
};

// Ambient properties added to the container's own (ATL's SetAmbientDispatch:
// asked only for what the container does not answer itself).
class AmbientAnswers final : public ComObject<IDispatch> {
public:
    explicit AmbientAnswers(HWND unitWindow) : unitWindow_(unitWindow) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IDispatch) return E_NOINTERFACE;
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override
    {
        return AnswerDownloadControl(unitWindow_, id, flags, result) ? S_OK : DISP_E_MEMBERNOTFOUND;
    }

private:
    HWND unitWindow_;
};

// The runtime's own client site for a container that offers no way to add
// ambient properties: it answers the download-control ambient property and
// hands everything else, interfaces and calls, to the container's site.
class GuardSite final : public ComObject<IOleClientSite, IDispatch> {
public:
    GuardSite(IOleClientSite* containerSite, HWND unitWindow) : site_(containerSite), unitWindow_(unitWindow)
    {
        site_->AddRef();
        site_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&ambient_));
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
            *out = static_cast<IOleClientSite*>(this);
        } else if (iid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
        } else {
            return site_->QueryInterface(iid, out);
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP SaveObject() override { return site_->SaveObject(); }
    STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** out) override
    {
        return site_->GetMoniker(assign, which, out);
    }
    STDMETHODIMP GetContainer(IOleContainer** out) override { return site_->GetContainer(out); }
    STDMETHODIMP ShowObject() override { return site_->ShowObject(); }
    STDMETHODIMP OnShowWindow(BOOL show) override { return site_->OnShowWindow(show); }
    STDMETHODIMP RequestNewObjectLayout() override { return site_->RequestNewObjectLayout(); }

    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* error, UINT* argError) override
    {
        if (AnswerDownloadControl(unitWindow_, id, flags, result)) return S_OK;
        if (!ambient_) return DISP_E_MEMBERNOTFOUND;
        return ambient_->Invoke(id, iid, lcid, flags, params, result, error, argError);
    }

private:
    ~GuardSite() override
    {
        if (ambient_) ambient_->Release();
        site_->Release();
    }

    IOleClientSite* site_;          // owned reference
    IDispatch* ambient_ = nullptr;  // owned reference: the container's own ambient properties
    HWND unitWindow_;
};

// The argument at `index` (counted from the last, as DISPPARAMS holds them)
// when it is a reference of type `vt`.
void* ByRefArgument(const DISPPARAMS* params, UINT count, UINT index, VARTYPE vt)
{
    if (!params || params->cArgs != count || !params->rgvarg) return nullptr;
    const VARIANT& v = params->rgvarg[index];
    return v.vt == (VT_BYREF | vt) ? v.byref : nullptr;
}

class EventSink final : public ComObject<IDispatch> {
public:
    explicit EventSink(HWND unitWindow) : unitWindow_(unitWindow) {}

    std::wstring ownAddress;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IDispatch && iid != kDiidWebBrowserEvents2) return E_NOINTERFACE;
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override
    {
        if (!UnitHidden(unitWindow_)) return S_OK;
        VARIANT_BOOL* cancel = nullptr;
        switch (id) {
        case DISPID_BEFORENAVIGATE2: {
            // (pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel)
            cancel = static_cast<VARIANT_BOOL*>(ByRefArgument(params, 7, 0, VT_BOOL));
            auto* url = static_cast<VARIANT*>(ByRefArgument(params, 7, 5, VT_VARIANT));
            const wchar_t* address = url && url->vt == VT_BSTR && url->bstrVal ? url->bstrVal : L"";
            if (GuardedViewerMayOpen(address) || (!ownAddress.empty() && ownAddress == address)) cancel = nullptr;
            break;
        }
        case DISPID_NEWWINDOW2:  // (ppDisp, Cancel)
            cancel = static_cast<VARIANT_BOOL*>(ByRefArgument(params, 2, 0, VT_BOOL));
            break;
        case DISPID_NEWWINDOW3:  // (ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl)
            cancel = static_cast<VARIANT_BOOL*>(ByRefArgument(params, 5, 3, VT_BOOL));
            break;
        default:
            break;
        }
        if (cancel) *cancel = VARIANT_TRUE;
        return S_OK;
    }

private:
    HWND unitWindow_;
};

// ATL's host takes added ambient properties through SetAmbientDispatch, bound
// by name through the host's own type information, so that no layout of its
// interface is assumed here.
bool AddAmbientProperties(IUnknown* containerHost, IDispatch* answers)
{
    if (!containerHost) return false;
    IDispatch* host = nullptr;
    if (FAILED(containerHost->QueryInterface(kIidAxWinAmbientDispatchEx, reinterpret_cast<void**>(&host))) || !host)
        return false;
    wchar_t name[] = L"SetAmbientDispatch";
    LPOLESTR names[] = {name};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = host->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (SUCCEEDED(hr)) {
        VARIANT arg;
        VariantInit(&arg);
        arg.vt = VT_DISPATCH;
        arg.pdispVal = answers;
        DISPPARAMS params{&arg, nullptr, 1, 0};
        hr = host->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    }
    host->Release();
    return SUCCEEDED(hr);
}

// Puts the runtime's own site between the browser and the container's site.
// The browser is taken out of its in-place state first and put back with the
// new site, so that it asks its new site for everything from then on.
bool InterposeSite(IWebBrowser2* browser, HWND unitWindow)
{
    IOleObject* object = nullptr;
    if (FAILED(browser->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object))) || !object) return false;
    IOleClientSite* containerSite = nullptr;
    if (FAILED(object->GetClientSite(&containerSite)) || !containerSite) {
        object->Release();
        return false;
    }
    IOleWindow* siteWindow = nullptr;
    HWND controlWindow = nullptr;
    if (SUCCEEDED(containerSite->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&siteWindow))) && siteWindow) {
        siteWindow->GetWindow(&controlWindow);
        siteWindow->Release();
    }
    IOleInPlaceObject* inPlace = nullptr;
    if (SUCCEEDED(browser->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace))) && inPlace) {
        inPlace->InPlaceDeactivate();
        inPlace->Release();
    }
    auto* site = new GuardSite(containerSite, unitWindow);
    containerSite->Release();
    HRESULT hr = object->SetClientSite(site);
    RECT r{};
    if (controlWindow) GetClientRect(controlWindow, &r);
    object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, SUCCEEDED(hr) ? site : containerSite, 0, controlWindow, &r);
    site->Release();
    object->Release();
    return SUCCEEDED(hr);
}

void AmbientChanged(IWebBrowser2* browser)
{
    IOleControl* control = nullptr;
    if (FAILED(browser->QueryInterface(IID_IOleControl, reinterpret_cast<void**>(&control))) || !control) return;
    control->OnAmbientPropertyChange(DISPID_AMBIENT_DLCONTROL);
    control->Release();
}

}  // namespace

class BrowserGuard {
public:
    IWebBrowser2* browser = nullptr;     // borrowed: the unit's
    IConnectionPoint* events = nullptr;  // owned reference
    EventSink* sink = nullptr;           // owned reference
    DWORD cookie = 0;
};

bool GuardedViewerMayOpen(const wchar_t* address)
{
    return address && (_wcsnicmp(address, L"http:", 5) == 0 || _wcsnicmp(address, L"https:", 6) == 0);
}

BrowserGuard* GuardBrowser(IWebBrowser2* browser, IUnknown* containerHost, HWND unitWindow)
{
    if (!browser) return nullptr;
    auto* answers = new AmbientAnswers(unitWindow);
    if (!AddAmbientProperties(containerHost, answers)) InterposeSite(browser, unitWindow);
    answers->Release();
    AmbientChanged(browser);

    auto* guard = new BrowserGuard;
    guard->browser = browser;
    guard->sink = new EventSink(unitWindow);
    IConnectionPointContainer* points = nullptr;
    if (FAILED(browser->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points))) || !points)
        return guard;
    if (SUCCEEDED(points->FindConnectionPoint(kDiidWebBrowserEvents2, &guard->events)) && guard->events &&
        FAILED(guard->events->Advise(guard->sink, &guard->cookie)))
        guard->cookie = 0;
    points->Release();
    return guard;
}

void UnguardBrowser(BrowserGuard* guard)
{
    if (!guard) return;
    if (guard->events) {
        if (guard->cookie) guard->events->Unadvise(guard->cookie);
        guard->events->Release();
    }
    guard->sink->Release();
    delete guard;
}

void AllowOwnNavigation(BrowserGuard* guard, const std::wstring& address)
{
    if (guard) guard->sink->ownAddress = address;
}

void BrowserGuardVisibilityChanged(BrowserGuard* guard)
{
    if (guard) AmbientChanged(guard->browser);
}
