#include "app/web/response_decoding.h"
#include "app/text/regex_object.h"
#include "app/web/winhttp_visit.h"

#include "tests/app/web/loopback_server.h"
#include "tests/app/web/web_test_support.h"
#include "tests/support/unavailable_class.h"

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
// does not know: it takes the bytes, refuses the charset, and ReadText reads
// them in its default charset, Unicode, i.e. as UTF-16. Wine's stream cannot
// show this (none of its members can be reached). Registered for the stream's
// class in this process only, while the object lives; like Wine's it has no
// type information, so its members are found by name.
class RefusingStream : public IDispatch, public IClassFactory {
public:
    RefusingStream()
    {
        CLSID stream{};
        if (SUCCEEDED(CLSIDFromProgID(L"Adodb.Stream", &stream)))
            registered_ = SUCCEEDED(CoRegisterClassObject(stream, static_cast<IClassFactory*>(this),
                                                          CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_));
    }
    ~RefusingStream()
    {
        if (registered_) CoRevokeClassObject(cookie_);
    }
    bool Registered() const { return registered_; }

    // One static object is both the class object and the instance; COM's
    // references to it end with the registration.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch)
            *out = static_cast<IDispatch*>(this);
        else if (iid == IID_IClassFactory)
            *out = static_cast<IClassFactory*>(this);
        else
            return E_NOINTERFACE;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        *out = nullptr;
        return outer ? CLASS_E_NOAGGREGATION : QueryInterface(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        *info = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        static const wchar_t* const kMembers[] = {L"Type",     L"Mode",    L"Open",     L"Write",
                                                  L"Position", L"Charset", L"ReadText", L"Close"};
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            for (DISPID id = 0; id < static_cast<DISPID>(std::size(kMembers)); ++id)
                if (_wcsicmp(names[i], kMembers[id]) == 0) ids[i] = id + 1;
            if (ids[i] == DISPID_UNKNOWN) return DISP_E_UNKNOWNNAME;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT*) override
    {
        enum { kWrite = 4, kCharset = 6, kReadText = 7 };
        if (id == kCharset) {
            // ADO's "arguments are of the wrong type, out of range or in
            // conflict": Windows' answer to a charset its list lacks.
            if (exception) *exception = EXCEPINFO{.scode = static_cast<SCODE>(0x800A0BB9)};
            return DISP_E_EXCEPTION;
        }
        if (id == kWrite && params->cArgs == 1 && V_VT(&params->rgvarg[0]) == (VT_ARRAY | VT_UI1)) {
            SAFEARRAY* array = V_ARRAY(&params->rgvarg[0]);
            void* data = nullptr;
            if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
                bytes_.assign(static_cast<const char*>(data), array->rgsabound[0].cElements);
                SafeArrayUnaccessData(array);
            }
        }
        if (id == kReadText && result) {
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(bytes_.data()),
                                               static_cast<UINT>(bytes_.size() / 2));
        }
        return S_OK;
    }

private:
    std::string bytes_;
    DWORD cookie_ = 0;
    bool registered_ = false;
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
        std::optional<UnavailableClass> unavailable;
        if (!withPatternObject) {
            unavailable.emplace(L"VBScript.RegExp");
            ASSERT_TRUE(unavailable->InEffect());
        }
        for (const Case& c : cases) {
            RegexObject regex;  // COM is initialised while it lives
            std::optional<RefusingStream> stream;
            if (c.refusingStream) {
                stream.emplace();
                ASSERT_TRUE(stream->Registered());
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
