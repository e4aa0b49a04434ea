#include "app/lookup_warm_up.h"

#include "app/call.h"
#include "app/web/dll_declarations.h"
#include "runtime/com/object_commands.h"
#include "runtime/com/owned_object.h"
#include "runtime/core/dll_commands.h"
#include "runtime/core/runtime_app.h"

#include <windows.h>
#include <winhttp.h>

#include <initializer_list>
#include <iterator>

namespace {

// INTERNET_OPEN_TYPE_DIRECT (wininet.h and winhttp.h do not go together).
constexpr DWORD kInternetOpenTypeDirect = 1;

bool Bound(std::initializer_list<int32_t> commands)
{
    for (int32_t c : commands) {
        if (!IsDllCommandBound(c)) return false;
    }
    return true;
}

// Bound as their first calls would bind them; one that cannot be is left
// for its call to report.
void BindDeclarations()
{
    for (int32_t c = 0; c < static_cast<int32_t>(web::kDllCommandCount); ++c) PrepareDllCommand(c);
}

// Handles are no request: nothing reaches the network until one is sent,
// and the host is never looked up. Closing the first request handle of a
// process can cost a good part of the first exchange (some platforms load
// the certificate functions a request releases only then), so one is opened
// and closed here.
void OpenWinHttpRequestOnce()
{
    if (!Bound({web::kWinHttpOpen, web::kWinHttpConnect, web::kWinHttpOpenRequest, web::kWinHttpCloseHandle})) return;
    HINTERNET session =
        DllCall<HINTERNET>(web::kWinHttpOpen, static_cast<const wchar_t*>(nullptr), DWORD{WINHTTP_ACCESS_TYPE_NO_PROXY},
                           L"", static_cast<const wchar_t*>(nullptr), DWORD{0});
    if (!session) return;
    HINTERNET connection = DllCall<HINTERNET>(web::kWinHttpConnect, session, L"localhost", INTERNET_PORT{80}, DWORD{0});
    HINTERNET request = nullptr;
    if (connection) {
        request =
            DllCall<HINTERNET>(web::kWinHttpOpenRequest, connection, L"GET", L"/", static_cast<const wchar_t*>(nullptr),
                               static_cast<const wchar_t*>(nullptr), static_cast<const wchar_t**>(nullptr), DWORD{0});
    }
    if (request) DllCall<BOOL>(web::kWinHttpCloseHandle, request);
    if (connection) DllCall<BOOL>(web::kWinHttpCloseHandle, connection);
    DllCall<BOOL>(web::kWinHttpCloseHandle, session);
}

void OpenWinInetSessionOnce()
{
    if (!Bound({web::kInternetOpenW, web::kInternetCloseHandle})) return;
    void* session = DllCall<void*>(web::kInternetOpenW, L"", kInternetOpenTypeDirect, L"", L"", DWORD{0});
    if (session) DllCall<BOOL>(web::kInternetCloseHandle, session);
}

// Made and released at once: what stays is the class's library, loaded, as
// the lookup's own objects would leave it.
void MakeObjectOnce(const char* className, const char* language = nullptr)
{
    OwnedObject object;
    if (!Call::Bool(CreateObject, object.Variable(), className)) return;
    // A script engine's own library loads when its language is chosen.
    if (language) Call::Bool(WriteProperty, object.Arg(), "Language", language);
    Call::Void(ClearObject, object.Arg());
}

// In the order the lookup meets them; each a few milliseconds at most, so a
// click waits little for the step in hand.
void (*const kSteps[])() = {
    BindDeclarations,
    OpenWinHttpRequestOnce,
    [] { MakeObjectOnce("VBScript.RegExp"); },  // the reply's charset search
    [] { MakeObjectOnce("Adodb.Stream"); },     // a reply in another charset
    [] { MakeObjectOnce("ScriptControl", "JScript"); },
    OpenWinInetSessionOnce,
};

}  // namespace

LookupWarmUp::LookupWarmUp() { AddIdleTask(&LookupWarmUp::Step, this); }

LookupWarmUp::~LookupWarmUp() { RemoveIdleTask(this); }

bool LookupWarmUp::Step(void* self)
{
    auto* warmUp = static_cast<LookupWarmUp*>(self);
    if (warmUp->next_ < std::size(kSteps)) kSteps[warmUp->next_++]();
    return warmUp->next_ < std::size(kSteps);
}
