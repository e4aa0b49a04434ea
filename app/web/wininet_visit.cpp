#include "app/web/wininet_visit.h"

#include "app/call.h"
#include "app/web/cookies.h"
#include "app/web/dll_declarations.h"
#include "app/web/download_limits.h"
#include "app/web/gbk_text.h"
#include "app/web/url_split.h"
#include "app/web/web_values.h"
#include "runtime/commands/conversion_commands.h"
#include "runtime/commands/text_commands.h"
#include "runtime/core/dll_commands.h"
#include "runtime/core/heap.h"

#include <windows.h>
#include <wininet.h>

#include <string>

namespace web {
namespace {

constexpr DWORD kReadPiece = 1024;
constexpr DWORD kHeaderBuffer = 5000;
constexpr DWORD kHeaderGuard = 64 * 1024;

// Owns the three WinInet handles; closes request, connection, session.
struct InternetHandles {
    HINTERNET session = nullptr;
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;
    ~InternetHandles()
    {
        if (request) DllCall<BOOL>(kInternetCloseHandle, request);
        if (connection) DllCall<BOOL>(kInternetCloseHandle, connection);
        if (session) DllCall<BOOL>(kInternetCloseHandle, session);
    }
};

std::string UserAgentOf(const std::string& headers)
{
    if (!Contains(headers, "User-Agent:", true)) return "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
    std::string agent = TrimBoth(TextBetween(headers + "\r\n", "User-Agent:", "\r\n"));
    return agent.empty() ? HeaderValue(headers) : agent;
}

// Appends the default lines to the caller's headers (case-sensitive
// searches, so accept: in lower case does not count as an Accept line).
std::string WithDefaultHeaders(std::string headers, const std::string& address, const std::string& cookies)
{
    if (headers.empty()) headers = "Accept: */*";
    else if (!Contains(headers, "Accept:")) headers += "\r\nAccept: */*";
    if (!Contains(headers, "Referer:")) {
        headers += "\r\nReferer: ";
        headers += address;
    }
    if (!Contains(headers, "Accept-Language:")) headers += "\r\nAccept-Language: zh-cn";
    if (!Contains(headers, "Content-Type:")) headers += "\r\nContent-Type: application/x-www-form-urlencoded";
    if (!cookies.empty()) {
        // A cookie text that holds "Cookie:" is a whole header line already.
        headers += Contains(cookies, "Cookie:") ? "\r\n" : "\r\nCookie: ";
        headers += cookies;
    }
    return headers;
}

// Gives every blocking wait (connect, send, each receive) only the time left
// before the deadline; set on the connection, the request inherits them.
// Without a deadline the routine sets no time-out at all, as it always has.
void BoundWaits(HINTERNET handle, const DownloadLimits& limits, bool receiveOnly)
{
    if (!limits.HasDeadline()) return;
    DWORD left = limits.Bound(UINT32_MAX);
    for (DWORD option : {DWORD{INTERNET_OPTION_RECEIVE_TIMEOUT}, DWORD{INTERNET_OPTION_CONNECT_TIMEOUT},
                         DWORD{INTERNET_OPTION_SEND_TIMEOUT}}) {
        DllCall<BOOL>(kInternetSetOptionA, handle, option, static_cast<void*>(&left), DWORD{sizeof left});
        if (receiveOnly) break;
    }
}

}  // namespace

ByteSet WinInetVisit(const WinInetVisitArgs& args)
{
    static const char* const kVerbs[] = {"GET", "POST", "HEAD"};
    DownloadLimits limits(args.maxBodyBytes, args.deadlineMs);
    int32_t method = (args.method < 0 || args.method > 2) ? 0 : args.method;
    std::string address(TextView(args.address));
    bool secure = ToLower(LeftText(address, 8)) == "https://";
    std::string callerHeaders(args.requestHeaders ? TextView(*args.requestHeaders) : std::string_view());
    std::string agent = UserAgentOf(callerHeaders);

    InternetHandles h;
    std::string_view proxy = TextView(args.proxyAddress);
    std::string proxyName = secure ? std::string(proxy) : "http=" + std::string(proxy);
    if (proxy.empty()) {
        h.session = DllCall<HINTERNET>(kInternetOpenA, agent.c_str(), DWORD{INTERNET_OPEN_TYPE_DIRECT}, "", "",
                                       DWORD{0});
    } else {
        h.session = DllCall<HINTERNET>(kInternetOpenA, agent.c_str(), DWORD{INTERNET_OPEN_TYPE_PROXY},
                                       proxyName.c_str(), "", DWORD{0});
    }
    if (!h.session) return nullptr;

    std::string host = HostOfUrl(address);
    auto port = static_cast<INTERNET_PORT>(PortOfUrl(address));
    h.connection = DllCall<HINTERNET>(kInternetConnectA, h.session, host.c_str(), port, "", "",
                                      DWORD{INTERNET_SERVICE_HTTP}, DWORD{0}, DWORD_PTR{0});
    if (!h.connection) return nullptr;

    BoundWaits(h.connection, limits, false);
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NEED_FILE;
    if (args.cookies) flags |= INTERNET_FLAG_NO_COOKIES;
    if (args.noRedirect) flags |= INTERNET_FLAG_NO_AUTO_REDIRECT;
    flags |= secure ? INTERNET_FLAG_SECURE : INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
    std::string path = PathOfUrl(address);
    h.request = DllCall<HINTERNET>(kHttpOpenRequestA, h.connection, kVerbs[method], path.c_str(), "HTTP/1.1", "",
                                   static_cast<const char**>(nullptr), flags, DWORD_PTR{0});
    if (!h.request) return nullptr;

    std::string cookies(args.cookies ? TextView(*args.cookies) : std::string_view());
    std::string headers = WithDefaultHeaders(callerHeaders, address, cookies);
    StoreText(args.requestHeaders, headers);

    if (method == 0) {
        DllCall<BOOL>(kHttpSendRequestA, h.request, headers.c_str(), static_cast<DWORD>(headers.size()),
                      static_cast<void*>(nullptr), DWORD{0});
    } else {
        ByteSet fallback = nullptr;  // postBytes when the caller left it out
        ByteSet* postBytes = args.postBytes ? args.postBytes : &fallback;
        if (ByteSetLength(*postBytes) == 0) StoreByteSet(postBytes, Call::Bytes(::ToByteSet, args.postData).Release());
        uint32_t length = ByteSetLength(*postBytes);
        DllCall<BOOL>(kHttpSendRequestA, h.request, headers.c_str(), static_cast<DWORD>(headers.size()),
                      length ? static_cast<void*>(ByteSetData(*postBytes)) : nullptr, static_cast<DWORD>(length));
        RuntimeFree(fallback);
    }

    BodyBuffer body;
    uint8_t piece[kReadPiece] = {};
    for (;;) {
        DWORD want = kReadPiece;
        if (limits.HasDeadline()) {
            // A read waits until its whole piece has come, which a server
            // sending a byte now and then can put off for ever; so with a
            // deadline each read takes only what has arrived, and only the
            // wait for it blocks, bounded by the time left.
            BoundWaits(h.request, limits, true);
            DWORD available = 0;
            BOOL more = DllCall<BOOL>(kInternetQueryDataAvailable, h.request, &available, DWORD{0}, DWORD_PTR{0});
            if (limits.Expired()) return nullptr;
            if (!more || available == 0) break;
            want = std::min(available, kReadPiece);
        }
        DWORD read = 0;
        BOOL ok = DllCall<BOOL>(kInternetReadFile, h.request, piece, want, &read);
        // Past a limit the download is abandoned: the handles close as `h`
        // goes, the body is released, and the caller gets the empty body of a
        // failed request. (A read cut short by the deadline is no end of body.)
        if (limits.Expired() || !limits.BodyFits(uint64_t{body.Size()} + std::min(read, want))) return nullptr;
        // A failed read reports 0 bytes and so ends the body, like its end.
        if (!ok || read == 0) break;
        body.Append(piece, std::min(read, want));
    }

    // The service is told of 5000 bytes; the block behind them is larger, so
    // a query that wrote past the length it was given would still stay inside
    // our memory. A header block that did not fit within the 5000 bytes (or
    // no response at all) leaves the 5000 spaces.
    std::string buffer(kHeaderBuffer + kHeaderGuard, ' ');
    DWORD headerLength = kHeaderBuffer;
    BOOL queried = DllCall<BOOL>(kHttpQueryInfoA, h.request, DWORD{HTTP_QUERY_RAW_HEADERS_CRLF}, buffer.data(),
                                 &headerLength, static_cast<DWORD*>(nullptr));
    OwnedText received = Call::Text(::ToText, buffer.c_str());
    std::string responseHeaders = queried && headerLength < kHeaderBuffer && received.Length() < kHeaderBuffer
                                      ? std::string(received.View())
                                      : std::string(Call::Text(::SpaceText, kHeaderBuffer).View());
    responseHeaders = ReplaceAll(responseHeaders, "Set-Cookie", "Set-Cookie", false);
    StoreText(args.responseHeaders, responseHeaders);

    std::string newCookies = CookiesOfHeaders(responseHeaders);
    if (args.cookies) {
        MergeCookies(cookies, newCookies);
        StoreText(args.cookies, cookies);
        newCookies = cookies;
    }
    StoreText(args.newCookies, newCookies);
    return body.Release();
}

}  // namespace web
