// Unicode-escape decoding through the platform's script engine, and the
// percent-escape fallback.
#include "app/text/unicode_escapes.h"

#include "app/call.h"
#include "runtime/com/object_commands.h"
#include "runtime/com/owned_object.h"
#include "tests/app/text/text_test_support.h"
#include "tests/support/heap_balance.h"

namespace {

using UnicodeEscapesTest = AppTextTest;

TEST_F(UnicodeEscapesTest, DecodesThroughTheScriptEngine) {
    struct Case {
        const char* what;
        const char* input;
        const char* expected;
    };
    const Case cases[] = {
        {"backslash-u escapes", "\\u4e2d\\u6587", "\xD6\xD0\xCE\xC4"},
        {"upper-case digits", "\\u4E2D!", "\xD6\xD0!"},
        {"escaped slashes", "http:\\/\\/a.example\\/b.mp3", "http://a.example/b.mp3"},
        {"percent escapes too", "a%20b%u6587", "a b\xCE\xC4"},
        {"plain text with CR LF and apostrophes", "O'Neil said\r\n'hi'\r\n", "O'Neil said\r\n'hi'\r\n"},
        {"a full-width quote comes back as an apostrophe", "it\xA1\xAFs", "it's"},
        {"the line-break placeholder comes back as CR LF", "a{$}b", "a\r\nb"},
        {"a leading lone CR is dropped", "\rabc", "abc"},
        {"a JSON reply", "{\"img\":\"http:\\/\\/c.example\\/\\u5c01.jpg\",\"name\":\"\\u6b4c\"}\r\n",
         "{\"img\":\"http://c.example/\xB7\xE2.jpg\",\"name\":\"\xB8\xE8\"}\r\n"},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Str(DecodeUnicodeEscapes(c.input).Get()), c.expected) << c.what;
    }
}

// Whether the platform's JScript takes a raw line feed inside a string
// literal. Standard JScript refuses it; some engines are lenient.
bool ScriptAcceptsRawLineFeed() {
    OwnedObject script;
    Call::Bool(CreateObject, script.Variable(), "ScriptControl");
    Call::Bool(WriteProperty, script.Arg(), "Language", "JScript");
    OwnedText r = Call::Text(CallMethodText, script.Arg(), "Eval", "'a\nb'");
    return LastObjectCallStatus() == kCallOk;
}

TEST_F(UnicodeEscapesTest, AStatementThatDoesNotCompileFallsBackToTheEscapesAlone) {
    // A trailing backslash escapes the literal's closing quote on every
    // engine: nothing compiles, and the fallback keeps only what the escapes
    // decode to.
    EXPECT_EQ(Str(DecodeUnicodeEscapes("x\\u4e2d y%41\\").Get()), "\xD6\xD0"
                                                                  "A");
    EXPECT_EQ(Str(DecodeUnicodeEscapes("no escapes\\").Get()), "");

    // A line feed without its carriage return ends the literal in standard
    // JScript; an engine that reads on decodes the whole text instead.
    std::string loneFeed = Str(DecodeUnicodeEscapes("x\\u4e2d\ny\\u6587").Get());
    if (ScriptAcceptsRawLineFeed()) {
        EXPECT_EQ(loneFeed, "x\xD6\xD0\ny\xCE\xC4");
    } else {
        EXPECT_EQ(loneFeed, "\xD6\xD0\xCE\xC4");
    }
}

// Reply bytes can never end the script's literal early: an apostrophe
// hidden behind a byte that only looks like a lead byte is still an
// apostrophe to the script engine.
// The reply is text, never script: an apostrophe byte behind a byte that the
// text scanners take for a lead byte is still an apostrophe to the script
// engine, and must not end the literal and run the rest of the reply.
TEST_F(UnicodeEscapesTest, ReplyBytesCannotEndTheScriptLiteral) {
    for (const char* input : {"\x80';return \"INJECTED\";}//", "\x81';return \"INJECTED\";}//",
                              "\xFF';return \"INJECTED\";}//", "\xD6';return \"INJECTED\";}//"}) {
        std::string decoded = Str(DecodeUnicodeEscapes(input).Get());
        EXPECT_NE(decoded, "INJECTED") << input;
        EXPECT_NE(decoded.find("return \"INJECTED\";}//"), std::string::npos) << input << " gave " << decoded;
    }
}

TEST_F(UnicodeEscapesTest, PercentEscapeFallback) {
    struct Case {
        const char* input;
        const char* expected;
    };
    const Case cases[] = {
        {"%u4e2d%u6587", "\xD6\xD0\xCE\xC4"},
        {"x%41y%42", "AB"},
        {"%u4E2D", "\xD6\xD0"},
        {"50%", "%"}, // a sign at the end stands for itself
        {"%4", "%"},
        {"%zz%u12", "%%"}, // not hexadecimal digits: not decoded
        {"%uzzzz", "%"},
        {"%00", ""}, // the NUL character ends the converted text
        {"abc", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Str(DecodePercentEscapes(c.input).Get()), c.expected) << c.input;
    }
}

TEST_F(UnicodeEscapesTest, HexTextToNumber) {
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

// Replies are bytes from the network: any mix of quotes, backslashes,
// escape starts, line breaks and stray high bytes decodes to some text
// without faulting and without leaving blocks behind.
TEST_F(UnicodeEscapesTest, ArbitraryBytesDecodeSafely) {
    static const char kAlphabet[] = {'\'',   '\\',   'u',    '%', '4', 'e', 'F', '\r', '\n', '\x80',
                                     '\xFF', '\xA1', '\xAF', '"', '}', '/', 'a', '{',  '$'};
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    HeapBalance balance;
    for (int round = 0; round < 150; ++round) {
        std::string input;
        for (uint32_t n = next() % 48; n > 0; --n)
            input += kAlphabet[next() % sizeof kAlphabet];
        OwnedText decoded = DecodeUnicodeEscapes(input.c_str());
        EXPECT_LE(decoded.Length(), input.size() * 2 + 8) << input;
    }
    EXPECT_EQ(balance.Delta(), 0);
}

TEST_F(UnicodeEscapesTest, LeavesNoBlocksBehind) {
    HeapBalance balance;
    for (int i = 0; i < 10; ++i) {
        DecodeUnicodeEscapes("'a'\\u4e2d\r\n\\/x%20");
        DecodeUnicodeEscapes("lone\nfeed\\u4e2d");
    }
    EXPECT_EQ(balance.Delta(), 0);
}

} // namespace
