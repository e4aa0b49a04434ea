// The fallback reading of a reply when the script engine gives nothing: what a
// hostile or merely odd reply does to it, byte for byte.
#include "app/text/script_literal.h"

#include "tests/support/heap_balance.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Str(const OwnedText& text) { return std::string(text.View()); }

TEST(ScriptLiteral, EveryByteOutsideAnEscapeIsKept)
{
    struct Case {
        const char* input;
        const char* expected;
    } const cases[] = {
        {"%u4e2d%u6587", "\xD6\xD0\xCE\xC4"},
        {"%u4E2D", "\xD6\xD0"},
        {"x%41y%42", "xAyB"},
        {"a%20b", "a b"},
        {"abc", "abc"},
        {"", ""},
        // A "%" that starts no whole escape of hexadecimal digits stays.
        {"50%", "50%"},
        {"%4", "%4"},
        {"%zz%u12", "%zz%u12"},
        {"%uzzzz", "%uzzzz"},
        {"%u4e2", "%u4e2"},
        {"%u4e%41", "%u4eA"},
        // The NUL character would end the text: it is left out.
        {"%00", ""},
        {"a%00b%u0000c", "abc"},
        // String-literal escapes, as the script engine reads them.
        {"http:\\/\\/a.example\\/b.mp3", "http://a.example/b.mp3"},
        {"say \\\"hi\\\"", "say \"hi\""},
        {"a\\\\b", "a\\b"},
        {"\\%u4e2d", "\xD6\xD0"},        // "\\u4e2d" once its "\u" became "%u"
        {"a\\\\%u4e2d", "a\\\xD6\xD0"},  // an escaped backslash before an escape
        {"\\u4e2d", "\xD6\xD0"},
        {"tab\\tnl\\ncr\\rbs\\bff\\f", "tab\tnl\ncr\rbs\bff\f"},
        {"\\x41\\x4g", "Ax4g"},
        {"\\q\\v\\'", "qv'"},
        {"\\%41", "A"},  // the literal is read first, then unescaped
        {"\\x25u4e2d", "\xD6\xD0"},
        // A character the literal gave is one character to the unescaping, even
        // one whose GBK form is a single byte of the lead-byte range (the euro
        // sign, 0x80): the "%" after it still starts an escape.
        {"\\u20AC%41", "\x80" "A"},
        // A backslash at the very end has nothing to escape: it stays.
        {"end\\", "end\\"},
        {"\\", "\\"},
        // Double-byte characters stay whole: a trail byte that equals "\" or
        // an escape letter is no escape, and a backslash before one goes.
        {"\x95\x5Cn", "\x95\x5Cn"},
        {"\x95\x5C%41", "\x95\x5C"
                        "A"},
        {"\\\xD6\xD0", "\xD6\xD0"},
        {"a\x95", "a\x95"},
        {"x%u4e2dy\xCE\xC4z", "x\xD6\xD0y\xCE\xC4z"},
        // The caller's placeholders are plain bytes here.
        {"a{$}b\xA1\xAF", "a{$}b\xA1\xAF"},
        // A reply as the endpoint sends it keeps the markers the lookup cuts at.
        {"{\"img\":\"http:\\/\\/c.example\\/%u5c01.jpg\",\"play_url\":\"http:\\/\\/a.example\\/s.mp3\","
         "\"authors\":[{\"author_name\":\"%u6b4c\"}]}\r\n",
         "{\"img\":\"http://c.example/\xB7\xE2.jpg\",\"play_url\":\"http://a.example/s.mp3\","
         "\"authors\":[{\"author_name\":\"\xB8\xE8\"}]}\r\n"},
    };
    for (const Case& c : cases) {
        HeapBalance balance;
        EXPECT_EQ(Str(UnescapeScriptLiteral(c.input)), c.expected) << c.input;
        EXPECT_EQ(balance.Delta(), 0) << c.input;
    }
}

// Escapes of characters GBK does not hold come out as the conversion's
// default character, never as stray bytes. A surrogate pair reaches the
// conversion as a pair: iconv (the native build) makes one "?" of it, the
// platform's code page 936 one per unit, as it does for the script engine's
// result (the script tests compare the two readings there).
TEST(ScriptLiteral, CharactersOutsideGbk)
{
#ifdef _WIN32
    EXPECT_EQ(Str(UnescapeScriptLiteral("<%uD83D%uDE00>")), "<?" "?>");
#else
    EXPECT_EQ(Str(UnescapeScriptLiteral("<%uD83D%uDE00>")), "<?>");
#endif
    EXPECT_EQ(Str(UnescapeScriptLiteral("<%u0E01>")), "<?>");
    EXPECT_EQ(Str(UnescapeScriptLiteral("<%uD83D>")), "<?>");
    EXPECT_EQ(Str(UnescapeScriptLiteral("<%uDE00%uD83D>")), "<?" "?>");
}

// Moved here from the script-engine tests: the routine needs no engine.
TEST(ScriptLiteral, HexTextToNumber)
{
    struct Case {
        const char* text;
        int64_t value;
    };
    const Case cases[] = {
        {"4e2d", 20013}, {"00", 0}, {"FF", 255}, {"ff", 255}, {"", 0}, {"7FFFFFFF", 0x7FFFFFFF}, {"G", -2}, {"1G", 14},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HexTextToNumber(c.text), c.value) << c.text;
    }
    // Far too many digits for 64 bits: a defined answer, not a fault.
    EXPECT_EQ(HexTextToNumber("FFFFFFFFFFFFFFFFFFFFFFFF"), INT64_MIN);
}

// Any mix of escape starts, backslashes and stray high bytes reads without
// faulting (the sanitizer build watches every byte read) and never grows.
TEST(ScriptLiteral, ArbitraryBytesReadSafely)
{
    static const char kAlphabet[] = {'\\', 'u',  'x',    '%',    '4',    'e',    'F', 'D', '8', '0',
                                     '\r', '\n', '\x80', '\xFF', '\x95', '\x5C', '"', '/', 'a'};
    uint32_t seed = 4321;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    HeapBalance balance;
    for (int round = 0; round < 2000; ++round) {
        std::string input;
        for (uint32_t n = next() % 40; n > 0; --n) input += kAlphabet[next() % sizeof kAlphabet];
        OwnedText decoded = UnescapeScriptLiteral(input.c_str());
        EXPECT_LE(decoded.Length(), input.size()) << input;
    }
    EXPECT_EQ(balance.Delta(), 0);
}

}  // namespace
