// Addresses, cookie texts, response header blocks and replies come from
// servers and users: the URL splitting, the cookie routines and the fallback
// reading of a reply's escapes must take any bytes, and must release every
// block the commands they call hand back.
#include "app/text/script_literal.h"
#include "app/web/cookies.h"
#include "app/web/url_split.h"
#include "runtime/core/heap.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    // The first byte picks the levels argument; the rest splits at the first
    // NUL into two texts (texts never hold a NUL).
    auto levels = static_cast<int8_t>(data[0]);
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    size_t nul = rest.find('\0');
    std::string a = rest.substr(0, nul);
    std::string b = nul == std::string::npos ? std::string() : std::string(rest.c_str() + nul + 1);
    const int64_t liveBefore = RuntimeLiveBlocks();
    web::HostOfUrl(a);
    web::HostOfUrl(a, true, true);
    web::HostOfUrl(a, levels & 1, levels & 2, levels);
    web::PortOfUrl(a);
    web::PathOfUrl(a);
    web::HeaderValue(a);
    web::CookiesOfHeaders(b);
    web::RemoveDuplicateItems(a, b);
    std::string cookies = a, received = b;
    web::MergeCookies(cookies, received);
    {
        OwnedText decoded = UnescapeScriptLiteral(rest.c_str());
        if (decoded.Length() > rest.size()) std::abort();  // reading escapes never adds bytes
    }
    if (RuntimeLiveBlocks() != liveBefore) std::abort();  // a routine leaked a command's result
    return 0;
}
