// The HTML viewer hosts the system's web browser control, stays hidden as
// loaded, and navigates to its address: the browser's GET reaches a loopback
// server. Shown, it is worked from the keyboard: Tab goes into the browser,
// through its page, and out again. Hidden, it opens only web addresses and
// runs nothing a page asks for.
#include "runtime/com/com_ptr.h"
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

#include <string>
#include <vector>

using namespace unit_test;

namespace {

constexpr UnitId kViewer = 0x16011EE8;
constexpr UnitId kBoxBefore = 0x16011EE9;
constexpr UnitId kButtonAfter = 0x16011EEA;

// The viewer's browser, or empty.
ComPtr<IWebBrowser2> ViewerBrowser(HWND host)
{
    using GetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);
    HMODULE atl = GetModuleHandleW(L"atl.dll");  // loaded by the viewer
    auto getControl = atl ? reinterpret_cast<GetControlFn>(GetProcAddress(atl, "AtlAxGetControl")) : nullptr;
    ComPtr<IUnknown> control;
    ComPtr<IWebBrowser2> browser;
    if (getControl && SUCCEEDED(getControl(GetDlgItem(host, 0xE900), control.Put())) && control)
        control->QueryInterface(IID_IWebBrowser2, browser.PutVoid());
    return browser;
}

// The browser's HTML document, or empty when it has none (no HTML engine).
ComPtr<IHTMLDocument2> ViewerDocument(HWND host)
{
    ComPtr<IWebBrowser2> browser = ViewerBrowser(host);
    ComPtr<IDispatch> document;
    ComPtr<IHTMLDocument2> html;
    if (browser && SUCCEEDED(browser->get_Document(document.Put())) && document)
        document->QueryInterface(IID_IHTMLDocument2, html.PutVoid());
    return html;
}

// The text of a BSTR that the caller owned, which is freed.
std::wstring Take(BSTR text)
{
    std::wstring taken = text ? text : L"";
    SysFreeString(text);
    return taken;
}

std::wstring LocationOf(HWND host)
{
    ComPtr<IWebBrowser2> browser = ViewerBrowser(host);
    BSTR text = nullptr;
    return Take(browser && SUCCEEDED(browser->get_LocationURL(&text)) ? text : nullptr);
}

// Whether the browser has rendered its page: a document with a body that
// says it is complete (Wine without Wine Gecko fetches but never gets this far).
bool PageRendered(HWND host)
{
    ComPtr<IHTMLDocument2> html = ViewerDocument(host);
    ComPtr<IHTMLElement> body;
    BSTR state = nullptr;
    return html && SUCCEEDED(html->get_body(body.Put())) && body && SUCCEEDED(html->get_readyState(&state)) &&
           Take(state) == L"complete";
}

void SetAddress(const std::string& address)
{
    WriteUnitProperty(kWindowId, kViewer, 8 + 3, -1, reinterpret_cast<uintptr_t>(address.c_str()), 0);
}

// The id of the page element that has the focus, or "" when the browser has
// no HTML document to ask (no HTML engine) or nothing in it has the focus.
std::wstring ActiveElementId(HWND host)
{
    ComPtr<IHTMLDocument2> html = ViewerDocument(host);
    ComPtr<IHTMLElement> active;
    BSTR text = nullptr;
    if (!html || FAILED(html->get_activeElement(active.Put())) || !active || FAILED(active->get_id(&text))) return L"";
    return Take(text);
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

    SetAddress(server.Url("/yy/song.mp3?x=1"));
    ASSERT_TRUE(PumpUntil([&] { return !server.Requests().empty(); }, 20000)) << "the browser sent no request";
    const LoopbackRequest request = server.Requests()[0];
    EXPECT_EQ(request.Method(), "GET");
    EXPECT_EQ(request.Target(), "/yy/song.mp3?x=1");
    EXPECT_FALSE(IsWindowVisible(host));
}

// A window with one viewer of these flags, at `html` served as /page.html
// (other addresses get no content): the viewer's window, or null on failure.
HWND OpenPage(LoopbackServer& server, std::string html, uint32_t flags = kUnitTabStop)
{
    server.SetRouter([html](const LoopbackRequest& request) {
        return LoopbackReply{request.Target() == "/page.html"
                                 ? LoopbackServer::Response(200, "OK", "Content-Type: text/html\r\n", html)
                                 : LoopbackServer::NoContent()};
    });
    HWND host = LoadTestWindow({kWindowUnitId, kUnitTypeWindow, 50, 50, 415, 220},
                               {{kViewer, kUnitTypeHtmlViewer, 10, 10, 300, 120, flags, {}}})
                    ? UnitWindow(kViewer)
                    : nullptr;
    if (!host) return ADD_FAILURE() << "the browser control could not be hosted", nullptr;
    SetAddress(server.Url("/page.html"));
    if (!PumpUntil([&] { return LocationOf(host) == Wide(server.Url("/page.html")); }, 20000))
        return ADD_FAILURE() << "the page was not opened", nullptr;
    return host;
}

// A page's script would fetch a second address, open a window and leave for
// a file, and its refresh would fetch a fourth: none of them happens.
TEST_F(HtmlViewerTest, HiddenViewerRunsNothingThePageAsksFor)
{
    LoopbackServer server;
    HWND host = OpenPage(server, "<html><head><meta http-equiv=\"refresh\" content=\"0;url=/refreshed\"></head>"
                                 "<body>page<script>new Image().src = '/second'; window.open('/opened');"
                                 "location.href = 'file:///C:/Windows/win.ini';</script></body></html>");
    ASSERT_NE(host, nullptr);
    if (!PumpUntil([&] { return PageRendered(host); }, 10000))
        GTEST_SKIP() << "the browser fetched the page but renders none here (Wine without Wine Gecko has no HTML "
                        "engine and runs no script): what a page may do is shown on Windows";
    Pump(3000);  // time for the script, the window and the refresh, had they run
    ASSERT_EQ(server.Requests().size(), 1u) << server.Requests().back().Target();
    EXPECT_EQ(LocationOf(host), Wide(server.Url("/page.html"))) << "the page stays; the file address was not opened";
}

// Hidden, the viewer goes only to web addresses; shown, it keeps the
// browser's own rules. The viewer's address stands in for a document's
// navigation (the same BeforeNavigate2), which Wine without Wine Gecko cannot
// start; nor can it run a javascript: address, which Windows would.
TEST_F(HtmlViewerTest, HiddenViewerOpensOnlyWebAddresses)
{
    // The temporary folder's short name (where the volume keeps them) is ASCII.
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
    DWORD written = 0;
    ASSERT_TRUE(h != INVALID_HANDLE_VALUE && WriteFile(h, "<html><body>file</body></html>", 30, &written, nullptr));
    CloseHandle(h);

    for (bool shown : {false, true}) {
        SCOPED_TRACE(shown ? "shown" : "hidden");
        LoopbackServer server;
        HWND host = OpenPage(server, "<html><body>page</body></html>", kUnitTabStop | (shown ? kUnitVisible : 0u));
        ASSERT_NE(host, nullptr);
        const std::wstring page = Wide(server.Url("/page.html"));
        SetAddress(fileAddress);
        EXPECT_EQ(PumpUntil([&] { return LocationOf(host) != page; }, 3000), shown)
            << "now at " << testing::PrintToString(LocationOf(host));
        if (!shown) {
            SetAddress("javascript:location.href='" + server.Url("/from-script") + "'");
            Pump(1000);
            EXPECT_EQ(LocationOf(host), page);
            // An audio address is a download, not a document: it still goes out.
            SetAddress(server.Url("/song.mp3"));
            ASSERT_TRUE(PumpUntil([&] { return server.Requests().size() >= 2; }, 20000)) << "no request for the audio";
            Pump(500);
            ASSERT_EQ(server.Requests().size(), 2u) << server.Requests().back().Target();
            EXPECT_EQ(server.Requests()[1].Target(), "/song.mp3");
        }
        UnloadTestWindow();
    }
    DeleteFileW(file.c_str());
}

// The browser reads what its documents may do from its client site's ambient
// properties (IDispatch), reached from any site interface it holds: from each
// of them the hidden viewer's site holds scripts, Java and controls back.
TEST_F(HtmlViewerTest, HiddenViewersSiteHoldsDocumentsBackFromEachOfItsInterfaces)
{
    LoopbackServer server;
    ComPtr<IWebBrowser2> browser = ViewerBrowser(OpenPage(server, "<html><body>page</body></html>"));
    ComPtr<IOleObject> object;
    ComPtr<IOleClientSite> site;
    ComPtr<IUnknown> identity;
    ASSERT_TRUE(browser);
    ASSERT_EQ(browser->QueryInterface(IID_IOleObject, object.PutVoid()), S_OK);
    ASSERT_EQ(object->GetClientSite(site.Put()), S_OK);
    ASSERT_TRUE(site);
    ASSERT_EQ(site->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);

    constexpr LONG kHeldBack = DLCTL_NO_SCRIPTS | DLCTL_NO_JAVA | DLCTL_NO_RUNACTIVEXCTLS | DLCTL_NO_DLACTIVEXCTLS;
    const std::pair<const IID&, const char*> interfaces[] = {
        {IID_IOleClientSite, "IOleClientSite"},       {IID_IOleInPlaceSite, "IOleInPlaceSite"},
        {IID_IOleInPlaceSiteEx, "IOleInPlaceSiteEx"}, {IID_IOleInPlaceSiteWindowless, "IOleInPlaceSiteWindowless"},
        {IID_IOleControlSite, "IOleControlSite"},     {IID_IDocHostUIHandler, "IDocHostUIHandler"},
        {IID_IServiceProvider, "IServiceProvider"},   {IID_IOleCommandTarget, "IOleCommandTarget"}};
    for (const auto& [iid, name] : interfaces) {
        SCOPED_TRACE(name);
        ComPtr<IUnknown> start, back;
        ComPtr<IDispatch> ambient;
        if (FAILED(site->QueryInterface(iid, start.PutVoid())) || !start) {
            EXPECT_FALSE(IsEqualIID(iid, IID_IOleInPlaceSite)) << "the browser is in place: its site has this one";
            continue;
        }
        EXPECT_EQ(start->QueryInterface(IID_IUnknown, back.PutVoid()), S_OK);
        EXPECT_EQ(back.Get(), identity.Get()) << "the same object as the client site";
        ASSERT_EQ(start->QueryInterface(IID_IDispatch, ambient.PutVoid()), S_OK);
        VARIANT value{};  // VT_EMPTY
        DISPPARAMS none{};
        EXPECT_EQ(ambient->Invoke(DISPID_AMBIENT_DLCONTROL, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                  &value, nullptr, nullptr),
                  S_OK);
        EXPECT_EQ(value.vt == VT_I4 ? value.lVal & kHeldBack : -1, kHeldBack) << "a VT_I4 with these bits";
        VariantClear(&value);
    }
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
    SetAddress(server.Url("/page.html"));
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
