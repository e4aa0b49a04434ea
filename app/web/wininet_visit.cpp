#include "app/web/wininet_visit.h"

#include "app/call.h"
#include "app/owned.h"
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

#include <algorithm>
#include <string>
#include <vector>

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

// The body length the response declares (Content-Length), or 0.
uint64_t DeclaredLength(HINTERNET request)
{
    DWORD length = 0;
    DWORD size = sizeof length;
    BOOL ok = DllCall<BOOL>(kHttpQueryInfoA, request, DWORD{HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER},
                            static_cast<void*>(&length), &size, static_cast<DWORD*>(nullptr));
    return ok ? length : 0;
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

void SetWait(HINTERNET handle, DWORD option, DWORD ms)
{
    DllCall<BOOL>(kInternetSetOptionA, handle, option, static_cast<void*>(&ms), DWORD{sizeof ms});
}

// With a deadline the exchange runs in WinInet's asynchronous mode: sending
// and each read are started and their completion awaited for no longer than
// the time left, and at the deadline the handles are closed, which is how
// WinInet cancels pending I/O. In synchronous mode no step can be cut short:
// the time-outs are per receive, so a response head or a redirect that comes
// a byte a second passes them all, and closing a handle while a call uses it
// is not safe.
//
// The state the callbacks write lives until the call and each handle made
// with it are done with it: WinInet may call back up to a handle's closing
// notice.
struct AsyncState {
    HANDLE done = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // owned; set by each completion
    LONG refs = 1;                                               // the call, then each handle made with it
    DWORD_PTR result = 0;                                        // of the completed step
    DWORD error = 0;
    DWORD read = 0;                  // what a pending read wrote
    uint8_t piece[kReadPiece] = {};  // the read buffer: a cancelled read may still write it
    // What a pending send may still read: the header text and the body.
    std::string headers;
    std::vector<uint8_t> sent;

    void AddRef() { InterlockedIncrement(&refs); }
    void Release()
    {
        if (InterlockedDecrement(&refs) != 0) return;
        CloseHandle(done);
        delete this;
    }
};

void CALLBACK OnInternetStatus(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD)
{
    auto* state = reinterpret_cast<AsyncState*>(context);
    if (!state) return;
    if (status == INTERNET_STATUS_HANDLE_CLOSING) {
        state->Release();
    } else if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
        const auto* outcome = static_cast<const INTERNET_ASYNC_RESULT*>(info);
        state->result = outcome->dwResult;
        state->error = outcome->dwError;
        SetEvent(state->done);
    }
}

// Holds the asynchronous state for the call and, as a handle's context,
// for each handle made with it.
class Steps {
public:
    explicit Steps(const DownloadLimits& limits) : limits_(limits)
    {
        if (!limits.HasDeadline()) return;
        state_ = new AsyncState;
        if (!state_->done) {
            state_->Release();
            state_ = nullptr;
        }
    }
    ~Steps()
    {
        if (state_) state_->Release();
    }
    Steps(const Steps&) = delete;
    Steps& operator=(const Steps&) = delete;

    bool Async() const { return state_ != nullptr; }
    AsyncState* State() const { return state_; }
    DWORD_PTR Context() const { return reinterpret_cast<DWORD_PTR>(state_); }
    // A handle made with Context() holds a reference until it closes.
    void Made(HINTERNET handle)
    {
        if (handle && state_) state_->AddRef();
    }

    enum class Step { Done, Failed, Expired };
    // A step's call has returned `finished`: in asynchronous mode a pending
    // one is awaited within the time left.
    Step Await(BOOL finished)
    {
        if (finished) return Step::Done;
        if (!state_ || GetLastError() != ERROR_IO_PENDING) return Step::Failed;
        if (WaitForSingleObject(state_->done, limits_.LeftMs()) != WAIT_OBJECT_0) return Step::Expired;
        if (state_->result) return Step::Done;
        // A time-out of the platform's ends with the deadline.
        return state_->error == ERROR_INTERNET_TIMEOUT ? Step::Expired : Step::Failed;
    }

private:
    const DownloadLimits& limits_;
    AsyncState* state_ = nullptr;  // owned reference
};

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

    // Declared before the handles, which close first: each holds a
    // reference to the asynchronous state.
    Steps steps(limits);
    InternetHandles h;
    std::string_view proxy = TextView(args.proxyAddress);
    std::string proxyName = secure ? std::string(proxy) : "http=" + std::string(proxy);
    DWORD openFlags = steps.Async() ? INTERNET_FLAG_ASYNC : 0;
    if (proxy.empty()) {
        h.session =
            DllCall<HINTERNET>(kInternetOpenA, agent.c_str(), DWORD{INTERNET_OPEN_TYPE_DIRECT}, "", "", openFlags);
    } else {
        h.session = DllCall<HINTERNET>(kInternetOpenA, agent.c_str(), DWORD{INTERNET_OPEN_TYPE_PROXY},
                                       proxyName.c_str(), "", openFlags);
    }
    if (!h.session) return nullptr;
    if (steps.Async() && DllCall<INTERNET_STATUS_CALLBACK>(kInternetSetStatusCallbackA, h.session, &OnInternetStatus) ==
                             INTERNET_INVALID_STATUS_CALLBACK) {
        return nullptr;
    }

    std::string host = HostOfUrl(address);
    auto port = static_cast<INTERNET_PORT>(PortOfUrl(address));
    h.connection = DllCall<HINTERNET>(kInternetConnectA, h.session, host.c_str(), port, "", "",
                                      DWORD{INTERNET_SERVICE_HTTP}, DWORD{0}, steps.Context());
    steps.Made(h.connection);
    if (!h.connection) return nullptr;

    if (limits.HasDeadline()) {
        // The platform's own waits end with the deadline too, so that an
        // abandoned request stops there as well; the request inherits them.
        DWORD left = limits.Bound(UINT32_MAX);
        SetWait(h.connection, INTERNET_OPTION_CONNECT_TIMEOUT, left);
        SetWait(h.connection, INTERNET_OPTION_SEND_TIMEOUT, left);
        SetWait(h.connection, INTERNET_OPTION_RECEIVE_TIMEOUT, left);
    }
    // Nothing is read from the cache, so nothing need be kept in it: each
    // download would otherwise add an entry to the user's URL cache (and its
    // index, which the process maps) for the rest of a long run. (Wine's
    // WinInet still writes the entry when a file is asked for.)
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NEED_FILE | INTERNET_FLAG_NO_CACHE_WRITE;
    if (args.cookies) flags |= INTERNET_FLAG_NO_COOKIES;
    if (args.noRedirect) flags |= INTERNET_FLAG_NO_AUTO_REDIRECT;
    flags |= secure ? INTERNET_FLAG_SECURE : INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
    std::string path = PathOfUrl(address);
    h.request = DllCall<HINTERNET>(kHttpOpenRequestA, h.connection, kVerbs[method], path.c_str(), "HTTP/1.1", "",
                                   static_cast<const char**>(nullptr), flags, steps.Context());
    steps.Made(h.request);
    if (!h.request) return nullptr;

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
    const char* headerText = headers.c_str();
    const uint8_t* postData = ByteSetData(postBytes);
    if (AsyncState* state = steps.State()) {
        // A send abandoned at the deadline may go on reading them after the
        // call has returned.
        state->headers = headers;
        state->sent.assign(postData, postData + postLength);
        headerText = state->headers.c_str();
        postData = state->sent.data();
    }
    BOOL sent = DllCall<BOOL>(kHttpSendRequestA, h.request, headerText, static_cast<DWORD>(headers.size()),
                              postLength ? const_cast<uint8_t*>(postData) : nullptr, static_cast<DWORD>(postLength));
    // Failures of sending are not detected: the read below finds nothing.
    if (steps.Await(sent) == Steps::Step::Expired) return nullptr;

    BodyBuffer body;
    // A body that declares its length, within the cap, is read into one block.
    if (const uint64_t declared = DeclaredLength(h.request); limits.BodyFits(declared)) body.ReserveDeclared(declared);
    uint8_t syncPiece[kReadPiece] = {};
    uint8_t* piece = steps.Async() ? steps.State()->piece : syncPiece;
    DWORD* read = steps.Async() ? &steps.State()->read : nullptr;
    DWORD syncRead = 0;
    if (!read) read = &syncRead;
    for (;;) {
        if (limits.HasDeadline()) SetWait(h.request, INTERNET_OPTION_RECEIVE_TIMEOUT, limits.Bound(UINT32_MAX));
        *read = 0;
        Steps::Step step = steps.Await(DllCall<BOOL>(kInternetReadFile, h.request, piece, kReadPiece, read));
        DWORD got = std::min(*read, kReadPiece);
        // Past a limit the download is abandoned: the handles close as `h`
        // goes, and the caller gets the empty body of a failed request. A
        // body cut off by the deadline is no body at all, not a shorter one.
        if (step == Steps::Step::Expired || limits.Expired() || !limits.BodyFits(uint64_t{body.Size()} + got))
            return nullptr;
        // A failed read ends the body, like its end.
        if (step == Steps::Step::Failed || got == 0) break;
        body.Append(piece, got);
    }
    StoreText(args.requestHeaders, headers);
    if (madeBytes.Get() && args.postBytes) StoreByteSet(args.postBytes, madeBytes.Release());

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
