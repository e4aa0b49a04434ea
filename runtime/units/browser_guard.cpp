#include "runtime/units/browser_guard.h"

#include <docobj.h>
#include <exdispid.h>
#include <mshtmdid.h>
#include <mshtmhst.h>
#include <ocidl.h>
#include <olectl.h>
#include <servprov.h>

#include <initializer_list>
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

// The interface `iid` of the container's site, or null where it has none.
template <class Interface> Interface* SiteInterface(IUnknown* site, REFIID iid)
{
    void* out = nullptr;
    if (FAILED(site->QueryInterface(iid, &out))) out = nullptr;
    return static_cast<Interface*>(out);
}

// The runtime's own client site for a container that offers no way to add
// ambient properties: it answers the download-control ambient property and
// hands everything else to the container's site. It is one COM object: the
// browser asks its site for the in-place, control and host interfaces and
// may ask any of them for IUnknown or IDispatch (ambient properties are read
// through the site's IDispatch), so each of those interfaces is this
// object's own, passing its calls on to the container site's same interface,
// and offered only where the container's site offers it. Other interfaces of
// the container's site are not offered: one of them would lead back to the
// container's own site, whose ambient properties let documents do anything.
class GuardSite final : public ComObject<IOleClientSite, IDispatch, IOleInPlaceSiteWindowless, IOleControlSite,
                                         IDocHostUIHandler, IServiceProvider, IOleCommandTarget> {
public:
    GuardSite(IOleClientSite* containerSite, HWND unitWindow)
        : site_(containerSite), ambient_(SiteInterface<IDispatch>(containerSite, IID_IDispatch)),
          inPlace_(SiteInterface<IOleInPlaceSite>(containerSite, IID_IOleInPlaceSite)),
          inPlaceEx_(SiteInterface<IOleInPlaceSiteEx>(containerSite, IID_IOleInPlaceSiteEx)),
          windowless_(SiteInterface<IOleInPlaceSiteWindowless>(containerSite, IID_IOleInPlaceSiteWindowless)),
          control_(SiteInterface<IOleControlSite>(containerSite, IID_IOleControlSite)),
          host_(SiteInterface<IDocHostUIHandler>(containerSite, IID_IDocHostUIHandler)),
          services_(SiteInterface<IServiceProvider>(containerSite, IID_IServiceProvider)),
          commands_(SiteInterface<IOleCommandTarget>(containerSite, IID_IOleCommandTarget)), unitWindow_(unitWindow)
    {
        site_->AddRef();
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
            *out = static_cast<IOleClientSite*>(this);
        } else if (iid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
        } else if ((iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) && inPlace_) {
            *out = static_cast<IOleInPlaceSiteWindowless*>(this);
        } else if (iid == IID_IOleInPlaceSiteEx && inPlace_ && inPlaceEx_) {
            *out = static_cast<IOleInPlaceSiteWindowless*>(this);
        } else if (iid == IID_IOleInPlaceSiteWindowless && inPlace_ && inPlaceEx_ && windowless_) {
            *out = static_cast<IOleInPlaceSiteWindowless*>(this);
        } else if (iid == IID_IOleControlSite && control_) {
            *out = static_cast<IOleControlSite*>(this);
        } else if (iid == IID_IDocHostUIHandler && host_) {
            *out = static_cast<IDocHostUIHandler*>(this);
        } else if (iid == IID_IServiceProvider && services_) {
            *out = static_cast<IServiceProvider*>(this);
        } else if (iid == IID_IOleCommandTarget && commands_) {
            *out = static_cast<IOleCommandTarget*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return site_->SaveObject(); }
    STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** out) override
    {
        return site_->GetMoniker(assign, which, out);
    }
    STDMETHODIMP GetContainer(IOleContainer** out) override { return site_->GetContainer(out); }
    STDMETHODIMP ShowObject() override { return site_->ShowObject(); }
    STDMETHODIMP OnShowWindow(BOOL show) override { return site_->OnShowWindow(show); }
    STDMETHODIMP RequestNewObjectLayout() override { return site_->RequestNewObjectLayout(); }

    // IDispatch: the container's ambient properties, with the one added.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        if (ambient_) return ambient_->GetTypeInfoCount(count);
        return ComObject::GetTypeInfoCount(count);
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override
    {
        if (ambient_) return ambient_->GetTypeInfo(index, lcid, info);
        return ComObject::GetTypeInfo(index, lcid, info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override
    {
        if (ambient_) return ambient_->GetIDsOfNames(iid, names, count, lcid, ids);
        return ComObject::GetIDsOfNames(iid, names, count, lcid, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* error, UINT* argError) override
    {
        if (AnswerDownloadControl(unitWindow_, id, flags, result)) return S_OK;
        if (!ambient_) return DISP_E_MEMBERNOTFOUND;
        return ambient_->Invoke(id, iid, lcid, flags, params, result, error, argError);
    }

    // IOleWindow, IOleInPlaceSite, IOleInPlaceSiteEx, IOleInPlaceSiteWindowless
    STDMETHODIMP GetWindow(HWND* window) override { return inPlace_->GetWindow(window); }
    STDMETHODIMP ContextSensitiveHelp(BOOL enter) override { return inPlace_->ContextSensitiveHelp(enter); }
    STDMETHODIMP CanInPlaceActivate() override { return inPlace_->CanInPlaceActivate(); }
    STDMETHODIMP OnInPlaceActivate() override { return inPlace_->OnInPlaceActivate(); }
    STDMETHODIMP OnUIActivate() override { return inPlace_->OnUIActivate(); }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override
    {
        return inPlace_->GetWindowContext(frame, document, position, clip, info);
    }
    STDMETHODIMP Scroll(SIZE extent) override { return inPlace_->Scroll(extent); }
    STDMETHODIMP OnUIDeactivate(BOOL undoable) override { return inPlace_->OnUIDeactivate(undoable); }
    STDMETHODIMP OnInPlaceDeactivate() override { return inPlace_->OnInPlaceDeactivate(); }
    STDMETHODIMP DiscardUndoState() override { return inPlace_->DiscardUndoState(); }
    STDMETHODIMP DeactivateAndUndo() override { return inPlace_->DeactivateAndUndo(); }
    STDMETHODIMP OnPosRectChange(LPCRECT position) override { return inPlace_->OnPosRectChange(position); }
    STDMETHODIMP OnInPlaceActivateEx(BOOL* noRedraw, DWORD flags) override
    {
        return inPlaceEx_->OnInPlaceActivateEx(noRedraw, flags);
    }
    STDMETHODIMP OnInPlaceDeactivateEx(BOOL noRedraw) override { return inPlaceEx_->OnInPlaceDeactivateEx(noRedraw); }
    STDMETHODIMP RequestUIActivate() override { return inPlaceEx_->RequestUIActivate(); }
    STDMETHODIMP CanWindowlessActivate() override { return windowless_->CanWindowlessActivate(); }
    STDMETHODIMP GetCapture() override { return windowless_->GetCapture(); }
    STDMETHODIMP SetCapture(BOOL capture) override { return windowless_->SetCapture(capture); }
    STDMETHODIMP GetFocus() override { return windowless_->GetFocus(); }
    STDMETHODIMP SetFocus(BOOL focus) override { return windowless_->SetFocus(focus); }
    STDMETHODIMP GetDC(LPCRECT rect, DWORD flags, HDC* dc) override { return windowless_->GetDC(rect, flags, dc); }
    STDMETHODIMP ReleaseDC(HDC dc) override { return windowless_->ReleaseDC(dc); }
    STDMETHODIMP InvalidateRect(LPCRECT rect, BOOL erase) override { return windowless_->InvalidateRect(rect, erase); }
    STDMETHODIMP InvalidateRgn(HRGN region, BOOL erase) override { return windowless_->InvalidateRgn(region, erase); }
    STDMETHODIMP ScrollRect(INT dx, INT dy, LPCRECT scroll, LPCRECT clip) override
    {
        return windowless_->ScrollRect(dx, dy, scroll, clip);
    }
    STDMETHODIMP AdjustRect(LPRECT rect) override { return windowless_->AdjustRect(rect); }
    STDMETHODIMP OnDefWindowMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override
    {
        return windowless_->OnDefWindowMessage(msg, wp, lp, result);
    }

    // IOleControlSite
    STDMETHODIMP OnControlInfoChanged() override { return control_->OnControlInfoChanged(); }
    STDMETHODIMP LockInPlaceActive(BOOL lock) override { return control_->LockInPlaceActive(lock); }
    STDMETHODIMP GetExtendedControl(IDispatch** out) override { return control_->GetExtendedControl(out); }
    STDMETHODIMP TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) override
    {
        return control_->TransformCoords(himetric, container, flags);
    }
    STDMETHODIMP TranslateAccelerator(MSG* msg, DWORD modifiers) override
    {
        return control_->TranslateAccelerator(msg, modifiers);
    }
    STDMETHODIMP OnFocus(BOOL gotFocus) override { return control_->OnFocus(gotFocus); }
    STDMETHODIMP ShowPropertyFrame() override { return control_->ShowPropertyFrame(); }

    // IDocHostUIHandler
    STDMETHODIMP ShowContextMenu(DWORD id, POINT* at, IUnknown* target, IDispatch* element) override
    {
        return host_->ShowContextMenu(id, at, target, element);
    }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override { return host_->GetHostInfo(info); }
    STDMETHODIMP ShowUI(DWORD id, IOleInPlaceActiveObject* active, IOleCommandTarget* target, IOleInPlaceFrame* frame,
                        IOleInPlaceUIWindow* document) override
    {
        return host_->ShowUI(id, active, target, frame, document);
    }
    STDMETHODIMP HideUI() override { return host_->HideUI(); }
    STDMETHODIMP UpdateUI() override { return host_->UpdateUI(); }
    STDMETHODIMP EnableModeless(BOOL enable) override { return host_->EnableModeless(enable); }
    STDMETHODIMP OnDocWindowActivate(BOOL activate) override { return host_->OnDocWindowActivate(activate); }
    STDMETHODIMP OnFrameWindowActivate(BOOL activate) override { return host_->OnFrameWindowActivate(activate); }
    STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override
    {
        return host_->ResizeBorder(border, window, frame);
    }
    STDMETHODIMP TranslateAccelerator(LPMSG msg, const GUID* group, DWORD command) override
    {
        return host_->TranslateAccelerator(msg, group, command);
    }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD reserved) override
    {
        return host_->GetOptionKeyPath(key, reserved);
    }
    STDMETHODIMP GetDropTarget(IDropTarget* target, IDropTarget** out) override
    {
        return host_->GetDropTarget(target, out);
    }
    STDMETHODIMP GetExternal(IDispatch** out) override { return host_->GetExternal(out); }
    STDMETHODIMP TranslateUrl(DWORD translate, LPWSTR url, LPWSTR* out) override
    {
        return host_->TranslateUrl(translate, url, out);
    }
    STDMETHODIMP FilterDataObject(IDataObject* data, IDataObject** out) override
    {
        return host_->FilterDataObject(data, out);
    }

    // IServiceProvider
    STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** out) override
    {
        return services_->QueryService(service, iid, out);
    }

    // IOleCommandTarget
    STDMETHODIMP QueryStatus(const GUID* group, ULONG count, OLECMD commands[], OLECMDTEXT* text) override
    {
        return commands_->QueryStatus(group, count, commands, text);
    }
    STDMETHODIMP Exec(const GUID* group, DWORD command, DWORD option, VARIANT* in, VARIANT* out) override
    {
        return commands_->Exec(group, command, option, in, out);
    }

private:
    ~GuardSite() override
    {
        for (IUnknown* p : std::initializer_list<IUnknown*>{commands_, services_, host_, control_, windowless_,
                                                            inPlaceEx_, inPlace_, ambient_, site_})
            if (p) p->Release();
    }

    // Owned references to the container site's interfaces (null where it has
    // none; the method passing a call on is reached only through an interface
    // handed out, which needs the one it calls).
    IOleClientSite* site_;
    IDispatch* ambient_;  // the container's own ambient properties
    IOleInPlaceSite* inPlace_;
    IOleInPlaceSiteEx* inPlaceEx_;
    IOleInPlaceSiteWindowless* windowless_;
    IOleControlSite* control_;
    IDocHostUIHandler* host_;
    IServiceProvider* services_;
    IOleCommandTarget* commands_;
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
