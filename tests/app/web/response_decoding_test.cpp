#include "app/web/response_decoding.h"
#include "app/text/regex_object.h"
#include "app/web/winhttp_visit.h"

#include "tests/app/web/loopback_server.h"
#include "tests/app/web/web_test_support.h"
#include "tests/support/unavailable_class.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

// "中文" in UTF-8 and in GBK.
const char kUtf8[] = "\xE4\xB8\xAD\xE6\x96\x87";
const char kGbk[] = "\xD6\xD0\xCE\xC4";

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
            RegexObject regex;
            TextVar text(c.body.c_str());
            ByteSet body = CopyBytesAsByteSet(c.body.data(), static_cast<int64_t>(c.body.size()));
            web::DecodeResponseText(regex, &text, body);
            RuntimeFree(body);
            EXPECT_EQ(text.Str(), c.expected) << c.body;
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
