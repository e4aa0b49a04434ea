#include "app/text/unicode_escapes.h"

#include "app/call.h"
#include "app/value_helpers.h"
#include "app/web/dll_declarations.h"
#include "app/web/wide_text.h"
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
constexpr const char* kHexDigits = "0123456789ABCDEF";
// The one-byte byte set {0x0D}, as program static data.
alignas(4) const uint8_t kCarriageReturn[9] = {1, 0, 0, 0, 1, 0, 0, 0, 0x0D};
// The apostrophe and its placeholder as byte sets.
alignas(4) const uint8_t kApostropheByte[9] = {1, 0, 0, 0, 1, 0, 0, 0, 0x27};
alignas(4) const uint8_t kApostrophePlaceholderBytes[10] = {1, 0, 0, 0, 2, 0, 0, 0, 0xA1, 0xAF};

OwnedText ReplaceAll(const char* text, const char* sought, const char* replacement) {
    return Call::Text(ReplaceText, text, sought, replacement, kOmitted, kOmitted, true);
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool AllHexDigits(const char* text, uint32_t count) {
    for (uint32_t k = 0; k < count; ++k) {
        if (!IsHexDigit(text[k]))
            return false;
    }
    return true;
}

// The character U+code as GBK: the number's 8 little-endian bytes read as
// UTF-16, which ends at the first NUL unit.
std::string CharacterOfCode(int64_t code) {
    OwnedBytes bytes = Call::Bytes(ToByteSet, LongArg{code});
    return web::WideToText(bytes.Data(), bytes.Size());
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
        result = DecodePercentEscapes(s.Get());
    DllCall<void>(web::kCoUninitialize);

    result = ReplaceAll(result.Get(), kApostrophePlaceholder, kApostrophe);
    return ReplaceAll(result.Get(), kLineBreakPlaceholder, kLineBreak);
}

OwnedText DecodePercentEscapes(const char* text) {
    const char* s = text ? text : "";
    uint32_t n = TextLength(s);
    std::string decoded;
    for (uint32_t i = 1; i <= n; ++i) {
        Call::Void(ProcessEvents);
        if (s[i - 1] != '%')
            continue;
        // Four digits after "%u" (they must lie within the text), else two.
        if (i + 5 <= n && s[i] == 'u') {
            if (AllHexDigits(s + i + 1, 4)) {
                OwnedText digits(CopyBytesAsText(s + i + 1, 4));
                decoded += CharacterOfCode(HexTextToNumber(digits.Get()));
                continue;
            }
        } else if (i + 2 <= n && AllHexDigits(s + i, 2)) {
            OwnedText digits(CopyBytesAsText(s + i, 2));
            decoded += CharacterOfCode(HexTextToNumber(digits.Get()));
            continue;
        }
        // Not a whole escape of hexadecimal digits: the sign stands for itself.
        decoded += '%';
    }
    return OwnedText(CopyBytesAsText(decoded.data(), static_cast<int64_t>(decoded.size())));
}

int64_t HexTextToNumber(const char* text) {
    OwnedText upper = Call::Text(ToUpper, text);
    uint32_t length = TextLength(text);
    int64_t value = 0;
    for (uint32_t k = 1; k <= length; ++k) {
        OwnedText digit = Call::Text(MidText, upper, static_cast<int32_t>(k), 1);
        int32_t d = Call::Int(FindText, kHexDigits, digit, kOmitted, kOmitted) - 1;
        value = TruncateToInteger(static_cast<double>(value) * 16 + d);
    }
    return value;
}
