// Screen readers learn what the application's units are called through the
// platform's dynamic annotation: the address box the name of its label, the
// red cross that empties it a name and the push-button role.
#include "runtime/core/heap.h"
#include "runtime/forms/accessible_names.h"
#include "runtime/forms/unit_properties.h"
#include "sl_app_form.h"
#include "tests/runtime/units/window_fixture.h"

#include <gtest/gtest.h>

#include <initguid.h>
#include <oleacc.h>
#include <windows.h>

#include <string>
#include <vector>

using namespace unit_test;

namespace {

constexpr UnitId kEditBox = 0x16011EE7;
constexpr UnitId kPictureBox = 0x16011F16;
const char kAddressLabel[] = "\xcd\xf8\xd6\xb7\xa3\xba";       // 网址：
const char kClearName[] = "\xc7\xe5\xbf\xd5\xcd\xf8\xd6\xb7";  // 清空网址

// What the annotation service was told: one entry per property set.
struct Annotation {
    HWND hwnd;
    DWORD object, child;
    GUID property;
    std::wstring text;
    VARTYPE type;
    LONG number;
};

// Stands in for the platform's annotation service in this process
// (CoRegisterClassObject): Wine's keeps no annotations, so what a screen
// reader would read back is checked from outside the real program where the
// platform keeps them (tests/app/e2e).
class RecordingServices final : public IAccPropServices, public IClassFactory {
public:
    std::vector<Annotation> seen;
    std::vector<std::pair<HWND, GUID>> cleared;

    HRESULT WINAPI QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_IAccPropServices)
            *out = static_cast<IAccPropServices*>(this);
        else if (iid == IID_IClassFactory)
            *out = static_cast<IClassFactory*>(this);
        else
            return *out = nullptr, E_NOINTERFACE;
        return S_OK;
    }
    ULONG WINAPI AddRef() override { return 2; }
    ULONG WINAPI Release() override { return 1; }
    HRESULT WINAPI CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        return outer ? CLASS_E_NOAGGREGATION : QueryInterface(iid, out);
    }
    HRESULT WINAPI LockServer(BOOL) override { return S_OK; }

    HRESULT WINAPI SetHwndProp(HWND hwnd, DWORD object, DWORD child, MSAAPROPID property, VARIANT v) override
    {
        seen.push_back({hwnd, object, child, property, L"", v.vt, v.vt == VT_I4 ? v.lVal : 0});
        return S_OK;
    }
    HRESULT WINAPI SetHwndPropStr(HWND hwnd, DWORD object, DWORD child, MSAAPROPID property, LPCWSTR s) override
    {
        seen.push_back({hwnd, object, child, property, s ? s : L"", VT_BSTR, 0});
        return S_OK;
    }
    HRESULT WINAPI SetPropValue(const BYTE*, DWORD, MSAAPROPID, VARIANT) override { return E_NOTIMPL; }
    HRESULT WINAPI SetPropServer(const BYTE*, DWORD, const MSAAPROPID*, int, IAccPropServer*, AnnoScope) override
    {
        return E_NOTIMPL;
    }
    HRESULT WINAPI ClearProps(const BYTE*, DWORD, const MSAAPROPID*, int) override { return E_NOTIMPL; }
    HRESULT WINAPI SetHwndPropServer(HWND, DWORD, DWORD, const MSAAPROPID*, int, IAccPropServer*, AnnoScope) override
    {
        return E_NOTIMPL;
    }
    HRESULT WINAPI ClearHwndProps(HWND hwnd, DWORD, DWORD, const MSAAPROPID* properties, int count) override
    {
        for (int i = 0; i < count; ++i) cleared.push_back({hwnd, properties[i]});
        return S_OK;
    }
    HRESULT WINAPI ComposeHwndIdentityString(HWND, DWORD, DWORD, BYTE**, DWORD*) override { return E_NOTIMPL; }
    HRESULT WINAPI DecomposeHwndIdentityString(const BYTE*, DWORD, HWND*, DWORD*, DWORD*) override { return E_NOTIMPL; }
    HRESULT WINAPI SetHmenuProp(HMENU, DWORD, MSAAPROPID, VARIANT) override { return E_NOTIMPL; }
    HRESULT WINAPI SetHmenuPropStr(HMENU, DWORD, MSAAPROPID, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT WINAPI SetHmenuPropServer(HMENU, DWORD, const MSAAPROPID*, int, IAccPropServer*, AnnoScope) override
    {
        return E_NOTIMPL;
    }
    HRESULT WINAPI ClearHmenuProps(HMENU, DWORD, const MSAAPROPID*, int) override { return E_NOTIMPL; }
    HRESULT WINAPI ComposeHmenuIdentityString(HMENU, DWORD, BYTE**, DWORD*) override { return E_NOTIMPL; }
    HRESULT WINAPI DecomposeHmenuIdentityString(const BYTE*, DWORD, HMENU*, DWORD*) override { return E_NOTIMPL; }
};

class AccessibleNamesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(LoadFormBlock(kMainWindowForm, kMainWindowFormSize, kWindowId)); }
    void TearDown() override { UnloadTestWindow(); }
};

TEST_F(AccessibleNamesTest, AnnotationsNameTheUnitsWindows)
{
    // As the program does: the box named after its label's caption (read
    // from the form), the red cross as a button.
    auto label = reinterpret_cast<char*>(static_cast<uintptr_t>(ReadUnitProperty(kWindowId, 0x16011EE6, 8, -1)));
    ASSERT_STREQ(label, kAddressLabel);
    RecordingServices services;
    DWORD cookie = 0;
    ASSERT_HRESULT_SUCCEEDED(CoRegisterClassObject(CLSID_AccPropServices, static_cast<IClassFactory*>(&services),
                                                   CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
    EXPECT_TRUE(AnnotateUnitForScreenReaders(kWindowId, kEditBox, label, kAccessibleRoleOwn));
    EXPECT_TRUE(AnnotateUnitForScreenReaders(kWindowId, kPictureBox, kClearName, kAccessibleRolePushButton));
    RuntimeFree(label);
    // A unit the window does not hold has nothing to annotate.
    EXPECT_FALSE(AnnotateUnitForScreenReaders(kWindowId, 0x16019999, kClearName, kAccessibleRolePushButton));
    const HWND edit = UnitWindow(kEditBox), picture = UnitWindow(kPictureBox);
    // When the windows go, what was said about them is taken back.
    UnloadTestWindow();
    CoRevokeClassObject(cookie);
    for (HWND hwnd : {edit, picture}) {
        int names = 0, roles = 0;
        for (const auto& [window, property] : services.cleared) {
            names += window == hwnd && IsEqualGUID(property, PROPID_ACC_NAME);
            roles += window == hwnd && IsEqualGUID(property, PROPID_ACC_ROLE);
        }
        EXPECT_EQ(names, 1);
        EXPECT_EQ(roles, 1);
    }
    EXPECT_EQ(services.cleared.size(), 4u);

    ASSERT_EQ(services.seen.size(), 3u);
    struct Expected {
        HWND hwnd;
        const GUID& property;
        std::wstring text;
        VARTYPE type;
        LONG number;
    } expected[] = {
        {edit, PROPID_ACC_NAME, L"\x7f51\x5740\xff1a", VT_BSTR, 0},
        {picture, PROPID_ACC_NAME, L"\x6e05\x7a7a\x7f51\x5740", VT_BSTR, 0},
        {picture, PROPID_ACC_ROLE, L"", VT_I4, ROLE_SYSTEM_PUSHBUTTON},
    };
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const Annotation& a = services.seen[i];
        EXPECT_EQ(a.hwnd, expected[i].hwnd);
        EXPECT_EQ(a.object, static_cast<DWORD>(OBJID_CLIENT));
        EXPECT_EQ(a.child, static_cast<DWORD>(CHILDID_SELF));
        EXPECT_TRUE(IsEqualGUID(a.property, expected[i].property));
        EXPECT_EQ(a.text, expected[i].text);
        EXPECT_EQ(a.type, expected[i].type);
        EXPECT_EQ(a.number, expected[i].number);
    }
}

}  // namespace
