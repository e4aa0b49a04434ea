#include "app/web/wininet_visit.h"

#include "tests/app/web/inet_cache.h"
#include "tests/app/web/loopback_server.h"
#include "tests/app/web/web_test_support.h"
#include "tests/support/heap_balance.h"

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
    OwnedResult body(WinInetVisit({.address = url.c_str(), .cookies = &cookies, .newCookies = &newCookies,
                                   .responseHeaders = &responseHeaders}));
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
    OwnedResult body(WinInetVisit({.address = url.c_str(), .newCookies = &newCookies,
                                   .responseHeaders = &responseHeaders}));
    EXPECT_EQ(body.Bytes(), "ok");
    EXPECT_EQ(responseHeaders.Str(), std::string(5000, ' '));
    EXPECT_EQ(newCookies.Str(), "");  // the cookie line was never seen
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

// The same limits for the cover's download: past either the body is
// abandoned and the caller gets the empty body of a failed request.
TEST_F(WinInetVisitTest, LargestBodyAndDeadlineAbandonTheDownload)
{
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n";
    auto generated = [&](uint64_t n, bool sized) {
        LoopbackReply r{head + (sized ? "Content-Length: " + std::to_string(n) + "\r\n" : "Connection: close\r\n") +
                        "\r\n"};
        r.generatedBodyBytes = n;
        r.closeAfter = !sized;
        return r;
    };
    LoopbackReply drip{head + "Content-Length: 5000\r\n\r\n"};
    drip.dripIntervalMs = 700;
    LoopbackReply lateHead = generated(10, true);
    lateHead.delayMs = 4000;
    struct Case {
        const char* name;
        LoopbackReply reply;
        uint32_t maxBodyBytes;
        uint32_t deadlineMs;
        uint64_t bodyKept;  // 0: abandoned
        double minSeconds, maxSeconds;
    };
    const Case cases[] = {
        {"no limits, as before", generated(300000, true), 0, 0, 300000, 0, 30},
        {"body exactly at the cap", generated(100000, true), 100000, 0, 100000, 0, 20},
        {"one byte past the cap", generated(100001, true), 100000, 0, 0, 0, 20},
        {"a body that never ends", generated(UINT64_MAX, false), 300000, 0, 0, 0, 20},
        {"a byte every 0.7 s", drip, 0, 1500, 0, 1.4, 4.5},
        {"a head that comes too late", lateHead, 0, 1000, 0, 0.9, 3.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackServer slow;
        slow.Push(c.reply);
        // Saved in the platform's download cache (abandoned parts too),
        // removed below.
        std::string url = slow.Url("/limits-test.jpg");
        HeapBalance balance;
        {
            TextVar responseHeaders("kept");
            ULONGLONG start = GetTickCount64();
            OwnedResult body(WinInetVisit({.address = url.c_str(), .responseHeaders = &responseHeaders,
                                           .maxBodyBytes = c.maxBodyBytes, .deadlineMs = c.deadlineMs}));
            double seconds = static_cast<double>(GetTickCount64() - start) / 1000.0;
            EXPECT_EQ(ByteSetLength(body.block), c.bodyKept);
            if (c.bodyKept == 0) {
                EXPECT_EQ(body.block, nullptr);
                EXPECT_EQ(responseHeaders.Str(), "kept");
            }
            EXPECT_GE(seconds, c.minSeconds);
            EXPECT_LE(seconds, c.maxSeconds);
        }
        EXPECT_EQ(balance.Delta(), 0);
    }
    RemoveCachedDownloads(L"limits-test");
}

}  // namespace
