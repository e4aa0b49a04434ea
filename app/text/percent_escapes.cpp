#include "app/text/percent_escapes.h"

#include "app/call.h"
#include "app/value_helpers.h"
#include "runtime/commands/system_commands.h"
#include "runtime/commands/text_commands.h"

#include <string_view>

namespace {

constexpr const char* kHexDigits = "0123456789ABCDEF";

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The value of `count` hexadecimal digits at s[i], or -1 when the text ends
// first or one of them is no digit.
int32_t HexAt(std::string_view s, size_t i, size_t count)
{
    if (i > s.size() || s.size() - i < count) return -1;
    int32_t value = 0;
    for (size_t k = 0; k < count; ++k) {
        int d = HexValue(s[i + k]);
        if (d < 0) return -1;
        value = value * 16 + d;
    }
    return value;
}

// A lead byte that starts a double-byte character: the text scanners step
// over both bytes, so a trail byte that equals "\" or "%" is never read as one.
bool StartsDoubleByte(std::string_view s, size_t i)
{
    return static_cast<unsigned char>(s[i]) >= 0x80 && i + 1 < s.size();
}

// The decoded text as it grows: bytes kept as they are, and units decoded from
// escapes, held back until a kept byte follows so that a run of them (a
// surrogate pair among them) is converted in one go.
class DecodedText {
public:
    void Keep(std::string_view bytes)
    {
        Flush();
        out_ += bytes;
    }
    void Unit(int32_t unit)
    {
        // A NUL would end the text; it is left out.
        if (unit == 0) return Flush();
        units_ += static_cast<char16_t>(unit);
    }
    std::string Finish()
    {
        Flush();
        return std::move(out_);
    }

private:
    void Flush()
    {
        if (units_.empty()) return;
        out_ += EscapeUnitsToGbk(units_);
        units_.clear();
    }
    std::string out_;
    std::u16string units_;
};

// Step 1: the text read as a JScript string literal.
std::string ReadAsStringLiteral(std::string_view s)
{
    DecodedText out;
    size_t i = 0;
    while (i < s.size()) {
        if (StartsDoubleByte(s, i)) {
            out.Keep(s.substr(i, 2));
            i += 2;
            continue;
        }
        if (s[i] != '\\' || i + 1 == s.size()) {
            out.Keep(s.substr(i, 1));
            ++i;
            continue;
        }
        char c = s[i + 1];
        int32_t code;
        switch (c) {
        case 'b':
            out.Keep("\b");
            break;
        case 'f':
            out.Keep("\f");
            break;
        case 'n':
            out.Keep("\n");
            break;
        case 'r':
            out.Keep("\r");
            break;
        case 't':
            out.Keep("\t");
            break;
        case 'x':
        case 'u':
            code = HexAt(s, i + 2, c == 'x' ? 2 : 4);
            if (code >= 0) {
                out.Unit(code);
                i += c == 'x' ? 4 : 6;
                continue;
            }
            out.Keep(s.substr(i + 1, 1));
            break;
        default:
            // The backslash goes; a double-byte character after it stays whole.
            if (StartsDoubleByte(s, i + 1)) {
                out.Keep(s.substr(i + 1, 2));
                i += 3;
                continue;
            }
            out.Keep(s.substr(i + 1, 1));
        }
        i += 2;
    }
    return out.Finish();
}

// Step 2: JScript's unescape.
std::string Unescape(std::string_view s)
{
    DecodedText out;
    size_t i = 0;
    while (i < s.size()) {
        if (StartsDoubleByte(s, i)) {
            out.Keep(s.substr(i, 2));
            i += 2;
            continue;
        }
        if (s[i] == '%') {
            int32_t code = i + 1 < s.size() && s[i + 1] == 'u' ? HexAt(s, i + 2, 4) : -1;
            if (code >= 0) {
                out.Unit(code);
                i += 6;
                continue;
            }
            code = HexAt(s, i + 1, 2);
            if (code >= 0) {
                out.Unit(code);
                i += 3;
                continue;
            }
        }
        out.Keep(s.substr(i, 1));
        ++i;
    }
    return out.Finish();
}

}  // namespace

OwnedText DecodePercentEscapes(const char* text)
{
    std::string_view s = text ? std::string_view(text) : std::string_view();
    // The window's waiting messages get their turn once per byte of the text,
    // so a long reply does not freeze it; the reading itself is one quick scan.
    for (size_t i = 0; i < s.size(); ++i) Call::Void(ProcessEvents);
    std::string decoded = Unescape(ReadAsStringLiteral(s));
    return OwnedText(CopyBytesAsText(decoded.data(), static_cast<int64_t>(decoded.size())));
}

int64_t HexTextToNumber(const char* text)
{
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
