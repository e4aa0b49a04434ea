#include "app/text/script_literal.h"

#include "app/call.h"
#include "app/value_helpers.h"
#include "runtime/commands/system_commands.h"
#include "runtime/commands/text_commands.h"

#include <string_view>

namespace {

// What a hexadecimal text reads as: its number, and whether every character
// of it was a digit (only then is it an escape's code).
struct HexReading {
    int64_t value = 0;
    bool allDigits = true;
};

// The one reader of hexadecimal digits. It reads as the digit table lookup
// of an upper-cased text does: the upper-casing leaves a double-byte
// character whole, so its trail byte counts as a digit only when it is an
// upper-case one; a character that is no digit counts as -2 (its table
// position, -1, less one). The sum is worked in double precision and cut
// back to an integer after every digit, which only matters past 13 digits.
HexReading ReadHex(std::string_view digits)
{
    HexReading reading;
    bool trailByte = false;
    for (char ch : digits) {
        const auto c = static_cast<unsigned char>(ch);
        const bool upperCased = !trailByte;
        trailByte = !trailByte && c >= 0x80;
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (upperCased && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (digit < 0) {
            reading.allDigits = false;
            digit = -2;
        }
        reading.value = TruncateToInteger(static_cast<double>(reading.value) * 16 + digit);
    }
    return reading;
}

// A lead byte that starts a double-byte character: the scanner steps over
// both bytes, so a trail byte that equals "\" or "%" is never read as one.
bool StartsDoubleByte(std::string_view s, size_t i)
{
    return static_cast<unsigned char>(s[i]) >= 0x80 && i + 1 < s.size();
}

// The control characters "\b" "\f" "\n" "\r" "\t" stand for, in that order.
constexpr std::string_view kControlLetters = "bfnrt";
constexpr std::string_view kControlCharacters = "\b\f\n\r\t";

// One character of the text read as a string literal: bytes kept as they are
// (one byte, or a double-byte character whole), or the UTF-16 unit an escape
// spells. `end` is where the next character starts.
struct LiteralChar {
    std::string_view kept;  // empty for a unit
    int32_t unit = 0;
    size_t end = 0;

    bool IsUnit() const { return kept.empty(); }
    // The ASCII character this is, or -1: only those can spell a percent escape.
    int Ascii() const
    {
        if (IsUnit()) return unit < 0x80 ? unit : -1;
        return kept.size() == 1 && static_cast<unsigned char>(kept[0]) < 0x80 ? kept[0] : -1;
    }
};

LiteralChar Kept(std::string_view s, size_t at, size_t length, size_t end) { return {s.substr(at, length), 0, end}; }

LiteralChar ReadLiteralChar(std::string_view s, size_t i)
{
    if (StartsDoubleByte(s, i)) return Kept(s, i, 2, i + 2);
    if (s[i] != '\\' || i + 1 == s.size()) return Kept(s, i, 1, i + 1);
    const char c = s[i + 1];
    if (size_t control = kControlLetters.find(c); control != std::string_view::npos) {
        return Kept(kControlCharacters, control, 1, i + 2);
    }
    if (c == 'x' || c == 'u') {
        const size_t count = c == 'x' ? 2 : 4;
        if (s.size() - (i + 2) >= count) {
            const HexReading code = ReadHex(s.substr(i + 2, count));
            if (code.allDigits) return {{}, static_cast<int32_t>(code.value), i + 2 + count};
        }
        return Kept(s, i + 1, 1, i + 2);
    }
    // The backslash goes; a double-byte character after it stays whole.
    return StartsDoubleByte(s, i + 1) ? Kept(s, i + 1, 2, i + 3) : Kept(s, i + 1, 1, i + 2);
}

// The literal's characters from i on that can spell the rest of a percent
// escape ("uXXXX" or "XX"): up to five ASCII ones, each with where it ends.
// A NUL is skipped over, as it is left out of the literal's text.
struct EscapeSpelling {
    char chars[5] = {};
    size_t ends[5] = {};
    size_t count = 0;

    std::string_view Chars() const { return {chars, count}; }
};

EscapeSpelling SpellingAt(std::string_view s, size_t i)
{
    EscapeSpelling spelling;
    while (spelling.count < 5 && i < s.size()) {
        const LiteralChar c = ReadLiteralChar(s, i);
        i = c.end;
        if (c.IsUnit() && c.unit == 0) continue;
        const int ascii = c.Ascii();
        if (ascii < 0) break;
        spelling.chars[spelling.count] = static_cast<char>(ascii);
        spelling.ends[spelling.count++] = i;
    }
    return spelling;
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
        out_ += ScriptUnitsToGbk(units_);
        units_.clear();
    }
    std::string out_;
    std::u16string units_;
};

// One pass over the text: each character of the literal, unless a "%" among
// them starts a percent escape, which then takes the characters it is spelt in.
std::string ReadAndUnescape(std::string_view s)
{
    DecodedText out;
    size_t i = 0;
    while (i < s.size()) {
        const LiteralChar c = ReadLiteralChar(s, i);
        i = c.end;
        if (c.Ascii() == '%') {
            const EscapeSpelling spelling = SpellingAt(s, i);
            const std::string_view rest = spelling.Chars();
            HexReading code;
            size_t length = 0;  // characters the escape takes after the "%"
            if (rest.size() == 5 && rest[0] == 'u' && (code = ReadHex(rest.substr(1))).allDigits) {
                length = 5;
            } else if (rest.size() >= 2 && (code = ReadHex(rest.substr(0, 2))).allDigits) {
                length = 2;
            }
            if (length > 0) {
                out.Unit(static_cast<int32_t>(code.value));
                i = spelling.ends[length - 1];
                continue;
            }
        }
        if (c.IsUnit()) {
            out.Unit(c.unit);
        } else {
            out.Keep(c.kept);
        }
    }
    return out.Finish();
}

}  // namespace

OwnedText UnescapeScriptLiteral(const char* text)
{
    std::string_view s = text ? std::string_view(text) : std::string_view();
    // The window's waiting messages get their turn once per byte of the text,
    // so a long reply does not freeze it; the reading itself is one quick scan.
    for (size_t i = 0; i < s.size(); ++i) Call::Void(ProcessEvents);
    std::string decoded = ReadAndUnescape(s);
    return OwnedText(CopyBytesAsText(decoded.data(), static_cast<int64_t>(decoded.size())));
}

int64_t HexTextToNumber(const char* text) { return ReadHex(text ? std::string_view(text) : std::string_view()).value; }
