#include "app/text/unicode_escapes.h"

#include "app/call.h"
#include "app/value_helpers.h"
#include "app/web/dll_declarations.h"
#include "runtime/com/object_commands.h"
#include "runtime/com/owned_object.h"
#include "runtime/commands/byteset_commands.h"
#include "runtime/commands/conversion_commands.h"
#include "runtime/commands/system_commands.h"
#include "runtime/commands/text_commands.h"
#include "runtime/core/dll_commands.h"

#include <windows.h>

#include <string>

namespace {

constexpr const char* kLineBreak = "\r\n";
constexpr const char* kLineBreakPlaceholder = "{$}";
constexpr const char* kBackslashEscape = "\\u";
constexpr const char* kPercentEscape = "%u";
constexpr const char* kApostrophe = "'";
constexpr const char* kApostrophePlaceholder = "\xA1\xAF"; // ’, so the text cannot end the script's literal
constexpr const char* kScriptHead = "function xx(){var x='";
constexpr const char* kScriptTail = "';return unescape(x);}";
// The one-byte byte set {0x0D}, as program static data.
alignas(4) const uint8_t kCarriageReturn[9] = {1, 0, 0, 0, 1, 0, 0, 0, 0x0D};
// The apostrophe and its placeholder as byte sets.
alignas(4) const uint8_t kApostropheByte[9] = {1, 0, 0, 0, 1, 0, 0, 0, 0x27};
alignas(4) const uint8_t kApostrophePlaceholderBytes[10] = {1, 0, 0, 0, 2, 0, 0, 0, 0xA1, 0xAF};

OwnedText ReplaceAll(const char* text, const char* sought, const char* replacement) {
    return Call::Text(ReplaceText, text, sought, replacement, kOmitted, kOmitted, true);
}

// The script engine's reading of s: null when there is no engine, the
// statement does not compile or the call gives nothing. The function is
// called by evaluating "xx()": calling it by name through the control's
// "Run" gives the same text, but some script hosts keep about 2 MB per
// "Run" until the process ends, and this routine runs once per reply.
OwnedText RunUnescapeScript(const char* s) {
    OwnedObject script;
    OwnedText result;
    if (Call::Bool(CreateObject, script.Variable(), "ScriptControl")) {
        Call::Bool(WriteProperty, script.Arg(), "Language", "JScript");
        OwnedText statement = ConcatTexts({kScriptHead, s, kScriptTail});
        Call::Double(CallMethodNumber, script.Arg(), "ExecuteStatement", statement);
        result = Call::Text(CallMethodText, script.Arg(), "Eval", "xx()");
    }
    Call::Void(ClearObject, script.Arg());
    return result;
}

} // namespace

OwnedText DecodeUnicodeEscapes(const char* text) {
    OwnedText s = ReplaceAll(text, kLineBreak, kLineBreakPlaceholder);
    if (s.Get() && s.Get()[0] == '\r') {
        // A CR without its LF would end the script's literal: drop it. Only
        // the first byte is looked at.
        OwnedBytes bytes = Call::Bytes(ToByteSet, s);
        OwnedBytes trimmed = Call::Bytes(ReplaceBytes, bytes, kCarriageReturn, kOmitted, kOmitted, 1);
        s = Call::Text(ToText, trimmed);
    }
    if (Call::Int(FindText, s, kBackslashEscape, kOmitted, kOmitted) != -1) {
        s = ReplaceAll(s.Get(), kBackslashEscape, kPercentEscape);
    }
    // Every apostrophe byte goes, not only those the text scanners see as
    // characters: behind a byte they take for a lead byte (0x80, 0xFF, ...)
    // an apostrophe is still an apostrophe to the script engine, and it would
    // end the literal and run the rest of the reply as script. In well-formed
    // GBK both ways replace the same bytes.
    OwnedBytes bytes = Call::Bytes(ToByteSet, s);
    OwnedBytes quoted =
        Call::Bytes(ReplaceBytes, bytes, kApostropheByte, kApostrophePlaceholderBytes, kOmitted, kOmitted);
    s = Call::Text(ToText, quoted);

    DllCall<HRESULT>(web::kCoInitialize, static_cast<void*>(nullptr));
    OwnedText result = RunUnescapeScript(s.Get());
    // The fallback is only worked out when it is used: it lets the window's
    // messages through once per byte, which costs far more than the script.
    if (TextLength(result.Get()) == 0)
        result = UnescapeScriptLiteral(s.Get());
    DllCall<void>(web::kCoUninitialize);

    result = ReplaceAll(result.Get(), kApostrophePlaceholder, kApostrophe);
    return ReplaceAll(result.Get(), kLineBreakPlaceholder, kLineBreak);
}
