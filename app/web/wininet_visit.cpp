#include "app/web/wininet_visit.h"

#include "app/call.h"
#include "app/owned.h"
#include "app/web/async_completion.h"
#include "app/web/cookies.h"
#include "app/web/dll_declarations.h"
#include "app/web/download_limits.h"
#include "app/web/gbk_text.h"
#include "app/web/url_split.h"
#include "app/web/web_probes.h"
#include "app/web/web_values.h"
#include "app/web/wide_text.h"
#include "runtime/commands/conversion_commands.h"
#include "runtime/commands/text_commands.h"
#include "runtime/core/dll_commands.h"
#include "runtime/core/heap.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace web {
namespace {

// Each read asks for this much: the platform hands over what it has, up to
// that, so a large download takes few round trips and a small one no more.
constexpr DWORD kReadPiece = 64 * 1024;
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

// A GBK text of the program for the wide functions: converted here, so that
// no machine's own code page comes into it.
std::wstring Wide(std::string_view gbk)
{
    std::vector<uint8_t> bytes = TextToWide(gbk, true);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

// Header text as WinInet's wide functions take and give it: each byte one
// UTF-16 unit (ISO-8859-1), whatever the machine's code page, so the bytes
// on the wire are the program's own, GBK ones included.
std::wstring HeaderWide(std::string_view bytes)
{
    std::wstring wide(bytes.size(), L'\0');
    std::transform(bytes.begin(), bytes.end(), wide.begin(),
                   [](char c) { return static_cast<wchar_t>(static_cast<unsigned char>(c)); });
    return wide;
}

std::string HeaderBytes(std::wstring_view wide)
{
    std::string bytes;
    bytes.reserve(wide.size());
    for (wchar_t c : wide) {
        if (c <= 0xFF) {
            bytes += static_cast<char>(c);
            continue;
        }
        // Never on Windows, which gives each byte as one unit up to U+00FF.
        // Wine reads received headers in the machine's code page instead;
        // encoding such a character back in that page gives its bytes again.
        char back[8] = {};
        int n = DllCall<int>(kWideCharToMultiByte, UINT{CP_ACP}, DWORD{0}, &c, 1, back, int{sizeof back},
                             static_cast<const char*>(nullptr), static_cast<BOOL*>(nullptr));
        bytes.append(back, n > 0 ? static_cast<size_t>(n) : 0);
    }
    return bytes;
}

// The object path (with its query) as it goes on the wire: each byte of a
// GBK character as %XX. Left to the wide functions the path would go out as
// UTF-8 and the query in the machine's own code page, so machines would
// differ; escaped here, every machine sends the same ASCII bytes, and the
// server reads the program's GBK bytes from them.
std::string EscapedPath(std::string_view path)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : path) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

std::string UserAgentOf(const std::string& headers)
{
    if (!Contains(headers, "User-Agent:", true)) return "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
    std::string agent = TrimBoth(TextBetween(headers + "\r\n", "User-Agent:", "\r\n"));
    return agent.empty() ? HeaderValue(headers) : agent;
}

uint32_t StatusCode(HINTERNET request)
{
    DWORD status = 0;
    DWORD size = sizeof status;
    DllCall<BOOL>(kHttpQueryInfoW, request, DWORD{HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER},
                  static_cast<void*>(&status), &size, static_cast<DWORD*>(nullptr));
    return status;
}

// Read as text: a length wider than 32 bits does not fit the number form.
std::optional<uint64_t> DeclaredLength(HINTERNET request)
{
    wchar_t value[128] = {};
    DWORD size = sizeof value - sizeof value[0];  // in bytes
    if (!DllCall<BOOL>(kHttpQueryInfoW, request, DWORD{HTTP_QUERY_CONTENT_LENGTH}, static_cast<void*>(value), &size,
                       static_cast<DWORD*>(nullptr))) {
        return std::nullopt;
    }
    return DownloadLimits::ParseDeclaredLength(HeaderBytes(std::wstring_view(value, std::min<DWORD>(size / 2, 127))));
}

// Appends the default lines to the caller's headers (case-sensitive
// searches, so accept: in lower case does not count as an Accept line).
std::string WithDefaultHeaders(std::string headers, const std::string& address, const std::string& cookies)
{
    if (headers.empty())
        headers = "Accept: */*";
    else if (!Contains(headers, "Accept:"))
        headers += "\r\nAccept: */*";
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

// A number option (a wait in ms, a code page, a switch).
void SetNumber(HINTERNET handle, DWORD option, DWORD value)
{
    DllCall<BOOL>(kInternetSetOptionW, handle, option, static_cast<void*>(&value), DWORD{sizeof value});
}

// The wide functions would send a host name with characters beyond ASCII
// as an international domain name, and without that in the machine's code
// page; a Chinese machine's ANSI calls sent it as the program's GBK bytes.
// Asked for GBK, every machine sends those same bytes.
void SendHostAsGbk(HINTERNET handle)
{
    SetNumber(handle, INTERNET_OPTION_IDN, 0);
    SetNumber(handle, INTERNET_OPTION_CODEPAGE, 936);
}

// With a deadline the exchange runs in WinInet's asynchronous mode: sending
// and each read are started and their completion awaited for no longer than
// the time left, and at the deadline the handles are closed, which is how
// WinInet cancels pending I/O. In synchronous mode no step can be cut short:
// the time-outs are per receive, so a response head or a redirect that comes
// a byte a second passes them all, and closing a handle while a call uses it
// is not safe.
//
// What a pending call may still use after the exchange gave up on it: a
// cancelled send the header text and the body, a cancelled read its buffer
// and count.
struct InetCompletion : AsyncCompletion {
    using AsyncCompletion::AsyncCompletion;
    DWORD read = 0;
    std::vector<uint8_t> piece = std::vector<uint8_t>(kReadPiece);
    std::wstring headers;
    std::vector<uint8_t> sent;
};

void CALLBACK OnInternetStatus(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD)
{
    auto* state = reinterpret_cast<InetCompletion*>(context);
    if (!state) return;
    if (status == INTERNET_STATUS_HANDLE_CLOSING) {
        state->Release();  // this handle's reference: nothing follows its closing notice
    } else if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
        // One kind for every step: WinInet's completion does not say which
        // call it ends, so only the open step's first one counts.
        const auto* outcome = static_cast<const INTERNET_ASYNC_RESULT*>(info);
        state->Complete(0, outcome->dwResult != 0, outcome->dwError);
    }
}

using Outcome = AsyncCompletion::Outcome;

// The asynchronous state, for a download under a deadline: the call holds
// one reference, and each handle made with Context() another until its
// closing notice.
class Steps {
public:
    explicit Steps(const DownloadLimits& limits) : limits_(limits)
    {
        if (limits.HasDeadline()) state_ = new InetCompletion(ResolveDllCommand(kInternetSetStatusCallbackW));
    }
    ~Steps()
    {
        if (state_) state_->Release();
    }
    Steps(const Steps&) = delete;
    Steps& operator=(const Steps&) = delete;

    // False when a deadline cannot be kept: the download then fails rather
    // than wait without one.
    bool Usable() const { return !state_ || state_->Usable(); }
    InetCompletion* State() const { return state_; }
    // Never 0 in asynchronous mode: WinInet sends a handle's closing notice,
    // which releases the handle's reference, only for a handle made with a
    // context.
    DWORD_PTR Context() const { return reinterpret_cast<DWORD_PTR>(state_); }
    void Made(HINTERNET handle)
    {
        if (handle && state_) state_->AddRef();
    }

    // Just before a step's call, in asynchronous mode: only a completion
    // that comes from now on ends the step.
    void Begin()
    {
        if (state_) state_->Begin();
    }
    // A step's call has returned `finished`: in asynchronous mode a pending
    // one is awaited within the time left.
    Outcome Await(BOOL finished)
    {
        using Returned = AsyncCompletion::Returned;
        DWORD error = finished ? 0 : GetLastError();
        if (!state_) return finished ? Outcome::Done : Outcome::Failed;
        Returned returned = finished                    ? Returned::Finished
                            : error == ERROR_IO_PENDING ? Returned::Pending
                                                        : Returned::Failed;
        return state_->Await(returned, limits_);
    }

private:
    const DownloadLimits& limits_;
    InetCompletion* state_ = nullptr;  // owned reference
};

}  // namespace

ByteSet WinInetVisit(const WinInetVisitArgs& args)
{
    static const wchar_t* const kVerbs[] = {L"GET", L"POST", L"HEAD"};
    DownloadLimits limits(args.maxBodyBytes, args.deadlineMs);
    int32_t method = (args.method < 0 || args.method > 2) ? 0 : args.method;
    std::string address(TextView(args.address));
    bool secure = ToLower(LeftText(address, 8)) == "https://";
    std::string callerHeaders(args.requestHeaders ? TextView(*args.requestHeaders) : std::string_view());
    std::string agent = UserAgentOf(callerHeaders);

    // Declared before the handles, which close first: each holds a
    // reference to the asynchronous state.
    Steps steps(limits);
    if (!steps.Usable()) return nullptr;
    InternetHandles h;
    std::string_view proxy = TextView(args.proxyAddress);
    std::wstring proxyName = Wide(secure ? std::string(proxy) : "http=" + std::string(proxy));
    // The agent goes out as the User-Agent header line.
    std::wstring wideAgent = HeaderWide(agent);
    DWORD openFlags = steps.State() ? INTERNET_FLAG_ASYNC : 0;
    if (proxy.empty()) {
        h.session = DllCall<HINTERNET>(kInternetOpenW, wideAgent.c_str(), DWORD{INTERNET_OPEN_TYPE_DIRECT}, L"", L"",
                                       openFlags);
    } else {
        h.session = DllCall<HINTERNET>(kInternetOpenW, wideAgent.c_str(), DWORD{INTERNET_OPEN_TYPE_PROXY},
                                       proxyName.c_str(), L"", openFlags);
    }
    if (!h.session) return nullptr;
    if (steps.State() && DllCall<INTERNET_STATUS_CALLBACK>(kInternetSetStatusCallbackW, h.session, &OnInternetStatus) ==
                             INTERNET_INVALID_STATUS_CALLBACK) {
        return nullptr;
    }

    std::wstring host = Wide(HostOfUrl(address));
    auto port = static_cast<INTERNET_PORT>(PortOfUrl(address));
    h.connection = DllCall<HINTERNET>(kInternetConnectW, h.session, host.c_str(), port, L"", L"",
                                      DWORD{INTERNET_SERVICE_HTTP}, DWORD{0}, steps.Context());
    steps.Made(h.connection);
    if (!h.connection) return nullptr;
    SendHostAsGbk(h.connection);

    if (limits.HasDeadline()) {
        // The platform's own waits end with the deadline too, so that an
        // abandoned request stops there as well; the request inherits them.
        DWORD left = limits.Bound(UINT32_MAX);
        SetNumber(h.connection, INTERNET_OPTION_CONNECT_TIMEOUT, left);
        SetNumber(h.connection, INTERNET_OPTION_SEND_TIMEOUT, left);
        SetNumber(h.connection, INTERNET_OPTION_RECEIVE_TIMEOUT, left);
    }
    // Nothing is read from the cache, so nothing need be kept in it: each
    // download would otherwise add an entry to the user's URL cache (and its
    // index, which the process maps) for the rest of a long run. Nor is a
    // file asked for: the body is only ever read into memory, and a request
    // that needs a file gets a temporary one for a download it may not cache
    // (and under Wine a cache entry after all), one per cover.
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
    if (args.cookies) flags |= INTERNET_FLAG_NO_COOKIES;
    if (args.noRedirect) flags |= INTERNET_FLAG_NO_AUTO_REDIRECT;
    flags |= secure ? INTERNET_FLAG_SECURE : INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
    std::wstring path = Wide(EscapedPath(PathOfUrl(address)));
    h.request = DllCall<HINTERNET>(kHttpOpenRequestW, h.connection, kVerbs[method], path.c_str(), L"HTTP/1.1", L"",
                                   static_cast<const wchar_t**>(nullptr), flags, steps.Context());
    steps.Made(h.request);
    if (!h.request) return nullptr;
    SendHostAsGbk(h.request);

    std::string cookies(args.cookies ? TextView(*args.cookies) : std::string_view());
    std::string headers = WithDefaultHeaders(callerHeaders, address, cookies);

    // The caller's variables take the headers and the body bytes once the
    // body is in; a download abandoned before leaves them as they were.
    OwnedBytes madeBytes;  // the bytes of postData, when the caller gave no body bytes
    const uint8_t* postBytes = nullptr;
    if (method != 0) {
        if (args.postBytes && ByteSetLength(*args.postBytes) != 0) {
            postBytes = *args.postBytes;
        } else {
            madeBytes = Call::Bytes(::ToByteSet, args.postData);
            postBytes = madeBytes.Get();
        }
    }
    uint32_t postLength = ByteSetLength(postBytes);
    std::wstring wideHeaders = HeaderWide(headers);
    const wchar_t* headerText = wideHeaders.c_str();
    const uint8_t* postData = ByteSetData(postBytes);
    if (InetCompletion* state = steps.State()) {
        // A send abandoned at the deadline may go on reading them after the
        // call has returned.
        state->headers = wideHeaders;
        state->sent.assign(postData, postData + postLength);
        headerText = state->headers.c_str();
        postData = state->sent.data();
    }
    steps.Begin();
    // The length in characters: the wide form takes no -1 for a terminated text.
    BOOL sent = DllCall<BOOL>(kHttpSendRequestW, h.request, headerText, static_cast<DWORD>(wideHeaders.size()),
                              postLength ? const_cast<uint8_t*>(postData) : nullptr, static_cast<DWORD>(postLength));
    // Failures of sending are not detected: the read below finds nothing.
    if (steps.Await(sent) == Outcome::Expired) return nullptr;

    BodyBuffer body;
    // A body declared longer than the cap is refused before any of it is
    // read; one declared within it is read into one block of its size.
    const std::optional<uint64_t> declared = DeclaredLength(h.request);
    if (limits.DeclaresTooMuch(method == 2, StatusCode(h.request), declared)) return nullptr;
    if (declared) body.ReserveDeclared(*declared);
    std::vector<uint8_t> syncPiece(steps.State() ? 0 : kReadPiece);
    for (;;) {
        if (limits.HasDeadline()) SetNumber(h.request, INTERNET_OPTION_RECEIVE_TIMEOUT, limits.Bound(UINT32_MAX));
        InetCompletion* state = steps.State();
        uint8_t* piece = state ? state->piece.data() : syncPiece.data();
        DWORD syncRead = 0;
        steps.Begin();
        Outcome step = steps.Await(
            DllCall<BOOL>(kInternetReadFile, h.request, piece, kReadPiece, state ? &state->read : &syncRead));
        // Past the deadline the download is abandoned: the handles close as
        // `h` goes, and the caller gets the empty body of a failed request. A
        // body cut off by the deadline is no body at all, not a shorter one.
        if (step == Outcome::Expired || limits.Expired()) return nullptr;
        // A failed read ends the body, like its end.
        if (step == Outcome::Failed) break;
        // The count only of a finished read: one given up on may still write it.
        DWORD got = std::min(state ? state->read : syncRead, kReadPiece);
        if (got == 0) break;
        ProbeBodyBytesRead(got);
        // Past the cap likewise, before the piece is taken.
        if (!limits.BodyFits(uint64_t{body.Size()} + got)) return nullptr;
        body.Append(piece, got);
    }
    StoreText(args.requestHeaders, headers);
    if (madeBytes.Get() && args.postBytes) StoreByteSet(args.postBytes, madeBytes.Release());

    // The service is told of 5000 characters; the block behind them is
    // larger, so a query that wrote past the length it was given would still
    // stay inside our memory. A header block that did not fit within the 5000
    // (or no response at all) leaves the 5000 spaces.
    std::wstring buffer(kHeaderBuffer + kHeaderGuard, L' ');
    DWORD headerLength = kHeaderBuffer * sizeof(wchar_t);  // in bytes, both ways
    BOOL queried = DllCall<BOOL>(kHttpQueryInfoW, h.request, DWORD{HTTP_QUERY_RAW_HEADERS_CRLF}, buffer.data(),
                                 &headerLength, static_cast<DWORD*>(nullptr));
    std::string block = HeaderBytes(buffer.c_str());
    OwnedText received = Call::Text(::ToText, block.c_str());
    std::string responseHeaders =
        queried && headerLength / sizeof(wchar_t) < kHeaderBuffer && received.Length() < kHeaderBuffer
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
