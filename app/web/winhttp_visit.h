// One complete HTTP or HTTPS exchange through WinHttp, returning the page as
// GBK text. Failures are reported only as a numbered message in statusText.
#pragma once

#include "runtime/core/values.h"

#include <cstdint>

namespace web {

// The seventeen parameters in call order. Text inputs: null is the empty
// text. Out-parameters point at the caller's variable; null means the caller
// left the parameter out, which for `cookies` also switches the routine's
// cookie handling (the merge and the cookie feature option).
struct WinHttpVisitArgs {
    const char* address = nullptr;
    int32_t method = 0;  // 0 GET, 1 POST, 2 HEAD, 3 PUT, anything else GET
    const char* postData = nullptr;
    Text* cookies = nullptr;  // in/out
    Text* newCookies = nullptr;
    const char* requestHeaders = nullptr;  // lines joined by "\r\n", no trailing "\r\n"
    Text* responseHeaders = nullptr;
    bool noRedirect = false;
    const char* serverUser = nullptr;
    const char* serverPassword = nullptr;
    const char* proxyAddress = nullptr;  // host:port
    const char* proxyUser = nullptr;
    const char* proxyPassword = nullptr;
    int32_t timeoutSeconds = 0;  // per phase; <= 0 means 30 seconds
    Text* redirectAddress = nullptr;
    Text* statusText = nullptr;
    ByteSet* responseBody = nullptr;
    // Limits for a download from an untrusted server (0: none). A body that
    // would grow past maxBodyBytes, or that the response head declares longer
    // (HEAD, 1xx, 204 and 304 responses aside), is abandoned, the latter
    // before any of it is read: the call ends as a failed read (message 713,
    // empty text, nothing else written). deadlineMs bounds the whole call,
    // from its first platform call to its last, whatever the server does: an
    // exchange still waiting for the server's answer then ends as one the
    // server did not answer (message 712), one still reading the body as a
    // failed read (713), and either returns the empty text. The per-phase
    // time-out alone cannot stop a server that sends a byte now and then;
    // one that runs out while time is left is that time-out's failure, as
    // without a deadline (711 for a send, the body so far for a read).
    uint32_t maxBodyBytes = 0;
    uint32_t deadlineMs = 0;
};

// The decoded page text, owned by the caller; empty (null) on failure.
Text WinHttpVisit(const WinHttpVisitArgs& args);

}  // namespace web
