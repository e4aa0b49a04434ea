// Both web routines over real TLS: a loopback TLS front whose certificate for
// "localhost" comes from a test CA trusted while this suite runs, and one
// whose CA nothing trusts.
#include "app/web/winhttp_visit.h"
#include "app/web/wininet_visit.h"

#include "tests/app/web/loopback_server.h"
#include "tests/app/web/tls_server.h"
#include "tests/app/web/web_test_support.h"
#include "tests/support/heap_balance.h"

#include <gtest/gtest.h>

namespace {

using web::WinHttpVisit;
using web::WinInetVisit;

const char kMsg711[] = "711 \xB7\xA2\xCB\xCD\xC7\xEB\xC7\xF3\xCA\xA7\xB0\xDC!";

class HttpsExchangeTest : public ::testing::Test {
protected:
    // Trust comes before the first TLS exchange of the process: crypt32 reads
    // the trusted roots once. Where the cases are skipped nothing is trusted.
    static void SetUpTestSuite()
    {
        InstallWebDllCommands();
        if (LoopbackTlsServer::WhyUnavailable().empty()) trust_ = new TestCaTrust;
    }
    static void TearDownTestSuite()
    {
        delete trust_;
        trust_ = nullptr;
    }
    void SetUp() override
    {
        std::string why = LoopbackTlsServer::WhyUnavailable();
        if (!why.empty()) GTEST_SKIP() << why;
        ASSERT_TRUE(trust_ && trust_->Ok() && trust_->Trusted());
    }

    static TestCaTrust* trust_;
    LoopbackServer server;
};

TestCaTrust* HttpsExchangeTest::trust_ = nullptr;

TEST_F(HttpsExchangeTest, WinHttpVisitOverTls)
{
    struct Case {
        int32_t method;
        const char* postData;
        const char* path;
    } cases[] = {
        {0, nullptr, "/song?hash=ABC&album_id=1"},
        {1, "a=1&b=2", "/form"},
    };
    LoopbackTlsServer tls(server.Port());
    ASSERT_TRUE(tls.Ready());
    for (const Case& c : cases) {
        server.Push(LoopbackServer::Response(200, "OK", "Set-Cookie: s=1; Secure\r\n", "secret reply"));
        std::string url = tls.Url(c.path);
        TextVar status, headers, newCookies;
        OwnedResult text(WinHttpVisit({.address = url.c_str(),
                                       .method = c.method,
                                       .postData = c.postData,
                                       .newCookies = &newCookies,
                                       .responseHeaders = &headers,
                                       .statusText = &status}));
        EXPECT_EQ(text.Text(), "secret reply") << url;
        EXPECT_EQ(status.Str(), "200 OK");
        EXPECT_EQ(newCookies.Str(), "s=1");
        LoopbackRequest r = server.Requests().back();
        EXPECT_EQ(r.Target(), c.path);
        EXPECT_EQ(r.Header("Host"), "localhost:" + std::to_string(tls.Port()));
        EXPECT_EQ(r.Header("Accept-Language"), "zh-cn");
        EXPECT_EQ(r.body, c.postData ? c.postData : "");
    }
    EXPECT_EQ(server.Requests().size(), 2u);
}

TEST_F(HttpsExchangeTest, WinInetVisitOverTls)
{
    const std::string picture("\xFF\xD8\xFF\xE0\0\x10JFIF\0binary", 17);
    server.Push(LoopbackServer::Response(200, "OK", "Content-Type: image/jpeg\r\n", picture));
    LoopbackTlsServer tls(server.Port());
    ASSERT_TRUE(tls.Ready());
    std::string url = tls.Url("/cover/c1.jpg");
    TextVar headers, responseHeaders;
    OwnedResult body(
        WinInetVisit({.address = url.c_str(), .requestHeaders = &headers, .responseHeaders = &responseHeaders}));
    EXPECT_EQ(body.Bytes(), picture);
    EXPECT_EQ(responseHeaders.Str().rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << responseHeaders.Str();
    ASSERT_EQ(server.Requests().size(), 1u);
    LoopbackRequest r = server.Requests()[0];
    EXPECT_EQ(r.Target(), "/cover/c1.jpg");
    EXPECT_EQ(r.Header("Referer"), url);
    EXPECT_EQ(r.Header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)");
}

// A certificate the system does not trust ends the exchange before any
// request leaves: each routine fails as it does for a server it cannot
// reach, and releases everything it made.
TEST_F(HttpsExchangeTest, UntrustedCertificateFailsBeforeAnyRequest)
{
    LoopbackTlsServer tls(server.Port(), LoopbackTlsServer::Certificate::kUntrusted);
    ASSERT_TRUE(tls.Ready());
    std::string url = tls.Url("/cover/c1.jpg");
    server.SetRouter([](const LoopbackRequest&) {
        return LoopbackReply{LoopbackServer::Response(200, "OK", "", "must not be read")};
    });
    HeapBalance balance;
    {
        TextVar status("before"), headers("kept");
        OwnedResult text(WinHttpVisit(
            {.address = url.c_str(), .responseHeaders = &headers, .timeoutSeconds = 5, .statusText = &status}));
        EXPECT_EQ(text.block, nullptr);
        EXPECT_EQ(status.Str(), kMsg711);
        EXPECT_EQ(headers.Str(), "kept");

        TextVar requestHeaders, responseHeaders;
        OwnedResult body(WinInetVisit(
            {.address = url.c_str(), .requestHeaders = &requestHeaders, .responseHeaders = &responseHeaders}));
        EXPECT_EQ(body.block, nullptr);
    }
    EXPECT_EQ(balance.Delta(), 0);
    // Both reached the front and refused what it showed them.
    EXPECT_TRUE(tls.WaitForConnections(2, 5000)) << tls.Connections();
    EXPECT_TRUE(server.Requests().empty());
}

// On its own, the CTest cleanup entry tls_trust_cleanup after every test run
// that used a test CA: what processes that died left behind goes.
TEST(TlsTrustCleanup, NoTestCaLeftTrusted) { EXPECT_EQ(TestCaTrust::RemoveLeftovers(), 0); }

}  // namespace
