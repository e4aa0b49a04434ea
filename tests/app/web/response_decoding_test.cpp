#include "app/web/response_decoding.h"
#include "app/web/winhttp_visit.h"

#include "tests/app/web/loopback_server.h"
#include "tests/app/web/web_test_support.h"

#include <gtest/gtest.h>

namespace {

// "中文" in UTF-8 and in GBK.
const char kUtf8[] = "\xE4\xB8\xAD\xE6\x96\x87";
const char kGbk[] = "\xD6\xD0\xCE\xC4";

class ResponseDecodingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InstallWebDllCommands(); }
};

TEST_F(ResponseDecodingTest, MetaCharsetSearch)
{
    const std::pair<const char*, const char*> cases[] = {
        {"<meta charset=\"utf-8\">", "utf-8"},
        {"<META http-equiv=Content-Type content='text/html; CHARSET=GB18030'>", "GB18030"},
        {"<meta charset=gbk>", "gbk"},
        {"<meta\ncharset=utf-8>", ""},   // "." does not cross a line feed
        {"<meta x charset=\"\"utf-8\">", ""},  // at most one mark before the name
        {"<meta a charset=> <meta b charset=big5>", "big5"},
        {"no meta here", ""},
        {"<meta \x81\x41 charset=euc-kr>", "euc-kr"},
    };
    for (const auto& [head, charset] : cases) EXPECT_EQ(web::FindMetaCharset(head), charset) << head;
}

TEST_F(ResponseDecodingTest, DecodesDeclaredCharsetsToGbk)
{
    struct Case {
        std::string body;
        std::string expected;
    };
    const std::string utf16le("<\0m\0e\0t\0a\0 \0c\0h\0a\0r\0s\0e\0t\0=\0u\0t\0f\0-\0" "1\0" "6\0l\0e\0>\0\x2D\x4E\x87\x65", 50);
    const Case cases[] = {
        {std::string("<meta charset=\"utf-8\">") + kUtf8, std::string("<meta charset=\"utf-8\">") + kGbk},
        {std::string("<meta charset=gbk>") + kGbk, std::string("<meta charset=gbk>") + kGbk},
        {std::string("<meta charset=gb2312>") + kUtf8, std::string("<meta charset=gb2312>") + kUtf8},
        {std::string("<meta charset=GBK>") + kGbk, std::string("<meta charset=GBK>") + kGbk},
        {std::string("<meta charset=big5>\xA4\xA4\xA4\xE5"), std::string("<meta charset=big5>") + kGbk},
        {std::string("<meta charset=iso-8859-1>caf\xE9"), std::string("<meta charset=iso-8859-1>caf\xA8\xA6")},
        {std::string("<meta charset=x-unknown>") + kUtf8, std::string("<meta charset=x-unknown>") + kUtf8},
        {std::string(1100, ' ') + "<meta charset=utf-8>" + kUtf8, std::string(1100, ' ') + "<meta charset=utf-8>" + kUtf8},
        {std::string("{\"a\":\"") + kUtf8 + "\"}", std::string("{\"a\":\"") + kUtf8 + "\"}"},
    };
    for (const Case& c : cases) {
        TextVar text(c.body.c_str());
        web::DecodeResponseText(&text, reinterpret_cast<const uint8_t*>(c.body.data()),
                                static_cast<uint32_t>(c.body.size()));
        EXPECT_EQ(text.Str(), c.expected) << c.body;
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
