#include "app/web/cookies.h"
#include "app/web/url_split.h"

#include "tests/support/heap_balance.h"

#include <gtest/gtest.h>

namespace {

struct HostCase {
    const char* address;
    bool mainDomainOnly;
    bool keepPort;
    const char* host;
};

TEST(HostOfUrl, SplitsHostWithoutLevels)
{
    const HostCase cases[] = {
        {"HTTP://A.B.C:8080/x/y", false, false, "a.b.c"},
        {"HTTP://A.B.C:8080/x/y", false, true, "a.b.c:8080"},
        {"HTTP://A.B.C:8080/x/y", true, false, "b.c"},
        {"a.b.c/x", false, false, "a.b.c"},
        {"https://a.b.c", false, false, "a.b.c"},
        {"https://a.b.c:444/p", false, true, "a.b.c:444"},
        {"http://localhost/x", true, false, "localhost"},
        {"http://a.b.c?q=1", false, false, "a.b.c?q=1"},
        {"", false, false, ""},
        {"http://", false, false, ""},
        {"http://\xD6\xD0\xCE\xC4.com/", false, false, "\xD6\xD0\xCE\xC4.com"},
    };
    for (const HostCase& c : cases) {
        EXPECT_EQ(web::HostOfUrl(c.address, c.mainDomainOnly, c.keepPort), c.host) << c.address;
    }
}

TEST(HostOfUrl, LevelsAlgorithm)
{
    struct LevelCase {
        const char* address;
        bool mainDomainOnly;
        int32_t levels;
        const char* host;
    };
    const LevelCase cases[] = {
        {"http://w.a.b.c/x", false, 1, "a.b.c"},
        {"http://w.a.b.c/x", true, 1, "b.c"},
        {"http://w.a.b.c/x", true, 0, "c"},
        {"https://b.c", false, 1, "b.c"},
        {"http://w.a.b.c:80/x", false, 0, "b.c"},
        {"http://abc/x", true, 3, "abc"},
        {"http://w.a.b.c/x", false, -5, "b.c"},
        {"http://w.a.b.c/x", false, 2000000000, "w.a.b.c"},
    };
    for (const LevelCase& c : cases) {
        EXPECT_EQ(web::HostOfUrl(c.address, c.mainDomainOnly, false, c.levels), c.host)
            << c.address << " levels " << c.levels;
    }
}

TEST(PortOfUrl, ExplicitOrBySchemes)
{
    const std::pair<const char*, int32_t> cases[] = {
        {"http://a.b.c:8080/x", 8080}, {"https://a.b.c/x", 443}, {"HTTPS://a.b.c/x", 443},
        {"http://a.b.c/x", 80},        {"a.b.c:abc", 0},         {"http://h:99999999999/", 2147483647},
        {"http://h:-1/", -1},
    };
    for (const auto& [address, port] : cases) EXPECT_EQ(web::PortOfUrl(address), port) << address;
}

TEST(PathOfUrl, PathAndQueryAfterHost)
{
    const std::pair<const char*, const char*> cases[] = {
        {"http://a.b.c/x/y?q=1", "/x/y?q=1"},
        {"http://a.b.c", "/"},
        {"http://a.b.c?q=1", "/"},
        {"http://A.B.C/X", "/X"},
        {"http://t/x", "//t/x"},  // the host also occurs inside the scheme
        {"", "/"},
        {"http://127.0.0.1:8080/a?b=1", "/a?b=1"},
    };
    for (const auto& [address, path] : cases) EXPECT_EQ(web::PathOfUrl(address), path) << address;
}

TEST(HeaderValue, AfterFirstColonTrimmed)
{
    EXPECT_EQ(web::HeaderValue("User-Agent:  X  "), "X");
    EXPECT_EQ(web::HeaderValue("Host: a:80"), "a:80");
    EXPECT_EQ(web::HeaderValue("no colon"), "");
    EXPECT_EQ(web::HeaderValue("a:\xA1\xA1v\xA1\xA1"), "v");
}

// Every step takes a fresh block from a command; none may outlive the call,
// whichever branch the input takes.
TEST(WebTextRoutines, ReleaseEveryBlockTheCommandsReturn)
{
    const char* addresses[] = {
        "HTTP://A.B.C:8080/x/y",
        "https://a.b.c",
        "a.b.c:abc",
        "http://t/x",
        "",
        "x.y",
        "http://\xD6\xD0\xCE\xC4.com/p?q=1",
    };
    const char* headerBlocks[] = {
        "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n\r\n",
        "",
        "a=1; b=deleted; ; a=1",
    };
    HeapBalance balance;
    for (const char* address : addresses) {
        web::HostOfUrl(address);
        web::HostOfUrl(address, true, true);
        for (int32_t levels : {-1, 0, 1, 3}) web::HostOfUrl(address, levels & 1, true, levels);
        web::PortOfUrl(address);
        web::PathOfUrl(address);
        web::HeaderValue(address);
        for (const char* block : headerBlocks) {
            web::CookiesOfHeaders(block);
            web::RemoveDuplicateItems(block, "; ");
            std::string cookies = address, received = block;
            web::MergeCookies(cookies, received);
        }
    }
    EXPECT_EQ(balance.Delta(), 0);
}

}  // namespace
