#include "app/web/winhttp_visit.h"

#include "tests/app/web/loopback_server.h"
#include "tests/app/web/web_test_support.h"
#include "tests/support/heap_balance.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <winhttp.h>

#include <string>
#include <vector>

namespace {

using web::WinHttpVisit;
using web::WinHttpVisitArgs;

const char kMsg701[] = "701 \xBD\xE2\xCE\xF6URL\xB5\xD8\xD6\xB7\xCA\xA7\xB0\xDC!";
const char kMsg711[] = "711 \xB7\xA2\xCB\xCD\xC7\xEB\xC7\xF3\xCA\xA7\xB0\xDC!";
const char kMsg712[] = "712 \xB7\xFE\xCE\xF1\xC6\xF7\xCE\xB4\xCF\xEC\xD3\xA6!";
const char kMsg710[] = "710 \xC9\xE8\xD6\xC3\xD0\xAD\xD2\xE9\xCD\xB7\xCA\xA7\xB0\xDC!";

class WinHttpVisitTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InstallWebDllCommands(); }
    LoopbackServer server;
};

TEST_F(WinHttpVisitTest, DefaultHeaderLinesOnTheWire)
{
    server.Push(LoopbackServer::Response(200, "OK", "", "x"));
    std::string url = server.Url("/p");
    OwnedResult text(WinHttpVisit({.address = url.c_str()}));
    EXPECT_EQ(text.Text(), "x");
    ASSERT_EQ(server.Requests().size(), 1u);
    LoopbackRequest r = server.Requests()[0];
    EXPECT_EQ(r.Method(), "GET");
    EXPECT_EQ(r.Target(), "/p");
    EXPECT_EQ(r.Header("User-Agent"), "Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)");
    EXPECT_EQ(r.Header("Accept"), "text/html, application/xhtml+xml, */*");
    EXPECT_EQ(r.Header("Accept-Encoding"), "gbk, GB2312");
    EXPECT_EQ(r.Header("Accept-Language"), "zh-cn");
    EXPECT_EQ(r.Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(r.Header("Cache-Control"), "no-cache");
    EXPECT_FALSE(r.HasHeader("Cookie"));
}

TEST_F(WinHttpVisitTest, CallerHeadersSuppressDefaults)
{
    struct Case {
        const char* headers;
        const char* name;       // header whose default is checked
        const char* expected;   // value on the wire
    };
    const Case cases[] = {
        {"User-Agent: x", "User-Agent", "x"},
        {"user-agent: x", "User-Agent", "x"},
        {"X-Accept: y", "Accept", ""},  // substring search: X-Accept suppresses Accept
        // Case-sensitive search: the default line is added, and the service
        // lets the later line of the same name replace the caller's.
        {"content-type: x", "Content-Type", "application/x-www-form-urlencoded"},
        {"Cookie: k=v", "Cookie", "k=v"},
    };
    for (const Case& c : cases) {
        server.Push(LoopbackServer::Response(200, "OK", "", ""));
        std::string url = server.Url("/");
        TextVar cookies("a=1");
        OwnedResult text(WinHttpVisit({.address = url.c_str(), .cookies = &cookies, .requestHeaders = c.headers}));
        LoopbackRequest r = server.Requests().back();
        EXPECT_EQ(r.Header(c.name), c.expected) << c.headers << "\n" << r.head;
        if (std::string(c.headers).rfind("User-Agent", 0) == 0 || std::string(c.headers).rfind("user-agent", 0) == 0) {
            EXPECT_EQ(r.Header("Accept"), "text/html, application/xhtml+xml, */*");
        }
        if (std::string(c.name) != "Cookie") {
            EXPECT_EQ(r.Header("Cookie"), "a=1") << r.head;
        }
    }
}

TEST_F(WinHttpVisitTest, ObjectPathsAndMethods)
{
    struct Case {
        const char* path;  // appended to http://127.0.0.1:port
        int32_t method;
        const char* verb;
        const char* target;
    };
    const Case cases[] = {
        {"", 0, "GET", "/"},          {"/a?b=1", 0, "GET", "/a?b=1"}, {"?b=1", 0, "GET", "/"},
        {"/x", 7, "GET", "/x"},       {"/x", -1, "GET", "/x"},        {"/x", 2, "HEAD", "/x"},
        {"/x", 3, "PUT", "/x"},
    };
    for (const Case& c : cases) {
        server.Push(LoopbackServer::Response(200, "OK", "", ""));
        std::string url = server.Url(c.path);
        OwnedResult text(WinHttpVisit({.address = url.c_str(), .method = c.method}));
        LoopbackRequest r = server.Requests().back();
        EXPECT_EQ(r.Method(), c.verb) << c.path << " " << c.method;
        EXPECT_EQ(r.Target(), c.target) << c.path;
    }
}

TEST_F(WinHttpVisitTest, PostSendsRawBytes)
{
    server.Push(LoopbackServer::Response(200, "OK", "", "done"));
    std::string url = server.Url("/post");
    OwnedResult text(WinHttpVisit({.address = url.c_str(), .method = 1, .postData = "a=1&b=\xD6\xD0"}));
    LoopbackRequest r = server.Requests().back();
    EXPECT_EQ(r.Method(), "POST");
    EXPECT_EQ(r.body, "a=1&b=\xD6\xD0");
}

TEST_F(WinHttpVisitTest, ResponseHeadersCookiesStatusAndRedirect)
{
    server.Push(LoopbackServer::Response(302, "Found",
                                         "set-cookie: a=1; path=/\r\nSet-Cookie: b=2\r\nLocation: /next?q=1\r\n",
                                         "moved"));
    std::string url = server.Url("/r");
    TextVar cookies("a=0; z=9");
    TextVar newCookies, headers, redirect("kept"), status, unused;
    ByteSetVar body;
    OwnedResult text(WinHttpVisit({.address = url.c_str(), .cookies = &cookies, .newCookies = &newCookies,
                                   .responseHeaders = &headers, .noRedirect = true,
                                   .redirectAddress = &redirect, .statusText = &status, .responseBody = &body}));
    EXPECT_EQ(status.Str(), "302 Found");
    EXPECT_EQ(redirect.Str(), "/next?q=1");
    EXPECT_EQ(newCookies.Str(), "a=1;b=2");
    EXPECT_EQ(cookies.Str(), "a=1; b=2; z=9");
    EXPECT_NE(headers.Str().find("Set-Cookie: a=1; path=/\r\n"), std::string::npos) << headers.Str();
    EXPECT_EQ(headers.Str().find("set-cookie"), std::string::npos);
    EXPECT_EQ(headers.Str().rfind("HTTP/1.1 302 Found\r\n", 0), 0u);
    EXPECT_EQ(body.Str(), "moved");
    EXPECT_EQ(text.Text(), "moved");
}

TEST_F(WinHttpVisitTest, WithoutCookiesArgumentNewCookiesKeepSpaces)
{
    server.Push(LoopbackServer::Response(200, "OK", "Set-Cookie: a=1\r\nSet-Cookie: b=2; HttpOnly\r\n", ""));
    std::string url = server.Url("/");
    TextVar newCookies, redirect("kept");
    OwnedResult text(WinHttpVisit({.address = url.c_str(), .newCookies = &newCookies, .redirectAddress = &redirect}));
    EXPECT_EQ(newCookies.Str(), "a=1; b=2");
    EXPECT_EQ(redirect.Str(), "kept");
}

TEST_F(WinHttpVisitTest, BodiesWithNulChunkedAndCutOff)
{
    const std::string withNul("ab\0cd", 5);
    server.Push(LoopbackServer::Response(200, "OK", "", withNul));
    server.Push(LoopbackServer::ChunkedResponse("", {"hello ", "chunked ", "world"}));
    LoopbackReply cut{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789"};
    cut.closeAfter = true;
    server.Push(cut);

    std::string url = server.Url("/");
    ByteSetVar body1, body2, body3;
    TextVar status3;
    OwnedResult text1(WinHttpVisit({.address = url.c_str(), .responseBody = &body1}));
    OwnedResult text2(WinHttpVisit({.address = url.c_str(), .responseBody = &body2}));
    OwnedResult text3(WinHttpVisit({.address = url.c_str(), .statusText = &status3, .responseBody = &body3}));
    EXPECT_EQ(body1.Str(), withNul);
    EXPECT_EQ(text1.Text(), "ab");
    EXPECT_EQ(body2.Str(), "hello chunked world");
    // The part read before the connection dropped is kept; the status line
    // could still be read, so the status is not the read failure message.
    EXPECT_EQ(body3.Str(), "0123456789");
    EXPECT_EQ(status3.Str(), "200 OK");
}

TEST_F(WinHttpVisitTest, FailuresGiveNumberedMessages)
{
    struct Case {
        std::string address;
        int32_t timeoutSeconds;
        const char* message;
        const char* requestHeaders = nullptr;
    };
    LoopbackReply silent;
    silent.silent = true;
    server.Push(silent);
    const Case cases[] = {
        {"not a url", 0, kMsg701},
        {"", 0, kMsg701},
        {"http://127.0.0.1:" + std::to_string(LoopbackServer::ClosedPort()) + "/", 2, kMsg711},
        {server.Url("/silent"), 1, kMsg712},
        // Header lines the service refuses: nothing is sent.
        {server.Url("/never"), 0, kMsg710, "no colon here"},
        {server.Url("/never"), 0, kMsg710, ": no name"},
    };
    for (const Case& c : cases) {
        HeapBalance balance;
        {
            TextVar status("before"), headers("kept");
            ULONGLONG start = GetTickCount64();
            OwnedResult text(WinHttpVisit({.address = c.address.c_str(),
                                           .requestHeaders = c.requestHeaders,
                                           .responseHeaders = &headers,
                                           .timeoutSeconds = c.timeoutSeconds,
                                           .statusText = &status}));
            double seconds = static_cast<double>(GetTickCount64() - start) / 1000.0;
            EXPECT_EQ(status.Str(), c.message) << c.address;
            EXPECT_EQ(text.block, nullptr);
            EXPECT_EQ(headers.Str(), "kept");
            EXPECT_LT(seconds, 8.0) << c.address;
        }
        EXPECT_EQ(balance.Delta(), 0) << c.address;
    }
    for (const LoopbackRequest& r : server.Requests()) EXPECT_NE(r.Target(), "/never");
}

TEST_F(WinHttpVisitTest, ReleasesEverythingItMade)
{
    server.Push(LoopbackServer::Response(200, "OK", "Set-Cookie: a=1\r\n", "<html>body</html>"));
    std::string url = server.Url("/");
    HeapBalance balance;
    {
        TextVar cookies("b=2"), newCookies, headers, status;
        ByteSetVar body;
        OwnedResult text(WinHttpVisit({.address = url.c_str(), .cookies = &cookies, .newCookies = &newCookies,
                                       .responseHeaders = &headers, .statusText = &status, .responseBody = &body}));
        EXPECT_EQ(text.Text(), "<html>body</html>");
    }
    EXPECT_EQ(balance.Delta(), 0);
}

// The proxy on the wire: an https address goes through the proxy as a tunnel
// request for its host; without a proxy the request goes straight to the
// server. (An http address is handed to the service as "http=" and the
// proxy, which Wine's service does not take as a proxy at all.)
TEST_F(WinHttpVisitTest, ProxyOnTheWire)
{
    server.SetRouter([](const LoopbackRequest& r) {
        if (r.Method() == "CONNECT") return LoopbackReply{LoopbackServer::Response(403, "Forbidden", "", "")};
        return LoopbackReply{LoopbackServer::Response(200, "OK", "", "direct")};
    });
    std::string proxy = "127.0.0.1:" + std::to_string(server.Port());
    OwnedResult tunnelled(WinHttpVisit({.address = "https://songlink.invalid/p", .proxyAddress = proxy.c_str(),
                                        .timeoutSeconds = 5}));
    std::string direct = server.Url("/d");
    OwnedResult straight(WinHttpVisit({.address = direct.c_str(), .timeoutSeconds = 5}));
    EXPECT_EQ(straight.Text(), "direct");
    std::vector<std::string> seen;
    for (const LoopbackRequest& r : server.Requests()) seen.push_back(r.Method() + " " + r.Target());
    EXPECT_EQ(seen, (std::vector<std::string>{"CONNECT songlink.invalid:443", "GET /d"}));
}

// On the wire: a server that challenges gets the Basic credentials ("u:p")
// only when both the user and the password were given.
TEST_F(WinHttpVisitTest, ServerCredentialsOnTheWire)
{
    server.SetRouter([](const LoopbackRequest& r) {
        if (r.Header("Authorization") != "Basic dTpw")
            return LoopbackReply{
                LoopbackServer::Response(401, "Unauthorized", "WWW-Authenticate: Basic realm=\"s\"\r\n", "")};
        return LoopbackReply{LoopbackServer::Response(200, "OK", "", "in")};
    });
    std::string url = server.Url("/secret");
    struct Case {
        const char* user;
        const char* password;
        const char* status;
    } const cases[] = {
        {"u", "p", "200 OK"},
        {"u", "", "401 Unauthorized"},
        {"", "p", "401 Unauthorized"},
    };
    for (const Case& c : cases) {
        TextVar status;
        size_t before = server.Requests().size();
        OwnedResult text(WinHttpVisit({.address = url.c_str(),
                                       .serverUser = c.user,
                                       .serverPassword = c.password,
                                       .timeoutSeconds = 5,
                                       .statusText = &status}));
        EXPECT_EQ(status.Str(), c.status) << c.user << ":" << c.password;
        std::vector<LoopbackRequest> requests = server.Requests();
        for (size_t i = before; i < requests.size() && std::string(c.status) != "200 OK"; ++i)
            EXPECT_FALSE(requests[i].HasHeader("Authorization")) << c.user << ":" << c.password;
    }
}

// A redirect that sets a cookie: the service follows it unless told not to,
// and carries the cookie along only when the caller passed a cookie variable
// (its own cookie handling is switched off otherwise).
TEST_F(WinHttpVisitTest, CookieAndRedirectOptions)
{
    server.SetRouter([](const LoopbackRequest& r) {
        if (r.Target() == "/set")
            return LoopbackReply{
                LoopbackServer::Response(302, "Found", "Set-Cookie: sid=42; path=/\r\nLocation: /next\r\n", "moved")};
        return LoopbackReply{LoopbackServer::Response(200, "OK", "", "next")};
    });
    std::string url = server.Url("/set");
    struct Case {
        bool passCookies;
        bool noRedirect;
        const char* status;
        const char* cookieOnNext;  // nullptr: /next is not requested
    } const cases[] = {
        {false, false, "200 OK", ""},
        {true, false, "200 OK", "sid=42"},
        {false, true, "302 Found", nullptr},
        {true, true, "302 Found", nullptr},
    };
    for (const Case& c : cases) {
        TextVar cookies, status;
        size_t before = server.Requests().size();
        OwnedResult text(WinHttpVisit({.address = url.c_str(),
                                       .cookies = c.passCookies ? &cookies : nullptr,
                                       .noRedirect = c.noRedirect,
                                       .statusText = &status}));
        EXPECT_EQ(status.Str(), c.status) << c.passCookies << c.noRedirect;
        std::vector<LoopbackRequest> requests = server.Requests();
        std::vector<LoopbackRequest> next;
        for (size_t i = before; i < requests.size(); ++i)
            if (requests[i].Target() == "/next") next.push_back(requests[i]);
        if (!c.cookieOnNext) {
            EXPECT_TRUE(next.empty()) << c.passCookies << c.noRedirect;
            continue;
        }
        ASSERT_EQ(next.size(), 1u) << c.passCookies << c.noRedirect;
        EXPECT_EQ(next[0].Header("Cookie"), c.cookieOnNext) << c.passCookies << c.noRedirect;
    }
}

}  // namespace
