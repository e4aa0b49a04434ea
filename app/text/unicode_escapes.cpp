#include "app/text/unicode_escapes.h"

#include "app/call.h"
#include "app/text/script_sink.h"
#include "app/value_helpers.h"
#include "app/web/dll_declarations.h"
#include "runtime/com/object_commands.h"
#include "runtime/com/owned_object.h"
#include "runtime/commands/byte_scan.h"
#include "runtime/core/dll_commands.h"
#include "runtime/core/heap.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace {

constexpr const char* kScriptHead = "function xx(){var x='";
constexpr const char* kScriptTail = "';return unescape(x);}";
// The name the result sink goes by in the script, and the statement that
// hands it the function's result.
constexpr const char* kSinkName = "songlinkResult";
constexpr const char* kHandBack = "songlinkResult.take(xx())";
// The full-width right quotation mark ’ (GBK A1 AF): while the text is inside
// the script, every apostrophe stands as it, so the text cannot end the
// script's literal.
constexpr uint8_t kQuoteLead = 0xA1;
constexpr uint8_t kQuoteTrail = 0xAF;

bool IsLeadByte(uint8_t b) { return b >= 0x80; }

// A text's bytes; the C library's strlen goes a byte at a time on Windows.
std::string_view BytesOf(const char* text) {
    return text ? std::string_view(text, commands::ScanTextLength(text)) : std::string_view();
}

// The literal handed to the script engine, in one pass over the text: every
// CR LF as the placeholder "{$}", a CR left as the first byte dropped, every
// backslash-u as percent-u, every apostrophe byte as ’. The line breaks and
// escapes are looked for as characters (never starting on the second byte of
// a double-byte character, as the text commands search), while apostrophe
// bytes go wherever they are: behind a byte the text scanners take for a lead
// byte (0x80, 0xFF, ...) an apostrophe is still an apostrophe to the script
// engine, and it would end the literal and run the rest of the reply as
// script. In well-formed GBK both ways find the same bytes.
OwnedText PrepareScriptLiteral(std::string_view text) {
    const size_t n = text.size();
    // Each byte becomes at most two (an apostrophe, ’).
    std::string s(n * 2, '\0');
    char* out = s.data();
    const auto* in = reinterpret_cast<const uint8_t*>(text.data());
    size_t i = 0;
    // Only the first byte is looked at; a CR LF there is a line break.
    if (n > 0 && in[0] == '\r' && (n < 2 || in[1] != '\n'))
        i = 1;
    auto put = [&out](uint8_t b) {
        if (b == '\'') {
            *out++ = static_cast<char>(kQuoteLead);
            *out++ = static_cast<char>(kQuoteTrail);
        } else {
            *out++ = static_cast<char>(b);
        }
    };
    while (i < n) {
        const uint8_t b = in[i];
        const uint8_t next = i + 1 < n ? in[i + 1] : 0;
        if (IsLeadByte(b)) {
            *out++ = static_cast<char>(b);
            if (i + 1 < n)
                put(next);
            i += 2;
        } else if (b == '\r' && next == '\n') {
            *out++ = '{';
            *out++ = '$';
            *out++ = '}';
            i += 2;
        } else if (b == '\\' && next == 'u') {
            *out++ = '%';
            *out++ = 'u';
            i += 2;
        } else {
            put(b);
            ++i;
        }
    }
    return OwnedText(CopyBytesAsText(s.data(), out - s.data()));
}

// The script's result with the stand-ins turned back, in one pass: every ’
// becomes an apostrophe and every "{$}" a CR LF, each looked for as
// characters. So a ’ or "{$}" that was in the reply itself comes back as an
// apostrophe or a line break too.
OwnedText RestorePlaceholders(std::string_view r) {
    const size_t n = r.size();
    std::string restored(n, '\0');  // nothing grows
    char* out = restored.data();
    const auto* in = reinterpret_cast<const uint8_t*>(r.data());
    for (size_t i = 0; i < n;) {
        const uint8_t b = in[i];
        if (IsLeadByte(b)) {
            if (i + 1 < n && b == kQuoteLead && in[i + 1] == kQuoteTrail) {
                *out++ = '\'';
            } else {
                *out++ = static_cast<char>(b);
                if (i + 1 < n)
                    *out++ = static_cast<char>(in[i + 1]);
            }
            i += 2;
        } else if (b == '{' && i + 2 < n && in[i + 1] == '$' && in[i + 2] == '}') {
            *out++ = '\r';
            *out++ = '\n';
            i += 3;
        } else {
            *out++ = static_cast<char>(b);
            ++i;
        }
    }
    return OwnedText(CopyBytesAsText(restored.data(), out - restored.data()));
}

// The script engine's reading of s: null when there is no engine, the
// statement does not compile or the call gives nothing. The function's result
// comes back through a sink object named to the engine, called from a second
// statement: asking the engine for it as an expression ("Eval" of "xx()", or
// "Run" of "xx", which some hosts serve through the same path) leaves about
// 1.4 KB in some script engines for the rest of the process (and "Run" about
// 2 MB in some), and this routine runs once per reply, thousands of times in
// a long run. Statements leave nothing behind once the object goes.
OwnedText RunUnescapeScript(const char* s) {
    OwnedObject script;
    OwnedObject sink(NewScriptSink());
    OwnedText result;
    if (Call::Bool(CreateObject, script.Variable(), "ScriptControl")) {
        Call::Bool(WriteProperty, script.Arg(), "Language", "JScript");
        Call::Double(CallMethodNumber, script.Arg(), "AddObject", kSinkName, sink.Arg());
        OwnedText statement = ConcatTexts({kScriptHead, s, kScriptTail});
        Call::Double(CallMethodNumber, script.Arg(), "ExecuteStatement", statement);
        Call::Double(CallMethodNumber, script.Arg(), "ExecuteStatement", kHandBack);
        result = ScriptSinkText(sink.Get());
    }
    Call::Void(ClearObject, script.Arg());
    return result;
}

} // namespace

OwnedText DecodeUnicodeEscapes(const char* text) {
    OwnedText s = PrepareScriptLiteral(BytesOf(text));

    DllCall<HRESULT>(web::kCoInitialize, static_cast<void*>(nullptr));
    OwnedText result = RunUnescapeScript(s.Get());
    // The fallback is only worked out when it is used: it lets the window's
    // messages through once per byte, which costs far more than the script.
    if (result.Empty())
        result = UnescapeScriptLiteral(s.Get());
    DllCall<void>(web::kCoUninitialize);

    return RestorePlaceholders(BytesOf(result.Get()));
}
