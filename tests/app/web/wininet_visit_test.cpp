#include "app/web/wininet_visit.h"

#include "tests/app/web/inet_cache.h"
#include "tests/app/web/loopback_server.h"
#include "tests/app/web/web_test_support.h"
#include "tests/support/heap_balance.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

using web::WinInetVisit;

class WinInetVisitTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InstallWebDllCommands(); }
    LoopbackServer server;
};

TEST_F(WinInetVisitTest, DefaultsWrittenIntoCallersHeaders)
{
    server.Push(LoopbackServer::Response(200, "OK", "", "body"));
    std::string url = server.Url("/pic.jpg?x=1");
    TextVar headers;
    OwnedResult body(WinInetVisit({.address = url.c_str(), .method = 5, .requestHeaders = &headers}));
    EXPECT_EQ(body.Bytes(), "body");
    EXPECT_EQ(headers.Str(), "Accept: */*\r\nReferer: " + url +
                                 "\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded");
    LoopbackRequest r = server.Requests().back();
    EXPECT_EQ(r.Method(), "GET");
    EXPECT_EQ(r.Target(), "/pic.jpg?x=1");
    EXPECT_EQ(r.Header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)");
    EXPECT_EQ(r.Header("Referer"), url);
    EXPECT_EQ(r.Header("Accept"), "*/*");
}

TEST_F(WinInetVisitTest, CallerHeadersAgentAndCookies)
{
    struct Case {
        const char* headers;
        const char* cookies;
        const char* agent;
        const char* accept;
        const char* cookieLine;
    };
    const Case cases[] = {
        {"User-Agent:  MyAgent/1 ", "a=1", "MyAgent/1", "*/*", "a=1"},
        {"accept: text/html", "Cookie: k=v", "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)", nullptr, "k=v"},
    };
    for (const Case& c : cases) {
        server.Push(LoopbackServer::Response(200, "OK", "", ""));
        std::string url = server.Url("/");
        TextVar headers(c.headers), cookies(c.cookies);
        OwnedResult body(WinInetVisit({.address = url.c_str(), .cookies = &cookies, .requestHeaders = &headers}));
        LoopbackRequest r = server.Requests().back();
        EXPECT_EQ(r.Header("User-Agent"), c.agent) << r.head;
        EXPECT_EQ(r.Header("Cookie"), c.cookieLine) << r.head;
        if (c.accept) {
            EXPECT_EQ(r.Header("Accept"), c.accept) << r.head;
        }
        // accept: in lower case does not count: the default line is added too.
        EXPECT_NE(headers.Str().find("Accept: */*"), std::string::npos) << headers.Str();
    }
}

TEST_F(WinInetVisitTest, PostFillsCallersBytesFromText)
{
    server.Push(LoopbackServer::Response(200, "OK", "", "ok"));
    std::string url = server.Url("/form");
    ByteSetVar postBytes;
    OwnedResult body(WinInetVisit({.address = url.c_str(), .method = 1, .postData = "x=1", .postBytes = &postBytes}));
    EXPECT_EQ(postBytes.Str(), "x=1");
    LoopbackRequest r = server.Requests().back();
    EXPECT_EQ(r.Method(), "POST");
    EXPECT_EQ(r.body, "x=1");
}

TEST_F(WinInetVisitTest, ResponseHeadersAndMergedCookies)
{
    server.Push(LoopbackServer::Response(200, "OK", "set-cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n",
                                         std::string("\x89PNG\0\x01", 6)));
    std::string url = server.Url("/c");
    TextVar cookies("b=0; z=9"), newCookies, responseHeaders;
    OwnedResult body(WinInetVisit(
        {.address = url.c_str(), .cookies = &cookies, .newCookies = &newCookies, .responseHeaders = &responseHeaders}));
    EXPECT_EQ(body.Bytes(), std::string("\x89PNG\0\x01", 6));
    EXPECT_EQ(cookies.Str(), "a=1; b=2; z=9");
    EXPECT_EQ(newCookies.Str(), "a=1; b=2; z=9");
    EXPECT_EQ(responseHeaders.Str().rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_EQ(responseHeaders.Str().find("set-cookie"), std::string::npos);
}

TEST_F(WinInetVisitTest, OversizedHeaderBlockLeavesSpaces)
{
    std::string big;
    for (int i = 0; i < 10; ++i) big += "X-Big" + std::to_string(i) + ": " + std::string(600, 'b') + "\r\n";
    big += "Set-Cookie: a=1\r\n";
    server.Push(LoopbackServer::Response(200, "OK", big, "ok"));
    std::string url = server.Url("/");
    TextVar responseHeaders, newCookies("old");
    OwnedResult body(
        WinInetVisit({.address = url.c_str(), .newCookies = &newCookies, .responseHeaders = &responseHeaders}));
    EXPECT_EQ(body.Bytes(), "ok");
    EXPECT_EQ(responseHeaders.Str(), std::string(5000, ' '));
    EXPECT_EQ(newCookies.Str(), "");  // the cookie line was never seen
}

// An address with Chinese characters in its path and query reaches the server
// as the same bytes on every machine, whatever its code page (ctest runs this
// case under 936, 1252 and 932).
TEST_F(WinInetVisitTest, ChineseAddressGoesOutAlikeUnderEveryCodePage)
{
    for (uint32_t deadline : {0u, 10000u}) {
        SCOPED_TRACE("deadline " + std::to_string(deadline));
        server.Push(LoopbackServer::Response(200, "OK", "X-Name: \xB2\xE2\r\n", "ok"));
        // 图/封面.jpg?名=值 and a header value 中文, in GBK.
        std::string url = server.Url("/\xCD\xBC/\xB7\xE2\xC3\xE6.jpg?\xC3\xFB=\xD6\xB5");
        TextVar headers("X-Name: \xD6\xD0\xCE\xC4"), responseHeaders;
        OwnedResult body(WinInetVisit({.address = url.c_str(),
                                       .requestHeaders = &headers,
                                       .responseHeaders = &responseHeaders,
                                       .deadlineMs = deadline}));
        EXPECT_EQ(body.Bytes(), "ok");
        LoopbackRequest r = server.Requests().back();
        EXPECT_EQ(r.Target(), "/%CD%BC/%B7%E2%C3%E6.jpg?%C3%FB=%D6%B5");
        // Header text goes both ways as ISO-8859-1, a byte a character, on
        // Windows; Wine converts it in the machine's code page instead.
        if (!RunningUnderWine()) {
            EXPECT_EQ(r.Header("X-Name"), "\xD6\xD0\xCE\xC4");
            EXPECT_EQ(r.Header("Referer"), url);
            EXPECT_NE(responseHeaders.Str().find("X-Name: \xB2\xE2\r\n"), std::string::npos);
        }
    }
}

// Nothing of a download stays on disk: a cover is only ever held in memory,
// so a lookup must not leave a cache or temporary file behind, in either
// mode.
TEST_F(WinInetVisitTest, DownloadLeavesNoFileBehind)
{
    for (uint32_t deadline : {0u, 10000u}) {
        std::wstring stem = L"nofile" + std::to_wstring(deadline) + L"-" + std::to_wstring(GetTickCount());
        server.Push(LoopbackServer::Response(200, "OK", "Content-Type: image/jpeg\r\n", "cover"));
        std::string url = server.Url("/" + std::string(stem.begin(), stem.end()) + ".jpg");
        EXPECT_EQ(OwnedResult(WinInetVisit({.address = url.c_str(), .deadlineMs = deadline})).Bytes(), "cover");
        EXPECT_EQ(CachedDownloadCount(stem), 0) << "deadline " << deadline;
        RemoveCachedDownloads(stem);
    }
}

TEST_F(WinInetVisitTest, RefusedConnectionGivesEmptyBodyAndReleasesAll)
{
    std::string url = "http://127.0.0.1:" + std::to_string(LoopbackServer::ClosedPort()) + "/";
    HeapBalance balance;
    {
        TextVar headers;
        OwnedResult body(WinInetVisit({.address = url.c_str(), .requestHeaders = &headers}));
        EXPECT_EQ(body.block, nullptr);
    }
    EXPECT_EQ(balance.Delta(), 0);
}

}  // namespace
