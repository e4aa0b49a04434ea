#include "app/web/response_decoding.h"
#include "app/text/regex_object.h"
#include "app/web/winhttp_visit.h"

#include "tests/app/web/loopback_server.h"
#include "tests/app/web/web_test_support.h"
#include "tests/support/class_stand_in.h"

#include <gtest/gtest.h>

#include <ole2.h>
#include <windows.h>

#include <optional>
#include <string>

namespace {

// "中文" in UTF-8 and in GBK.
const char kUtf8[] = "\xE4\xB8\xAD\xE6\x96\x87";
const char kGbk[] = "\xD6\xD0\xCE\xC4";

// Stands in for "Adodb.Stream" as Windows' is when a page names a charset it
// does not know: it refuses the charset, and a text read anyway (in its
// default charset, Unicode) would be wrong. Wine's stream cannot show this
// (none of its members can be reached). Like Wine's it has no type
// information: members are found by name, and all but these two do nothing.
class RefusingStream : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        *out = iid == IID_IUnknown || iid == IID_IDispatch ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // a local outliving its uses
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        for (UINT i = 0; i < count; ++i)
            ids[i] = _wcsicmp(names[i], L"Charset") == 0    ? kCharset
                     : _wcsicmp(names[i], L"ReadText") == 0 ? kReadText
                                                            : 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO* exception,
                                     UINT*) override
    {
        if (id == kCharset) {
            // ADO's "arguments are of the wrong type, out of range or in
            // conflict": Windows' answer to a charset its list lacks.
            if (exception) *exception = EXCEPINFO{.scode = static_cast<SCODE>(0x800A0BB9)};
            return DISP_E_EXCEPTION;
        }
        if (id == kReadText && result) {
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = SysAllocString(L"\x4E2D");
        }
        return S_OK;
    }

private:
    static constexpr DISPID kCharset = 2, kReadText = 3;
};

class ResponseDecodingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InstallWebDllCommands(); }
};

// The same with the platform's pattern object and without it (VBScript, whose
// object it is, is an optional Windows feature): the page comes out the same.
TEST_F(ResponseDecodingTest, DecodesDeclaredCharsetsToGbk)
{
    struct Case {
        std::string body;
        std::string expected;
        bool refusingStream = false;
    };
    const Case cases[] = {
        {std::string("<meta charset=\"utf-8\">") + kUtf8, std::string("<meta charset=\"utf-8\">") + kGbk},
        {std::string("<META content='text/html; CHARSET=UTF-8'>") + kUtf8,
         std::string("<META content='text/html; CHARSET=UTF-8'>") + kGbk},
        {std::string("<meta\ncharset=utf-8>") + kUtf8, std::string("<meta\ncharset=utf-8>") + kUtf8},
        {std::string("<meta charset=gbk>") + kGbk, std::string("<meta charset=gbk>") + kGbk},
        {std::string("<meta charset=gb2312>") + kUtf8, std::string("<meta charset=gb2312>") + kUtf8},
        {std::string("<meta charset=GBK>") + kGbk, std::string("<meta charset=GBK>") + kGbk},
        {std::string("<meta charset=big5>\xA4\xA4\xA4\xE5"), std::string("<meta charset=big5>") + kGbk},
        {std::string("<meta charset=iso-8859-1>caf\xE9"), std::string("<meta charset=iso-8859-1>caf\xA8\xA6")},
        {std::string("<meta charset=x-unknown>") + kUtf8, std::string("<meta charset=x-unknown>") + kUtf8},
        {std::string("<meta charset=x-unknown>") + kUtf8, std::string("<meta charset=x-unknown>") + kUtf8, true},
        {std::string(1100, ' ') + "<meta charset=utf-8>" + kUtf8,
         std::string(1100, ' ') + "<meta charset=utf-8>" + kUtf8},
        {std::string("{\"a\":\"") + kUtf8 + "\"}", std::string("{\"a\":\"") + kUtf8 + "\"}"},
        // The lazy match: the first declaration that names something.
        {std::string("<meta content='charset=utf-8'><meta charset=big5>") + kUtf8,
         std::string("<meta content='charset=utf-8'><meta charset=big5>") + kGbk},
        {std::string("<meta charset=\"\"><meta charset=utf-8>") + kUtf8,
         std::string("<meta charset=\"\"><meta charset=utf-8>") + kGbk},
        // One character that is no letter or digit before the name.
        {std::string("<meta x charset=-utf-8>") + kUtf8, std::string("<meta x charset=-utf-8>") + kGbk},
    };
    for (const bool withPatternObject : {true, false}) {
        SCOPED_TRACE(withPatternObject ? "with the pattern object" : "without it");
        std::optional<ClassStandIn> unavailable;
        if (!withPatternObject) {
            unavailable.emplace(L"VBScript.RegExp");
            ASSERT_TRUE(unavailable->InEffect());
        }
        for (const Case& c : cases) {
            RegexObject regex;  // COM is initialised while it lives
            RefusingStream refusing;
            std::optional<ClassStandIn> stream;
            if (c.refusingStream) {
                stream.emplace(L"Adodb.Stream", &refusing);
                ASSERT_TRUE(stream->InEffect());
            }
            TextVar text(c.body.c_str());
            ByteSet body = CopyBytesAsByteSet(c.body.data(), static_cast<int64_t>(c.body.size()));
            web::DecodeResponseText(regex, &text, body);
            RuntimeFree(body);
            EXPECT_EQ(text.Str(), c.expected) << c.body << (c.refusingStream ? " (stream refusing the charset)" : "");
        }
    }
}

TEST_F(ResponseDecodingTest, WinHttpVisitReturnsGbkOfUtf8Page)
{
    LoopbackServer server;
    std::string page = std::string("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset='utf-8\">"
                                   "</head><body>") + kUtf8 + "</body></html>";
    server.Push(LoopbackServer::Response(200, "OK", "Content-Type: text/html\r\n", page));
    std::string url = server.Url("/page");
    ByteSetVar body;
    OwnedResult text(web::WinHttpVisit({.address = url.c_str(), .responseBody = &body}));
    EXPECT_NE(text.Text().find(std::string("<body>") + kGbk + "</body>"), std::string::npos) << text.Text();
    EXPECT_EQ(body.Str(), page);  // the raw body is kept as it came
}

}  // namespace
