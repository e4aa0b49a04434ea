// One HTTP or HTTPS exchange through WinInet (wide forms), returning the raw
// response body. No error is reported: a failure yields an empty body.
#pragma once

#include "runtime/core/values.h"

#include <cstdint>

namespace web {

// The ten parameters in call order; null out-parameters were left out by the
// caller. `requestHeaders` and `postBytes` are the caller's variables: the
// routine appends its default header lines to the first and, for POST and
// HEAD with no body bytes, stores the bytes of `postData` in the second. No
// caller variable is written before the body has been read.
struct WinInetVisitArgs {
    const char* address = nullptr;
    int32_t method = 0;  // 0 GET, 1 POST, 2 HEAD, anything else GET
    const char* postData = nullptr;
    Text* cookies = nullptr;  // in/out
    Text* newCookies = nullptr;
    Text* requestHeaders = nullptr;  // in/out
    Text* responseHeaders = nullptr;
    bool noRedirect = false;
    ByteSet* postBytes = nullptr;  // in/out
    const char* proxyAddress = nullptr;
    // Limits for a download from an untrusted server (0: none). A body that
    // would grow past maxBodyBytes, or that the response head declares longer
    // (HEAD, 1xx, 204 and 304 responses aside), is abandoned, the latter
    // before any of it is read, and deadlineMs bounds the
    // whole call, from its first platform call to its last, whatever the
    // server does (connecting, the response head, redirects, the body): past
    // either the handles are closed, the empty body is returned and no
    // caller variable is written.
    uint32_t maxBodyBytes = 0;
    uint32_t deadlineMs = 0;
};

// The body, owned by the caller; null when empty or when the session,
// connection or request could not be opened.
ByteSet WinInetVisit(const WinInetVisitArgs& args);

}  // namespace web
