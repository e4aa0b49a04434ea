// The HTML viewer hosts the system's web browser control, stays hidden as
// loaded, and navigates to its address: the browser's GET reaches a loopback
// server. Shown, it is worked from the keyboard: Tab goes into the browser,
// through its page, and out again. Hidden, it opens only web addresses and
// runs nothing a page asks for.
#include "runtime/forms/unit_properties.h"
#include "runtime/units/unit_data.h"
#include "tests/app/web/loopback_server.h"
#include "tests/runtime/units/window_fixture.h"
#include "tests/support/key_input.h"

#include <gtest/gtest.h>

#include <exdisp.h>
#include <mshtmdid.h>
#include <mshtmhst.h>
#include <mshtml.h>
#include <olectl.h>

#include <string>
#include <vector>

using namespace unit_test;

namespace {

constexpr UnitId kViewer = 0x16011EE8;
constexpr UnitId kBoxBefore = 0x16011EE9;
constexpr UnitId kButtonAfter = 0x16011EEA;

// The viewer's browser (a reference the caller releases), or null.
IWebBrowser2* ViewerBrowser(HWND host)
{
    using GetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);
    HMODULE atl = GetModuleHandleW(L"atl.dll");  // loaded by the viewer
    auto getControl = atl ? reinterpret_cast<GetControlFn>(GetProcAddress(atl, "AtlAxGetControl")) : nullptr;
    IUnknown* control = nullptr;
    if (!getControl || FAILED(getControl(GetDlgItem(host, 0xE900), &control)) || !control) return nullptr;
    IWebBrowser2* browser = nullptr;
    control->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser));
    control->Release();
    return browser;
}

std::wstring LocationOf(HWND host)
{
    std::wstring location;
    if (IWebBrowser2* browser = ViewerBrowser(host)) {
        BSTR text = nullptr;
        if (SUCCEEDED(browser->get_LocationURL(&text)) && text) location = text;
        SysFreeString(text);
        browser->Release();
    }
    return location;
}

// Whether the browser has rendered its page: an HTML document with a body
// that says it is complete (Wine without Wine Gecko fetches but never gets
// this far).
bool PageRendered(HWND host)
{
    IWebBrowser2* browser = ViewerBrowser(host);
    if (!browser) return false;
    IDispatch* document = nullptr;
    IHTMLDocument2* html = nullptr;
    IHTMLElement* body = nullptr;
    BSTR state = nullptr;
    bool rendered = SUCCEEDED(browser->get_Document(&document)) && document &&
                    SUCCEEDED(document->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&html))) &&
                    SUCCEEDED(html->get_body(&body)) && body && SUCCEEDED(html->get_readyState(&state)) && state &&
                    std::wstring(state) == L"complete";
    SysFreeString(state);
    for (IUnknown* p : std::initializer_list<IUnknown*>{body, html, document, browser})
        if (p) p->Release();
    return rendered;
}

void SetAddress(const std::string& address)
{
    WriteUnitProperty(kWindowId, kViewer, 8 + 3, -1, reinterpret_cast<uintptr_t>(address.c_str()), 0);
}

// The id of the page element that has the focus, or "" when the browser has
// no HTML document to ask (no HTML engine) or nothing in it has the focus.
std::wstring ActiveElementId(HWND host)
{
    using GetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);
    HMODULE atl = LoadLibraryExW(L"atl.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    auto getControl = atl ? reinterpret_cast<GetControlFn>(GetProcAddress(atl, "AtlAxGetControl")) : nullptr;
    IUnknown* control = nullptr;
    if (!getControl || FAILED(getControl(GetDlgItem(host, 0xE900), &control)) || !control) return L"";
    std::wstring id;
    IWebBrowser2* browser = nullptr;
    IDispatch* document = nullptr;
    IHTMLDocument2* html = nullptr;
    IHTMLElement* active = nullptr;
    BSTR text = nullptr;
    if (SUCCEEDED(control->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser))) &&
        SUCCEEDED(browser->get_Document(&document)) && document &&
        SUCCEEDED(document->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&html))) &&
        SUCCEEDED(html->get_activeElement(&active)) && active && SUCCEEDED(active->get_id(&text)) && text)
        id = text;
    SysFreeString(text);
    for (IUnknown* p : std::initializer_list<IUnknown*>{active, html, document, browser, control})
        if (p) p->Release();
    FreeLibrary(atl);
    return id;
}

bool FocusInside(HWND host)
{
    HWND focus = GetFocus();
    return focus && IsChild(host, focus);
}

class HtmlViewerTest : public ::testing::Test {
protected:
    void TearDown() override { UnloadTestWindow(); }
};

TEST_F(HtmlViewerTest, HiddenViewerNavigatesToItsAddress)
{
    LoopbackServer server;
    server.Push(LoopbackServer::NoContent());  // an audio address: nothing for the browser to play or save
    ASSERT_TRUE(LoadTestWindow({kWindowUnitId, kUnitTypeWindow, 50, 50, 415, 127},
                               {{kViewer, kUnitTypeHtmlViewer, 10, 10, 100, 40, kUnitTabStop, {}}}));
    HWND host = UnitWindow(kViewer);
    ASSERT_NE(host, nullptr) << "the browser control could not be hosted";
    EXPECT_FALSE(IsWindowVisible(host)) << "only the tab-stop flag: created hidden";
    EXPECT_NE(GetDlgItem(host, 0xE900), nullptr) << "the control's window";
    EXPECT_TRUE(server.Requests().empty()) << "no address, no navigation";

    const std::string address = server.Url("/yy/song.mp3?x=1");
    WriteUnitProperty(kWindowId, kViewer, 8 + 3, -1, reinterpret_cast<uintptr_t>(address.c_str()), 0);
    ASSERT_TRUE(PumpUntil([&] { return !server.Requests().empty(); }, 20000)) << "the browser sent no request";
    const LoopbackRequest request = server.Requests()[0];
    EXPECT_EQ(request.Method(), "GET");
    EXPECT_EQ(request.Target(), "/yy/song.mp3?x=1");
    EXPECT_FALSE(IsWindowVisible(host));
}

// A page that the network chose, opened in the hidden viewer: its script
// would fetch a second address, open a window and leave for a file, and its
// refresh would fetch a fourth. None of them happens; the page itself was
// fetched.
TEST_F(HtmlViewerTest, HiddenViewerRunsNothingThePageAsksFor)
{
    LoopbackServer server;
    server.SetRouter([](const LoopbackRequest& request) {
        if (request.Target() != "/page.html") return LoopbackReply{LoopbackServer::Response(200, "OK", "", "")};
        return LoopbackReply{LoopbackServer::Response(
            200, "OK", "Content-Type: text/html\r\n",
            "<html><head><meta http-equiv=\"refresh\" content=\"0;url=/refreshed\"></head><body>page"
            "<script>new Image().src = '/second'; window.open('/opened');"
            "location.href = 'file:///C:/Windows/win.ini';</script></body></html>")};
    });
    ASSERT_TRUE(LoadTestWindow({kWindowUnitId, kUnitTypeWindow, 50, 50, 415, 127},
                               {{kViewer, kUnitTypeHtmlViewer, 10, 10, 100, 40, kUnitTabStop, {}}}));
    HWND host = UnitWindow(kViewer);
    ASSERT_NE(host, nullptr) << "the browser control could not be hosted";
    const std::string page = server.Url("/page.html");
    SetAddress(page);
    ASSERT_TRUE(PumpUntil([&] { return !server.Requests().empty(); }, 20000)) << "the browser sent no request";
    if (!PumpUntil([&] { return PageRendered(host); }, 10000))
        GTEST_SKIP() << "the browser fetched the page but renders none here (Wine without Wine Gecko has no HTML "
                        "engine and runs no script): what a page may do is shown on Windows";
    Pump(3000);  // time for the script, the window and the refresh, had they run
    std::vector<std::string> targets;
    for (const LoopbackRequest& request : server.Requests()) targets.push_back(request.Target());
    EXPECT_EQ(targets, std::vector<std::string>{"/page.html"});
    EXPECT_EQ(LocationOf(host), Wide(page)) << "the page stays; the file address was not opened";
}

// Navigations the viewer's documents start go only to web addresses while
// the viewer is hidden; a shown viewer is a page for the user and keeps the
// browser's own rules. Under Wine the browser has no document to start one
// from (no Wine Gecko), so the viewer's own address stands in for it: the
// browser asks the same question (BeforeNavigate2) before either. A
// javascript: address needs the document's script engine, which Wine's
// browser lacks: it only takes the address as its location, whereas Windows
// would run it and fetch the address it names.
TEST_F(HtmlViewerTest, HiddenViewerOpensOnlyWebAddresses)
{
    // A user's temporary folder may have characters outside ASCII; its short
    // name (where the volume keeps short names) has none.
    wchar_t folder[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
    GetShortPathNameW(folder, folder, MAX_PATH);
    const std::wstring file = std::wstring(folder) + L"sl_viewer_page.html";
    std::string fileAddress = "file:///";
    for (wchar_t c : file) {
        if (c >= 0x80) GTEST_SKIP() << "the temporary folder has no address in plain ASCII here";
        fileAddress += c == L'\\' ? '/' : static_cast<char>(c);
    }
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, "<html><body>file</body></html>", 30, &written, nullptr);
    CloseHandle(h);

    const struct {
        uint32_t flags;
        bool opensFile;
    } cases[] = {{kUnitTabStop, false}, {kUnitVisible | kUnitTabStop, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.opensFile ? "shown" : "hidden");
        LoopbackServer server;
        server.SetRouter([](const LoopbackRequest& request) {
            const bool audio = request.Target() == "/song.mp3";
            return LoopbackReply{LoopbackServer::Response(
                200, "OK", audio ? "Content-Type: audio/mpeg\r\n" : "Content-Type: text/html\r\n",
                audio ? "ID3" : "<html><body>page</body></html>")};
        });
        ASSERT_TRUE(LoadTestWindow({kWindowUnitId, kUnitTypeWindow, 50, 50, 415, 220},
                                   {{kViewer, kUnitTypeHtmlViewer, 10, 10, 300, 120, c.flags, {}}}));
        HWND host = UnitWindow(kViewer);
        ASSERT_NE(host, nullptr) << "the browser control could not be hosted";
        const std::string page = server.Url("/page.html");
        SetAddress(page);
        ASSERT_TRUE(PumpUntil([&] { return LocationOf(host) == Wide(page); }, 20000)) << "the page was not opened";

        SetAddress(fileAddress);
        const bool opened = PumpUntil([&] { return LocationOf(host) != Wide(page); }, 3000);
        EXPECT_EQ(opened, c.opensFile) << "now at " << testing::PrintToString(LocationOf(host));
        if (c.opensFile) {
            UnloadTestWindow();
            continue;
        }
        SetAddress("javascript:location.href='" + server.Url("/from-script") + "'");
        Pump(1000);
        EXPECT_EQ(LocationOf(host), Wide(page));

        // The audio address is a download, not a document: it still goes out.
        SetAddress(server.Url("/song.mp3"));
        ASSERT_TRUE(PumpUntil([&] { return server.Requests().size() >= 2; }, 20000)) << "no request for the audio";
        Pump(500);
        std::vector<std::string> targets;
        for (const LoopbackRequest& request : server.Requests()) targets.push_back(request.Target());
        EXPECT_EQ(targets, (std::vector<std::string>{"/page.html", "/song.mp3"}));
        UnloadTestWindow();
    }
    DeleteFileW(file.c_str());
}

// The browser reads what its documents may do from its client site's
// ambient properties, through the site's IDispatch, and may reach that from
// any interface it got from the site (a site is one COM object: each of its
// interfaces leads back to the same IUnknown). Whichever site interface the
// hidden viewer's browser starts from, it finds scripts, Java and controls
// held back.
TEST_F(HtmlViewerTest, HiddenViewersSiteHoldsDocumentsBackFromEachOfItsInterfaces)
{
    ASSERT_TRUE(LoadTestWindow({kWindowUnitId, kUnitTypeWindow, 50, 50, 415, 127},
                               {{kViewer, kUnitTypeHtmlViewer, 10, 10, 100, 40, kUnitTabStop, {}}}));
    IWebBrowser2* browser = ViewerBrowser(UnitWindow(kViewer));
    ASSERT_NE(browser, nullptr) << "the browser control could not be hosted";
    IOleObject* object = nullptr;
    IOleClientSite* site = nullptr;
    IUnknown* identity = nullptr;
    ASSERT_EQ(browser->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object)), S_OK);
    browser->Release();
    ASSERT_EQ(object->GetClientSite(&site), S_OK);
    object->Release();
    ASSERT_NE(site, nullptr);
    ASSERT_EQ(site->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);

    constexpr LONG kHeldBack = DLCTL_NO_SCRIPTS | DLCTL_NO_JAVA | DLCTL_NO_RUNACTIVEXCTLS | DLCTL_NO_DLACTIVEXCTLS;
    const struct {
        const IID& iid;
        const char* name;
    } interfaces[] = {
        {IID_IOleClientSite, "IOleClientSite"},       {IID_IOleInPlaceSite, "IOleInPlaceSite"},
        {IID_IOleInPlaceSiteEx, "IOleInPlaceSiteEx"}, {IID_IOleInPlaceSiteWindowless, "IOleInPlaceSiteWindowless"},
        {IID_IOleControlSite, "IOleControlSite"},     {IID_IDocHostUIHandler, "IDocHostUIHandler"},
        {IID_IServiceProvider, "IServiceProvider"},   {IID_IOleCommandTarget, "IOleCommandTarget"}};
    for (const auto& i : interfaces) {
        SCOPED_TRACE(i.name);
        IUnknown* start = nullptr;
        if (FAILED(site->QueryInterface(i.iid, reinterpret_cast<void**>(&start))) || !start) {
            EXPECT_FALSE(IsEqualIID(i.iid, IID_IOleInPlaceSite)) << "the browser is in place: its site has this one";
            continue;
        }
        IUnknown* back = nullptr;
        IDispatch* ambient = nullptr;
        EXPECT_EQ(start->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&back)), S_OK);
        EXPECT_EQ(back, identity) << "the same object as the client site";
        ASSERT_EQ(start->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&ambient)), S_OK);
        VARIANT value;
        VariantInit(&value);
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        EXPECT_EQ(ambient->Invoke(DISPID_AMBIENT_DLCONTROL, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                  &value, nullptr, nullptr),
                  S_OK);
        EXPECT_EQ(value.vt, VT_I4);
        EXPECT_EQ(value.vt == VT_I4 ? value.lVal & kHeldBack : 0, kHeldBack);
        VariantClear(&value);
        for (IUnknown* p : std::initializer_list<IUnknown*>{ambient, back, start})
            if (p) p->Release();
    }
    identity->Release();
    site->Release();
}

TEST_F(HtmlViewerTest, TabGoesThroughAVisibleViewersPageBeforeLeavingIt)
{
    LoopbackServer server;
    server.Push(LoopbackServer::Response(200, "OK", "Content-Type: text/html\r\n",
                                         "<html><body><a id=a1 href=#1>one</a> <a id=a2 href=#2>two</a> "
                                         "<input id=f1 type=text></body></html>"));
    constexpr uint32_t kShown = kUnitVisible | kUnitTabStop;
    UnitSpec box{kBoxBefore, kUnitTypeEditBox, 10, 10, 100, 24, kShown, WriteEditBoxData({})};
    UnitSpec viewer{kViewer, kUnitTypeHtmlViewer, 10, 40, 300, 120, kShown, {}};
    UnitSpec button{kButtonAfter, kUnitTypeButton, 320, 10, 60, 24, kShown, WriteButtonData({})};
    box.tabOrder = 0, viewer.tabOrder = 1, button.tabOrder = 2;
    ASSERT_TRUE(LoadTestWindow({kWindowUnitId, kUnitTypeWindow, 50, 50, 415, 220}, {box, viewer, button}));
    HWND host = UnitWindow(kViewer);
    ASSERT_NE(host, nullptr) << "the browser control could not be hosted";
    const std::string address = server.Url("/page.html");
    WriteUnitProperty(kWindowId, kViewer, 8 + 3, -1, reinterpret_cast<uintptr_t>(address.c_str()), 0);
    ASSERT_TRUE(PumpUntil([&] { return !server.Requests().empty(); }, 20000)) << "the browser sent no request";
    Pump(500);
    SL_KEYS_OR_SKIP(BringToForeground(UnitWindow(0)));
    SetFocus(UnitWindow(kBoxBefore));
    Pump(100);

    // Into the viewer: the focus goes on into the browser, made active there.
    SL_KEYS_OR_SKIP(SendKeyChord(UnitWindow(0), {VK_TAB}));
    Pump(300);
    ASSERT_TRUE(FocusInside(host)) << "focus on " << GetFocus() << ", viewer " << host;
    // Through the page: the browser takes Tab while its page has more to
    // visit, and only then lets it leave the viewer.
    std::vector<std::wstring> visited;
    for (int presses = 0; presses < 8 && FocusInside(host); ++presses) {
        if (std::wstring id = ActiveElementId(host); !id.empty() && (visited.empty() || visited.back() != id))
            visited.push_back(id);
        SL_KEYS_OR_SKIP(SendKeyChord(UnitWindow(0), {VK_TAB}));
        Pump(300);
    }
    EXPECT_EQ(GetFocus(), UnitWindow(kButtonAfter)) << "Tab leaves the viewer for the next tab stop";
    if (visited.empty())
        GTEST_SKIP() << "the browser has no HTML engine here (Wine without Wine Gecko shows no page and takes no "
                        "key): its links and field cannot be visited; shown was that the focus goes into the "
                        "browser and that Tab leaves the viewer once the browser declines it";
    EXPECT_EQ(visited, (std::vector<std::wstring>{L"a1", L"a2", L"f1"}));
}

}  // namespace
