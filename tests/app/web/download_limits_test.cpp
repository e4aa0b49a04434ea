// The two limits a caller may put on a download from an untrusted server,
// the largest body and a deadline over the whole call, for both request
// routines: whatever the server does, and in whichever phase, a download past
// either ends in time as a failed request, with nothing written to the
// caller's variables and everything it made released.
#include "app/web/winhttp_visit.h"
#include "app/web/wininet_visit.h"

#include "tests/app/web/inet_cache.h"
#include "tests/app/web/loopback_server.h"
#include "tests/app/web/web_test_support.h"
#include "tests/support/heap_balance.h"

#include <gtest/gtest.h>

#include <winsock2.h>

#include <windows.h>

#include <functional>
#include <string>

namespace {

using web::WinHttpVisit;
using web::WinInetVisit;

// A port on 127.0.0.1 whose listener never accepts and whose queue is full.
// Linux leaves a further connection attempt pending until the client gives
// up; Windows refuses it at once (WSAECONNREFUSED).
class NeverAccepting {
public:
    NeverAccepting()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 0);
        int length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        // Fill the queue: further attempts go unanswered.
        for (SOCKET& s : fillers_) {
            s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            u_long nonBlocking = 1;
            ioctlsocket(s, FIONBIO, &nonBlocking);
            connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
        Sleep(100);
    }
    ~NeverAccepting()
    {
        for (SOCKET s : fillers_) closesocket(s);
        closesocket(listener_);
        WSACleanup();
    }
    std::string Url(const char* path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

private:
    SOCKET listener_ = INVALID_SOCKET;
    SOCKET fillers_[4] = {INVALID_SOCKET, INVALID_SOCKET, INVALID_SOCKET, INVALID_SOCKET};
    uint16_t port_ = 0;
};

class DownloadLimitsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InstallWebDllCommands(); }
    static void TearDownTestSuite() { RemoveCachedDownloads(L"limits-test"); }
};

const char kMsg711[] = "711 \xB7\xA2\xCB\xCD\xC7\xEB\xC7\xF3\xCA\xA7\xB0\xDC!";
const char kMsg712[] = "712 \xB7\xFE\xCE\xF1\xC6\xF7\xCE\xB4\xCF\xEC\xD3\xA6!";
const char kMsg713[] = "713 \xB6\xC1\xC8\xA1\xCA\xFD\xBE\xDD\xCA\xA7\xB0\xDC!";
const std::string kHead = "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n";

LoopbackReply Generated(uint64_t n, bool sized)
{
    LoopbackReply r{kHead + (sized ? "Content-Length: " + std::to_string(n) + "\r\n" : "Connection: close\r\n") +
                    "\r\n"};
    r.generatedBodyBytes = n;
    r.closeAfter = !sized;
    return r;
}

// Each hop answers after 0.9 s with a redirect to the next; the sixth has
// the body.
LoopbackReply SlowHop(const LoopbackRequest& request)
{
    int hop = std::atoi(request.Target().c_str() + std::string("/limits-test/hop").size());
    LoopbackReply reply{hop < 6 ? LoopbackServer::Response(
                                      302, "Found", "Location: /limits-test/hop" + std::to_string(hop + 1) + "\r\n", "")
                                : LoopbackServer::Response(200, "OK", "", "arrived")};
    reply.delayMs = 900;
    return reply;
}

TEST_F(DownloadLimitsTest, SlowOrEndlessServersEndAsFailedDownloadsInTime)
{
    LoopbackReply silent;
    silent.silent = true;
    LoopbackReply tricklingHead{kHead + "Content-Length: 5\r\n\r\nbytes"};
    tricklingHead.trickleIntervalMs = 1000;
    LoopbackReply drip{kHead + "Content-Length: 5000\r\n\r\n"};
    drip.dripIntervalMs = 700;
    LoopbackReply lateHead = Generated(10, true);
    lateHead.delayMs = 4000;
    struct Case {
        const char* name;
        LoopbackReply reply;
        std::function<LoopbackReply(const LoopbackRequest&)> router;  // instead of the reply
        bool neverAccepting;
        uint32_t maxBodyBytes;
        uint32_t deadlineMs;
        uint64_t bodyKept;  // 0: abandoned
        double minSeconds, maxSeconds;
        const char* httpStatus;  // WinHttp's status text: a failed read, or no answer in time
    };
    const Case cases[] = {
        {"no limits, as before", Generated(300000, true), nullptr, false, 0, 0, 300000, 0, 30, "200 OK"},
        {"body exactly at the cap", Generated(100000, true), nullptr, false, 100000, 0, 100000, 0, 20, "200 OK"},
        {"one byte past the cap", Generated(100001, true), nullptr, false, 100000, 0, 0, 0, 20, kMsg713},
        {"a body that never ends", Generated(UINT64_MAX, false), nullptr, false, 300000, 0, 0, 0, 20, kMsg713},
        {"a server that never accepts", {}, nullptr, true, 0, 1500, 0, 1.4, 3.5, kMsg712},
        {"a server that accepts and never answers", silent, nullptr, false, 0, 1500, 0, 1.4, 3.5, kMsg712},
        {"a response head a byte a second", tricklingHead, nullptr, false, 0, 1500, 0, 1.4, 3.5, kMsg712},
        {"redirects through slow hops", {}, SlowHop, false, 0, 1500, 0, 1.4, 3.5, kMsg712},
        {"a body a byte every 0.7 s", drip, nullptr, false, 0, 1500, 0, 1.4, 3.5, kMsg713},
        {"a head that comes too late", lateHead, nullptr, false, 0, 1000, 0, 0.9, 3.0, kMsg712},
    };
    for (const Case& c : cases) {
        for (bool winInet : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (winInet ? " (WinInet)" : " (WinHttp)"));
            LoopbackServer server;
            NeverAccepting closedDoor;
            if (c.router) {
                server.SetRouter(c.router);
            } else {
                server.Push(c.reply);
            }
            // WinInet saves downloads in the platform's cache (abandoned
            // parts too), under this name: removed when the suite ends.
            std::string url = c.neverAccepting ? closedDoor.Url("/limits-test") : server.Url("/limits-test/hop1");
            HeapBalance balance;
            {
                TextVar headers("kept"), status("before"), requestHeaders("X-Test: 1");
                ByteSetVar httpBody;
                ULONGLONG start = GetTickCount64();
                OwnedResult result(winInet ? static_cast<void*>(WinInetVisit({.address = url.c_str(),
                                                                              .requestHeaders = &requestHeaders,
                                                                              .responseHeaders = &headers,
                                                                              .maxBodyBytes = c.maxBodyBytes,
                                                                              .deadlineMs = c.deadlineMs}))
                                           : static_cast<void*>(WinHttpVisit({.address = url.c_str(),
                                                                              .responseHeaders = &headers,
                                                                              .statusText = &status,
                                                                              .responseBody = &httpBody,
                                                                              .maxBodyBytes = c.maxBodyBytes,
                                                                              .deadlineMs = c.deadlineMs})));
                double seconds = static_cast<double>(GetTickCount64() - start) / 1000.0;
                uint64_t kept = winInet ? ByteSetLength(result.block) : result.Text().size();
                EXPECT_EQ(kept, c.bodyKept);
                // Refused rather than left waiting (Windows): a failed send,
                // as early as the system says so.
                const bool refused = c.neverAccepting && (winInet ? seconds < c.minSeconds : status.Str() == kMsg711);
                if (!winInet) {
                    EXPECT_EQ(ByteSetLength(httpBody.value), c.bodyKept);
                    EXPECT_EQ(status.Str(), refused ? kMsg711 : c.httpStatus);
                }
                if (c.bodyKept == 0) {
                    EXPECT_EQ(result.block, nullptr);
                    EXPECT_EQ(headers.Str(), "kept");
                    EXPECT_EQ(requestHeaders.Str(), "X-Test: 1");
                }
                if (!refused) EXPECT_GE(seconds, c.minSeconds);
                EXPECT_LE(seconds, c.maxSeconds);
            }
            EXPECT_EQ(balance.Delta(), 0);
        }
    }
}

}  // namespace
