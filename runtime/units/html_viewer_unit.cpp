#include "runtime/units/html_viewer_unit.h"

#include "runtime/core/facility_libraries.h"
#include "runtime/core/gbk_wide.h"
#include "runtime/core/system_libraries.h"
#include "runtime/forms/input_filter.h"
#include "runtime/units/browser_guard.h"
#include "runtime/units/property_rules.h"
#include "runtime/units/unit.h"
#include "runtime/units/unit_data.h"

#include <exdisp.h>
#include <ole2.h>

namespace {

constexpr wchar_t kHostClass[] = L"_ZR_HtmlViewer";
constexpr wchar_t kBrowserClsid[] = L"{8856F961-340A-11D0-A96B-00C04FD705A2}";
constexpr UINT kBrowserControlId = 0xE900;
const IID kIidWebBrowser2 = {0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};
constexpr int kZoomCommand = 19;                                           // OLECMDID_ZOOM
constexpr int kExecDontPromptUser = 2;                                     // OLECMDEXECOPT_DONTPROMPTUSER
const char kPreviewPrefix[] = "\xcd\xf8\xd2\xb3\xb5\xd8\xd6\xb7\xa3\xba";  // 网页地址：

// The control container: atl.dll's window class, bound by name on first use.
using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);

struct ControlHost {
    AtlAxWinInitFn init = nullptr;
    AtlAxGetControlFn getControl = nullptr;
    AtlAxGetControlFn getHost = nullptr;  // AtlAxGetHost: the container's object for a control window
    bool ready = false;
    bool loaded = false;
};

ControlHost gHost;
// Control windows of the container alive now: their window procedure is
// atl.dll's, so the library stays while one exists.
int gLiveControls = 0;

// The exit sequence has freed the library: bind it afresh if a viewer is
// created after that.
void ForgetControlHost() { gHost = ControlHost{}; }
bool ControlHostInUse() { return gLiveControls > 0; }

const ControlHost& Host()
{
    if (gHost.loaded) return gHost;
    gHost.loaded = true;
    // The system's own container, from the system folder only.
    auto atl = static_cast<HMODULE>(LoadSystemLibrary(L"atl.dll"));
    if (!atl) return gHost;
    // AtlAxWinInit registers the container's classes with atl.dll's own
    // procedure (the licensed-control class only in some versions).
    KeepFacilityLibrary(atl, ForgetControlHost, ControlHostInUse, {L"AtlAxWin", L"AtlAxWinLic"});
    gHost.init = reinterpret_cast<AtlAxWinInitFn>(GetProcAddress(atl, "AtlAxWinInit"));
    gHost.getControl = reinterpret_cast<AtlAxGetControlFn>(GetProcAddress(atl, "AtlAxGetControl"));
    gHost.getHost = reinterpret_cast<AtlAxGetControlFn>(GetProcAddress(atl, "AtlAxGetHost"));
    gHost.ready = gHost.init && gHost.getControl && gHost.init();
    return gHost;
}

class Bstr {
public:
    explicit Bstr(const std::wstring& s) : b_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
    Bstr() = default;
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR Get() const { return b_; }
    BSTR* Out() { return &b_; }
    std::string ToGbk() const { return b_ ? WideToGbk(std::wstring_view(b_, SysStringLen(b_))) : std::string(); }

private:
    BSTR b_ = nullptr;
};

class HtmlViewerUnit final : public Unit {
public:
    HtmlViewerUnit(WindowId w, UnitId u) : Unit(w, u, kUnitTypeHtmlViewer) {}
    ~HtmlViewerUnit() override { ReleaseBrowser(); }

    bool Create(const uint8_t* data, uint32_t size, uint32_t style, HWND parent, uint32_t id, int x, int y, int cx,
                int cy, bool preview)
    {
        if (!ReadHtmlViewerData(data, size, data_)) return false;
        preview_ = preview;
        if (!EnsureWindowClass(kHostClass, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)))) return false;
        HWND hwnd =
            CreateWindowExW(0, kHostClass, L"", style | WS_CHILD | WS_CLIPSIBLINGS, x, y, cx, cy, parent,
                            reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), GetModuleHandleW(nullptr), nullptr);
        if (!hwnd) return false;
        Attach(hwnd);
        if (!CreateBrowser()) return false;
        if (data_.offline) browser_->put_Offline(VARIANT_TRUE);
        if (data_.silent) ApplySilent();
        data_.fontSize = ClampRange(static_cast<int32_t>(data_.fontSize), 0, 4);
        ApplyZoom();
        if (!data_.address.empty()) Navigate();
        return true;
    }

    int32_t SetProperty(int32_t k, const UnitPropertyValue& v) override
    {
        switch (k) {
        case 0:
            data_.fontSize = ClampRange(ValueInt(v), 0, 4);
            ApplyZoom();
            return 0;
        case 1:
            data_.offline = v.low != 0;
            if (browser_) browser_->put_Offline(data_.offline ? VARIANT_TRUE : VARIANT_FALSE);
            return 0;
        case 2:
            data_.silent = v.low != 0;
            ApplySilent();
            return 0;
        case 3:
            data_.address = ValueText(v);
            Navigate();
            return 0;
        case 6:
            if (preview_) {
                data_.previewInDesign = v.low != 0;
                Navigate();
            }
            return 0;
        default:
            return 0;
        }
    }

    bool GetProperty(int32_t k, UnitPropertyValue& out) override
    {
        switch (k) {
        case 0:
            ResultInt(data_.fontSize, out);
            return true;
        case 1:
        case 2: {
            VARIANT_BOOL b = VARIANT_FALSE;
            if (browser_) (k == 1 ? browser_->get_Offline(&b) : browser_->get_Silent(&b));
            ResultInt(b ? 1 : 0, out);
            return true;
        }
        case 3:
        case 5: {
            Bstr s;
            if (browser_) (k == 3 ? browser_->get_LocationURL(s.Out()) : browser_->get_LocationName(s.Out()));
            std::string text = s.ToGbk();
            // Before any page has loaded the control knows no address yet.
            if (k == 3 && text.empty()) text = data_.address;
            ResultText(text, out);
            return true;
        }
        case 4:
            ResultText(statusText_, out);
            return true;
        case 6:
            ResultInt(data_.previewInDesign, out);
            return true;
        default:
            return false;
        }
    }

    std::vector<uint8_t> CurrentData() override { return WriteHtmlViewerData(data_); }

    // The browser is an in-place object: it gets the first look at every key
    // for a window inside the viewer, before the window's own translation.
    // S_OK means it took the key (Tab moving through its page, the page's own
    // shortcuts); S_FALSE leaves the key to the window (Tab then leaves the
    // viewer).
    bool TranslateKey(MSG* msg) override
    {
        if (!browser_ || !IsWindowVisible(hwnd_)) return false;
        IOleInPlaceActiveObject* active = nullptr;
        if (FAILED(browser_->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(&active))) || !active)
            return false;
        const HRESULT hr = active->TranslateAccelerator(msg);
        active->Release();
        return hr == S_OK;
    }

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override
    {
        if (msg == WM_SETFOCUS && browser_) {
            // Reached by Tab (or given the focus): the focus goes on into the
            // browser, made UI-active, so that its keys work from here.
            const LRESULT result = CallOriginal(msg, wp, lp);
            UiActivate();
            return result;
        }
        if (msg == WM_SIZE && control_) {
            MoveWindow(control_, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
        } else if (msg == WM_WINDOWPOSCHANGED &&
                   (reinterpret_cast<const WINDOWPOS*>(lp)->flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW))) {
            BrowserGuardVisibilityChanged(guard_);
        } else if (msg == WM_DESTROY) {
            ReleaseBrowser();
        } else if (msg == WM_NCDESTROY && control_) {
            // The control's window (a child) is gone by now.
            control_ = nullptr;
            --gLiveControls;
        }
        return CallOriginal(msg, wp, lp);
    }

private:
    bool CreateBrowser()
    {
        const ControlHost& host = Host();
        if (!host.ready) return false;
        RECT r;
        GetClientRect(hwnd_, &r);
        control_ = CreateWindowExW(0, L"AtlAxWin", kBrowserClsid, WS_CHILD | WS_VISIBLE, 0, 0, r.right, r.bottom, hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<uintptr_t>(kBrowserControlId)),
                                   GetModuleHandleW(nullptr), nullptr);
        if (!control_) return false;
        ++gLiveControls;
        IUnknown* unknown = nullptr;
        if (FAILED(host.getControl(control_, &unknown)) || !unknown) return false;
        HRESULT hr = unknown->QueryInterface(kIidWebBrowser2, reinterpret_cast<void**>(&browser_));
        unknown->Release();
        if (FAILED(hr) || !browser_) return false;
        // Before the first navigation: the address may come from the network.
        IUnknown* container = nullptr;
        if (host.getHost && FAILED(host.getHost(control_, &container))) container = nullptr;
        guard_ = GuardBrowser(browser_, container, hwnd_);
        if (container) container->Release();
        return true;
    }

    void UiActivate()
    {
        IOleObject* object = nullptr;
        if (FAILED(browser_->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object))) || !object) return;
        IOleClientSite* site = nullptr;  // the container's site for the control
        object->GetClientSite(&site);
        RECT r;
        GetClientRect(control_, &r);
        // Reached by Tab, the browser is told of the key: it then starts at
        // its page's first element (with Shift, its last).
        object->DoVerb(OLEIVERB_UIACTIVATE, const_cast<MSG*>(NavigationKey()), site, 0, control_, &r);
        if (site) site->Release();
        object->Release();
        HWND focus = GetFocus();
        if (IsWindow(control_) && (focus == hwnd_ || !IsChild(hwnd_, focus))) SetFocus(control_);
    }

    void ReleaseBrowser()
    {
        UnguardBrowser(guard_);
        guard_ = nullptr;
        if (browser_) {
            browser_->Release();
            browser_ = nullptr;
        }
    }

    // What a silent control keeps from the user is the control's business.
    void ApplySilent()
    {
        if (browser_) browser_->put_Silent(data_.silent ? VARIANT_TRUE : VARIANT_FALSE);
    }

    void ApplyZoom()
    {
        if (!browser_) return;
        VARIANT in;
        VariantInit(&in);
        in.vt = VT_I4;
        in.lVal = static_cast<LONG>(data_.fontSize);
        browser_->ExecWB(static_cast<OLECMDID>(kZoomCommand), static_cast<OLECMDEXECOPT>(kExecDontPromptUser), &in,
                         nullptr);
    }

    void Navigate()
    {
        if (!browser_) return;
        std::string address = data_.address;
        // In design-time preview without PreviewInDesignMode, a page naming the
        // address stands in for opening it.
        const bool ownPage = preview_ && !data_.previewInDesign;
        if (ownPage) address = std::string("about:") + kPreviewPrefix + data_.address;
        const std::wstring wide = GbkToWide(address);
        AllowOwnNavigation(guard_, ownPage ? wide : std::wstring());
        Bstr url(wide);
        VARIANT flags, empty;
        VariantInit(&flags);
        VariantInit(&empty);
        // The viewer offers no way back, so each address replaces the last in
        // the browser's history instead of adding to it: a program that sets
        // the address thousands of times would otherwise grow that list for
        // the rest of its run.
        flags.vt = VT_I4;
        flags.lVal = navNoHistory;
        browser_->Navigate(url.Get(), &flags, &empty, &empty, &empty);
    }

    HtmlViewerData data_;
    HWND control_ = nullptr;           // child: the control container's window
    IWebBrowser2* browser_ = nullptr;  // owned reference
    BrowserGuard* guard_ = nullptr;    // owned
    bool preview_ = false;
    std::string statusText_;
};

LiveUnit* CreateHtmlViewer(const uint8_t* data, uint32_t size, uint32_t style, void* parent, uint32_t controlId, void*,
                           int32_t left, int32_t top, int32_t width, int32_t height, WindowId windowId, UnitId unitId,
                           uint32_t, uint32_t preview)
{
    auto* unit = new HtmlViewerUnit(windowId, unitId);
    if (!unit->Create(data, size, style, static_cast<HWND>(parent), controlId, left, top, width, height,
                      preview != 0)) {
        if (HWND hwnd = unit->Hwnd()) {
            unit->SuppressDestructionNotice();
            DestroyWindow(hwnd);  // the unit deletes itself with its window
        } else {
            delete unit;
        }
        return nullptr;
    }
    return unit;
}

}  // namespace

UnitOperation HtmlViewerInterface(int32_t code) { return CommonUnitOperation(code, &CreateHtmlViewer); }
