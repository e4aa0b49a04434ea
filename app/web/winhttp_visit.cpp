#include "app/web/winhttp_visit.h"

#include "app/call.h"
#include "app/owned.h"
#include "app/text/regex_object.h"
#include "app/web/async_completion.h"
#include "app/web/cookies.h"
#include "app/web/dll_declarations.h"
#include "app/web/download_limits.h"
#include "app/web/gbk_text.h"
#include "app/web/response_decoding.h"
#include "app/web/web_probes.h"
#include "app/web/web_values.h"
#include "app/web/wide_text.h"
#include "runtime/commands/conversion_commands.h"
#include "runtime/commands/system_commands.h"
#include "runtime/commands/text_commands.h"
#include "runtime/core/dll_commands.h"
#include "runtime/core/heap.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace web {
namespace {

// Status texts of the routine's own failures (GBK).
const char kMsg700[] = "700 \xB5\xB1\xC7\xB0\xCF\xB5\xCD\xB3\xB2\xBB\xD6\xA7\xB3\xD6WinHttp\xB7\xFE\xCE\xF1!";
const char kMsg701[] = "701 \xBD\xE2\xCE\xF6URL\xB5\xD8\xD6\xB7\xCA\xA7\xB0\xDC!";
const char kMsg702[] = "702 \xB4\xB4\xBD\xA8WinHttp\xBB\xE1\xBB\xB0\xCA\xA7\xB0\xDC!";
const char kMsg703[] = "703 \xB4\xB4\xBD\xA8WinHttp\xC1\xAC\xBD\xD3\xCA\xA7\xB0\xDC!";
const char kMsg704[] = "704 \xB4\xB4\xBD\xA8WinHttp\xC7\xEB\xC7\xF3\xCA\xA7\xB0\xDC!";
const char kMsg705[] = "705 \xC9\xE8\xD6\xC3\xB3\xAC\xCA\xB1\xCA\xB1\xBC\xE4\xCA\xA7\xB0\xDC!";
const char kMsg707[] = "707 \xC9\xE8\xD6\xC3\xB4\xFA\xC0\xED\xC6\xBE\xD6\xA4\xCA\xA7\xB0\xDC!";
// (split so that the hex escape before "Cookies" does not swallow its "C")
const char kMsg708[] = "708 \xBD\xFB\xD6\xB9\xD7\xD4\xB6\xAF\xC9\xE8\xD6\xC3"
                       "Cookies\xCA\xA7\xB0\xDC!";
const char kMsg709[] = "709 \xD6\xD8\xB6\xA8\xCF\xF2\xC9\xE8\xD6\xC3\xCA\xA7\xB0\xDC!";
const char kMsg710[] = "710 \xC9\xE8\xD6\xC3\xD0\xAD\xD2\xE9\xCD\xB7\xCA\xA7\xB0\xDC!";
const char kMsg711[] = "711 \xB7\xA2\xCB\xCD\xC7\xEB\xC7\xF3\xCA\xA7\xB0\xDC!";
const char kMsg712[] = "712 \xB7\xFE\xCE\xF1\xC6\xF7\xCE\xB4\xCF\xEC\xD3\xA6!";
const char kMsg713[] = "713 \xB6\xC1\xC8\xA1\xCA\xFD\xBE\xDD\xCA\xA7\xB0\xDC!";

const char* const kVerbs[] = {"GET", "POST", "HEAD", "PUT"};

// A UTF-16 string for WinHttp: never a null pointer, even for an empty text.
struct WideArg {
    std::vector<uint8_t> bytes;
    explicit WideArg(std::string_view text) : bytes(TextToWide(text))
    {
        if (bytes.empty()) bytes.assign(2, 0);
    }
    const wchar_t* Get() const { return reinterpret_cast<const wchar_t*>(bytes.data()); }
    int32_t Units() const { return static_cast<int32_t>(bytes.size() / 2) - 1; }
};

void ProcessEvents() { Call::Void(::ProcessEvents); }

// The request header block: the caller's lines, then each default line whose
// key the block does not hold anywhere (a substring search, not anchored to
// line starts).
std::string BuildHeaderBlock(const std::string& requestHeaders, const std::string& cookies)
{
    std::string block = requestHeaders;
    if (!block.empty()) block += "\r\n";
    struct Default {
        const char* key;
        bool ignoreCase;
        const char* line;
    };
    static const Default kDefaults[] = {
        {"User-Agent: ", true,
         "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"},
        {"Accept: ", true, "Accept: text/html, application/xhtml+xml, */*\r\n"},
        {"Accept-Encoding: ", true, "Accept-Encoding: gbk, GB2312\r\n"},
        {"Accept-Language: ", true, "Accept-Language: zh-cn\r\n"},
        {"Content-Type:", false, "Content-Type: application/x-www-form-urlencoded\r\n"},
        {"Cache-Control: ", true, "Cache-Control: no-cache\r\n"},
    };
    for (const Default& d : kDefaults) {
        if (!Contains(block, d.key, d.ignoreCase)) block += d.line;
    }
    if (!Contains(block, "Cookie: ", true) && !cookies.empty()) {
        block += "Cookie: ";
        block += cookies;
        block += "\r\n";
    }
    return block;
}

// With a deadline the exchange runs in WinHttp's asynchronous mode: each
// blocking step is started and its completion awaited for no longer than the
// time left, and at the deadline the handles are closed, which is how WinHttp
// cancels an asynchronous request. The synchronous mode offers no way out of
// a step: its time-outs are per receive, so a server that sends its header a
// byte a second passes them all, and closing a handle from another thread
// does not end a synchronous call on every platform.
//
// What WinHttp's completions carry, and what a pending call may still use
// after the exchange gave up on it: WinHttp reads the request body until the
// cancelled request's error notice, and a cancelled read may still write its
// buffer and count.
struct HttpCompletion : AsyncCompletion {
    using AsyncCompletion::AsyncCompletion;
    std::vector<uint8_t> piece;  // the read buffer
    std::vector<uint8_t> post;   // the request body, copied from the caller's
};

// The steps, each ended by its own notice or by an error notice naming its
// call; the completion's value is the count available, or read.
enum StepKind : uint32_t { kSending = 1, kReceiving, kQuerying, kReading };

uint32_t StepOfFailedCall(DWORD_PTR call)
{
    switch (call) {
    case API_SEND_REQUEST:
        return kSending;
    case API_RECEIVE_RESPONSE:
        return kReceiving;
    case API_QUERY_DATA_AVAILABLE:
        return kQuerying;
    case API_READ_DATA:
        return kReading;
    default:
        // A call the routine does not make by itself (the proxy look-up,
        // say): the failure still ends the step that waits.
        return AsyncCompletion::kAnyStep;
    }
}

void CALLBACK OnWinHttpStatus(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD length)
{
    auto* state = reinterpret_cast<HttpCompletion*>(context);
    if (!state) return;
    switch (status) {
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
        state->Release();  // the request's reference: nothing follows its closing notice
        return;
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
        state->Complete(kSending, true, 0);
        return;
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
        state->Complete(kReceiving, true, 0);
        return;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
        state->Complete(kQuerying, true, 0, *static_cast<DWORD*>(info));
        return;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
        state->Complete(kReading, true, 0, length);
        return;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR: {
        const auto* result = static_cast<const WINHTTP_ASYNC_RESULT*>(info);
        state->Complete(StepOfFailedCall(result->dwResult), false, result->dwError);
        return;
    }
    default:
        return;
    }
}

using Outcome = AsyncCompletion::Outcome;

class Exchange {
public:
    explicit Exchange(const WinHttpVisitArgs& args) : args_(args), limits_(args.maxBodyBytes, args.deadlineMs) {}
    ~Exchange()
    {
        CloseHandles();
        if (async_) async_->Release();
    }
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    Text Run();

private:
    // The outcome of a group of steps: go on, leave through the exit ladder,
    // or return at once (handles closed, no ladder).
    enum class Next { Continue, Ladder, Return };

    Next Fail(const char* message)
    {
        StoreText(args_.statusText, message);
        return Next::Ladder;
    }
    Next Abandon(const char* message)
    {
        StoreText(args_.statusText, message);
        return Next::Return;
    }
    void Enter() { ++stagesEntered_; }

    Next OpenHandles();
    Next SetOptions();
    Next SendRequest();
    bool StartAsync(std::string_view post);
    // Just before a step's call, in asynchronous mode: only a completion of
    // this kind, from now on, ends the step.
    void Begin(StepKind kind)
    {
        if (async_) async_->Begin(kind);
    }
    // A step: in synchronous mode the call's own result; in asynchronous mode
    // its start, then its completion within the time left. The deadline
    // passing is remembered, so that the handles close before anything else.
    Outcome Await(BOOL started)
    {
        using Returned = AsyncCompletion::Returned;
        if (!async_) return started ? Outcome::Done : Outcome::Failed;
        Outcome outcome = async_->Await(started ? Returned::Pending : Returned::Failed, limits_);
        if (outcome == Outcome::Expired) expired_ = true;
        return outcome;
    }
    // False when the body was abandoned at a limit.
    bool ReadBody();
    Outcome ReadPiece(DWORD available);
    uint32_t StatusCode();
    std::optional<uint64_t> DeclaredLength();
    void SetReceiveTimeout(uint32_t ms);
    void Finish();
    void CloseHandles();

    const WinHttpVisitArgs& args_;
    DownloadLimits limits_;
    HINTERNET session_ = nullptr;
    HINTERNET connection_ = nullptr;
    HINTERNET request_ = nullptr;
    HttpCompletion* async_ = nullptr;  // owned reference; only with a deadline
    int32_t stagesEntered_ = 0;
    uint32_t phaseMs_ = 30000;  // the time-out of each phase, as the caller chose it
    bool head_ = false;         // a HEAD request, whose response carries no body
    bool expired_ = false;      // a step was given up on at the deadline

    RegexObject regex_;  // for the charset search; made when the routine starts
    BodyBuffer body_;
    OwnedText text_;  // until handed to the caller
};

// The exchange, step by step. A group of steps that fails has already put its
// message into statusText.
Text Exchange::Run()
{
    // 2. Without the service there is nothing to do, not even the ladder.
    if (!DllCall<BOOL>(kWinHttpCheckPlatform)) {
        StoreText(args_.statusText, kMsg700);
        return nullptr;
    }
    // 3-8. The address, then the session, the connection and the request.
    Next next = OpenHandles();
    // 9-13. Time-outs, credentials, cookies and redirects.
    if (next == Next::Continue) next = SetOptions();
    // 14-17. The header block, the body, and the response head.
    if (next == Next::Continue) next = SendRequest();
    if (next == Next::Return) return nullptr;
    if (next == Next::Continue) {
        // 18. The body; then 19-30, the response head's parts, the body
        // handed over and its text decoded.
        if (ReadBody()) {
            Finish();
        } else {
            // Abandoned at a limit: what was read goes at once, and the call
            // ends as a failed read with nothing else written.
            RuntimeFree(body_.Release());
            StoreText(args_.statusText, kMsg713);
            CloseHandles();
        }
    }
    // A request given up on at the deadline is closed at once, which is how
    // WinHttp cancels it, rather than go on transferring while the waiting
    // messages below run. Its callback may still come until the closing
    // notice; what it touches is held by the notice's own reference.
    if (expired_) CloseHandles();
    // 31. Leaving each stage lets waiting window messages through, innermost
    // first; failure messages are already written. 32-33: the handles close
    // as the exchange goes.
    for (int32_t i = 0; i < stagesEntered_; ++i) ProcessEvents();
    return text_.Release();
}

Exchange::Next Exchange::OpenHandles()
{
    Enter();
    std::string_view address = TextView(args_.address);
    WideArg wideAddress(address);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(URL_COMPONENTS);
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!DllCall<BOOL>(kWinHttpCrackUrl, wideAddress.Get(), static_cast<DWORD>(wideAddress.Units()), DWORD{0},
                       &parts)) {
        return Fail(kMsg701);
    }
    std::string host = parts.lpszHostName ? WideToText(parts.lpszHostName, parts.dwHostNameLength * 2) : "";
    INTERNET_PORT port = parts.nPort;
    bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    // An address with only a query (http://h?x=1) is requested as "/" and
    // loses its query, as the service would otherwise see no path at all.
    std::wstring objectPath = L"/";
    if (static_cast<int32_t>(parts.dwUrlPathLength) >= 1 && parts.lpszUrlPath) {
        objectPath.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
        if (parts.lpszExtraInfo && parts.dwExtraInfoLength > 0) {
            objectPath.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
        }
    }

    std::string_view proxy = TextView(args_.proxyAddress);
    std::string proxyName;
    if (!proxy.empty()) proxyName = secure ? std::string(proxy) : "http=" + std::string(proxy);
    WideArg wideProxy(proxyName);
    Enter();
    session_ = DllCall<HINTERNET>(
        kWinHttpOpen, static_cast<const wchar_t*>(nullptr),
        static_cast<DWORD>(proxy.empty() ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_NAMED_PROXY),
        wideProxy.Get(), static_cast<const wchar_t*>(nullptr), DWORD{limits_.HasDeadline() ? WINHTTP_FLAG_ASYNC : 0u});
    if (!session_) return Fail(kMsg702);

    Enter();
    WideArg wideHost(host);
    connection_ = DllCall<HINTERNET>(kWinHttpConnect, session_, wideHost.Get(), port, DWORD{0});
    if (!connection_) return Fail(kMsg703);

    Enter();
    uint32_t method = static_cast<uint32_t>(args_.method);
    const char* verb = kVerbs[method < 4 ? method : 0];
    head_ = method == 2;
    request_ = DllCall<HINTERNET>(kWinHttpOpenRequest, connection_, WideArg(verb).Get(), objectPath.c_str(),
                                  static_cast<const wchar_t*>(nullptr), static_cast<const wchar_t*>(nullptr),
                                  static_cast<const wchar_t**>(nullptr), DWORD{secure ? WINHTTP_FLAG_SECURE : 0u});
    if (!request_) return Fail(kMsg704);
    return Next::Continue;
}

Exchange::Next Exchange::SetOptions()
{
    Enter();
    // Whole seconds far beyond any useful wait are capped rather than left to
    // overflow into a negative (infinite) time-out.
    int64_t ms = args_.timeoutSeconds > 0 ? std::min<int64_t>(int64_t{args_.timeoutSeconds} * 1000, INT32_MAX) : 30000;
    // No phase may outlast the caller's overall deadline.
    int t = static_cast<int>(limits_.Bound(static_cast<uint32_t>(ms)));
    phaseMs_ = static_cast<uint32_t>(ms);
    if (!DllCall<BOOL>(kWinHttpSetTimeouts, request_, t, t, t, t)) return Fail(kMsg705);
    // The wait for the response head is a time-out of its own on some
    // services (Wine keeps it infinite whatever the receive time-out says);
    // without it a server that accepts and never answers hangs the caller.
    DWORD responseTimeout = static_cast<DWORD>(t);
    DllCall<BOOL>(kWinHttpSetOption, request_, DWORD{WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT}, &responseTimeout,
                  DWORD{4});

    std::string_view serverUser = TextView(args_.serverUser), serverPassword = TextView(args_.serverPassword);
    if (!serverUser.empty() && !serverPassword.empty()) {
        WideArg user(serverUser), password(serverPassword);
        if (!DllCall<BOOL>(kWinHttpSetCredentials, request_, DWORD{WINHTTP_AUTH_TARGET_SERVER},
                           DWORD{WINHTTP_AUTH_SCHEME_BASIC}, user.Get(), password.Get(), static_cast<void*>(nullptr))) {
            return Abandon(kMsg707);
        }
    }
    std::string_view proxyUser = TextView(args_.proxyUser), proxyPassword = TextView(args_.proxyPassword);
    if (!proxyUser.empty() && !proxyPassword.empty()) {
        WideArg user(proxyUser), password(proxyPassword);
        if (!DllCall<BOOL>(kWinHttpSetCredentials, request_, DWORD{WINHTTP_AUTH_TARGET_PROXY},
                           DWORD{WINHTTP_AUTH_SCHEME_BASIC}, user.Get(), password.Get(), static_cast<void*>(nullptr))) {
            return Abandon(kMsg707);
        }
    }
    // The value 1 with the enable option is what the routine has always set
    // when the caller keeps its own cookies.
    DWORD feature = args_.cookies ? 1 : WINHTTP_DISABLE_COOKIES;
    DWORD option = args_.cookies ? 79 : WINHTTP_OPTION_DISABLE_FEATURE;
    if (!DllCall<BOOL>(kWinHttpSetOption, request_, option, &feature, DWORD{4})) return Abandon(kMsg708);
    if (args_.noRedirect) {
        DWORD redirects = WINHTTP_DISABLE_REDIRECTS;
        if (!DllCall<BOOL>(kWinHttpSetOption, request_, DWORD{WINHTTP_OPTION_DISABLE_FEATURE}, &redirects, DWORD{4})) {
            return Abandon(kMsg709);
        }
    }
    return Next::Continue;
}

Exchange::Next Exchange::SendRequest()
{
    // 14-15. The header block.
    Enter();
    std::string block = BuildHeaderBlock(std::string(TextView(args_.requestHeaders)),
                                         std::string(args_.cookies ? TextView(*args_.cookies) : ""));
    WideArg wideBlock(block);
    if (!DllCall<BOOL>(kWinHttpAddRequestHeaders, request_, wideBlock.Get(), static_cast<DWORD>(wideBlock.Units()),
                       DWORD{WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE})) {
        return Fail(kMsg710);
    }
    // 16. The request and its body. A download under a deadline that cannot
    // be bounded fails here rather than wait without its deadline.
    Enter();
    std::string_view post = TextView(args_.postData);
    if (limits_.HasDeadline() && !StartAsync(post)) return Fail(kMsg711);
    const void* body = post.empty() ? nullptr : async_ ? static_cast<const void*>(async_->post.data()) : post.data();
    auto length = static_cast<DWORD>(post.size());
    Begin(kSending);
    Outcome sent = Await(DllCall<BOOL>(kWinHttpSendRequest, request_, static_cast<const wchar_t*>(nullptr), DWORD{0},
                                       const_cast<void*>(body), length, length, reinterpret_cast<DWORD_PTR>(async_)));
    // Past the deadline the server has not answered in time, whichever step
    // the platform was waiting in (some read the response head while
    // sending).
    if (sent == Outcome::Expired) return Fail(kMsg712);
    if (sent == Outcome::Failed) return Fail(kMsg711);
    // 17. The response head.
    Enter();
    if (limits_.HasDeadline()) {
        // The platform's own waits for the response head get only the time
        // left too, so that an abandoned request ends there as well.
        DWORD left = limits_.Bound(phaseMs_);
        DllCall<BOOL>(kWinHttpSetOption, request_, DWORD{WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT}, &left, DWORD{4});
        SetReceiveTimeout(left);
    }
    Begin(kReceiving);
    if (Await(DllCall<BOOL>(kWinHttpReceiveResponse, request_, static_cast<void*>(nullptr))) != Outcome::Done)
        return Fail(kMsg712);
    return Next::Continue;
}

bool Exchange::StartAsync(std::string_view post)
{
    async_ = new HttpCompletion(ResolveDllCommand(kWinHttpSetStatusCallback));
    if (!async_->Usable()) return false;
    // WinHttp reads the body until the request's cancelled notice, which may
    // come after the caller has freed its own.
    async_->post.assign(post.begin(), post.end());
    // The request carries the state from before its first call, and its
    // closing notice, which needs both the context and the callback, frees
    // the request's reference.
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(async_);
    if (!DllCall<BOOL>(kWinHttpSetOption, request_, DWORD{WINHTTP_OPTION_CONTEXT_VALUE}, &context,
                       DWORD{sizeof context})) {
        return false;
    }
    auto installed = DllCall<WINHTTP_STATUS_CALLBACK>(
        kWinHttpSetStatusCallback, request_, &OnWinHttpStatus,
        DWORD{WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES}, DWORD_PTR{0});
    if (installed == WINHTTP_INVALID_STATUS_CALLBACK) return false;
    async_->AddRef();
    return true;
}

void Exchange::SetReceiveTimeout(uint32_t ms)
{
    DWORD value = ms;
    DllCall<BOOL>(kWinHttpSetOption, request_, DWORD{WINHTTP_OPTION_RECEIVE_TIMEOUT}, &value, DWORD{4});
}

uint32_t Exchange::StatusCode()
{
    DWORD status = 0;
    DWORD size = sizeof status;
    DWORD index = 0;
    DllCall<BOOL>(kWinHttpQueryHeaders, request_, DWORD{WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER},
                  static_cast<const wchar_t*>(nullptr), static_cast<void*>(&status), &size, &index);
    return status;
}

// Read as text: a length wider than 32 bits does not fit the number form.
std::optional<uint64_t> Exchange::DeclaredLength()
{
    wchar_t value[128] = {};
    DWORD size = sizeof value - sizeof value[0];
    DWORD index = 0;
    if (!DllCall<BOOL>(kWinHttpQueryHeaders, request_, DWORD{WINHTTP_QUERY_CONTENT_LENGTH},
                       static_cast<const wchar_t*>(nullptr), static_cast<void*>(value), &size, &index)) {
        return std::nullopt;
    }
    return DownloadLimits::ParseDeclaredLength(WideToText(value, std::min<DWORD>(size, sizeof value - 2)));
}

bool Exchange::ReadBody()
{
    // A body declared longer than the cap is refused before any of it is
    // read; one declared within it is read into one block of its size.
    const std::optional<uint64_t> declared = DeclaredLength();
    if (limits_.DeclaresTooMuch(head_, StatusCode(), declared)) return false;
    if (declared) body_.ReserveDeclared(*declared);
    for (;;) {
        // Each wait for more data gets only the time left before the deadline.
        if (limits_.HasDeadline()) SetReceiveTimeout(limits_.Bound(phaseMs_));
        DWORD available = 0;
        // In asynchronous mode the count comes with the completion only.
        Begin(kQuerying);
        Outcome queried = Await(DllCall<BOOL>(kWinHttpQueryDataAvailable, request_, async_ ? nullptr : &available));
        // A body cut off by the deadline is no body at all, not a shorter one.
        if (queried == Outcome::Expired || limits_.Expired()) return false;
        // A failed query (a time-out of the caller's among them) ends the
        // body with what was received.
        if (queried == Outcome::Failed) return true;
        if (async_) available = async_->Value();
        if (available < 1) return true;
        // The cap is checked before the piece is taken, so the body never
        // holds more than the caller allowed.
        if (!limits_.BodyFits(uint64_t{body_.Size()} + available)) return false;
        Outcome read = ReadPiece(available);
        if (read == Outcome::Expired || limits_.Expired()) return false;
        if (read == Outcome::Failed) {
            // The body read so far is kept.
            StoreText(args_.statusText, kMsg713);
            return true;
        }
    }
}

// Reads the `available` bytes behind the body, in exactly that size.
Outcome Exchange::ReadPiece(DWORD available)
{
    DWORD read = 0;
    Outcome outcome;
    if (async_) {
        async_->piece.resize(available);
        Begin(kReading);
        outcome = Await(
            DllCall<BOOL>(kWinHttpReadData, request_, async_->piece.data(), available, static_cast<DWORD*>(nullptr)));
        // The count is the completion's: a read given up on may still write it.
        if (outcome == Outcome::Done) {
            read = std::min<DWORD>(async_->Value(), available);
            body_.Append(async_->piece.data(), read);
        }
    } else {
        // Read straight behind the body; only the bytes the read reports are
        // kept, so the piece needs no zero-filling first.
        uint8_t* piece = body_.Reserve(available);
        outcome = Await(DllCall<BOOL>(kWinHttpReadData, request_, piece, available, &read));
        if (outcome == Outcome::Done) body_.Commit(read = std::min<DWORD>(read, available));
    }
    if (outcome == Outcome::Done) ProbeBodyBytesRead(read);
    return outcome;
}

void Exchange::Finish()
{
    Enter();
    DWORD size = 0;
    DWORD index = 0;
    DllCall<BOOL>(kWinHttpQueryHeaders, request_, DWORD{WINHTTP_QUERY_RAW_HEADERS_CRLF},
                  static_cast<const wchar_t*>(nullptr), static_cast<void*>(nullptr), &size, &index);
    std::vector<uint8_t> buffer(size, 0);
    index = 0;
    if (!DllCall<BOOL>(kWinHttpQueryHeaders, request_, DWORD{WINHTTP_QUERY_RAW_HEADERS_CRLF},
                       static_cast<const wchar_t*>(nullptr), buffer.empty() ? nullptr : buffer.data(), &size, &index)) {
        return;
    }
    std::string headers = WideToText(buffer.data(), std::min<size_t>(size, buffer.size()));
    // The status code and reason: from the 10th character of the status line
    // up to its "\r\n".
    int32_t lineEnd = FindText(headers, "\r\n", 10);
    StoreText(args_.statusText, lineEnd == -1 ? OwnedText() : Call::Text(::MidText, headers, 10, lineEnd - 10));
    headers = ReplaceAll(headers, "Set-Cookie", "Set-Cookie", false);
    StoreText(args_.responseHeaders, headers);

    std::string newCookies;
    std::string item;
    for (const std::string& line : SplitText(headers, "\r\n")) {
        if (CookieItemOfLine(line, &item)) {
            newCookies += item;
            newCookies += "; ";
        }
        if (CompareText(LeftText(line, 10), "Location: ", false) == 0) {
            StoreText(args_.redirectAddress, RightText(line, int64_t{TextLength(line)} - 10));
        }
        ProcessEvents();
    }
    newCookies = DropLast(newCookies, 2);
    if (args_.cookies) {
        std::string cookies(TextView(*args_.cookies));
        MergeCookies(cookies, newCookies);
        StoreText(args_.cookies, cookies);
    }
    StoreText(args_.newCookies, newCookies);

    // The body the caller receives is the accumulated block itself; the text
    // is its bytes up to the first NUL.
    ByteSet body = body_.Release();
    Text text = Call::Text(::ToText, body).Release();
    DllCall<HRESULT>(kCoInitialize, static_cast<void*>(nullptr));
    DecodeResponseText(regex_, &text, body);
    text_.Reset(text);
    DllCall<void>(kCoUninitialize);
    StoreByteSet(args_.responseBody, body);
}

void Exchange::CloseHandles()
{
    DllCall<BOOL>(kWinHttpCloseHandle, request_);
    DllCall<BOOL>(kWinHttpCloseHandle, connection_);
    DllCall<BOOL>(kWinHttpCloseHandle, session_);
    request_ = connection_ = session_ = nullptr;
}

}  // namespace

Text WinHttpVisit(const WinHttpVisitArgs& args)
{
    Exchange exchange(args);
    return exchange.Run();
}

}  // namespace web
