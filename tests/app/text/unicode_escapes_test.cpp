// Unicode-escape decoding through the platform's script engine, and the
// percent-escape fallback.
#include "app/text/unicode_escapes.h"

#include "app/call.h"
#include "runtime/com/object_commands.h"
#include "runtime/com/owned_object.h"
#include "tests/app/text/text_test_support.h"
#include "tests/support/heap_balance.h"
#include "tests/support/class_stand_in.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

using UnicodeEscapesTest = AppTextTest;

// What the live blocks of all the process's heaps hold: the script engine's
// libraries keep their own heaps besides the process heap.
uint64_t BusyHeapBytes() {
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 8);
    // Only the handles stored: heaps made since the first call make the count
    // larger than the room given.
    heaps.resize(std::min<size_t>(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()), heaps.size()));
    uint64_t busy = 0;
    for (HANDLE heap : heaps) {
        if (!HeapLock(heap))
            continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heap, &entry)) {
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) && !(entry.wFlags & PROCESS_HEAP_REGION))
                busy += entry.cbData;
        }
        HeapUnlock(heap);
    }
    return busy;
}

// Whichever engines the machine has (the script control and its JScript
// engine come and go with Windows releases and features), a reply decodes to
// the same text: where one is missing the routine reads the text itself, and
// nothing is shown.
TEST_F(UnicodeEscapesTest, DecodesTheSameWithOrWithoutTheScriptEngine) {
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
    for (const wchar_t* missing : {static_cast<const wchar_t*>(nullptr), L"ScriptControl", L"JScript"}) {
        SCOPED_TRACE(missing ? std::wstring(L"without ") + missing : std::wstring(L"with every engine"));
        // Wine's script control faults when the language's engine cannot be
        // made (it releases an error object it never set); Windows' reports
        // the failure, which the routine takes as no engine.
        if (missing && std::wstring(missing) == L"JScript" && RunningUnderWine()) {
            std::printf("without JScript: skipped, Wine's script control faults without its engine\n");
            continue;
        }
        std::optional<ClassStandIn> unavailable;
        if (missing) {
            unavailable.emplace(missing);
            ASSERT_TRUE(unavailable->InEffect());
        }
        for (const Case& c : cases) {
            EXPECT_EQ(Str(DecodeUnicodeEscapes(c.input).Get()), c.expected) << c.what;
        }
    }
}

TEST_F(UnicodeEscapesTest, AStatementThatDoesNotCompileFallsBackToTheSameReading) {
    // A trailing backslash escapes the literal's closing quote on every
    // engine: nothing compiles, and the fallback reads the text itself,
    // keeping every byte that is not part of an escape.
    EXPECT_EQ(Str(DecodeUnicodeEscapes("x\\u4e2d y%41\\").Get()), "x\xD6\xD0 yA\\");
    EXPECT_EQ(Str(DecodeUnicodeEscapes("no escapes\\").Get()), "no escapes\\");

    // A line feed without its carriage return ends the literal in standard
    // JScript; whether the engine or the fallback reads it, the text is the
    // same.
    EXPECT_EQ(Str(DecodeUnicodeEscapes("x\\u4e2d\ny\\u6587").Get()), "x\xD6\xD0\ny\xCE\xC4");
}

// What the script engine makes of a text, the fallback makes of it too: the
// same text with a trailing backslash, which no engine compiles, comes back
// as the engine's reading followed by that backslash. Only escapes that every
// JScript engine reads alike are compared: the classic engine reads "\v" as
// "v" and a newer one (Windows 11 24H2 on) may read it as a vertical tab.
TEST_F(UnicodeEscapesTest, TheFallbackReadsATextAsTheScriptEngineDoes) {
    SL_SKIP_WITHOUT_CLASSES(L"ScriptControl", L"JScript");
    const char* const inputs[] = {
        "{\"img\":\"http:\\/\\/c.example\\/\\u5c01.jpg\",\"name\":\"\\u6b4c\"}\r\n",
        "\\u4e2d\\u6587 \\u4E2D",
        "http:\\/\\/a.example\\/b.mp3",
        "say \\\"hi\\\" a\\\\b",
        "\\\\u4e2d",                      // an escaped backslash before u4e2d
        "%20%u4e2d%zz%4%u12 50%",
        "tab\\tnl\\ncr\\rbs\\bff\\f",
        "\\x41\\q\\%41",
        "O'Neil said\r\n'hi' it\xA1\xAFs a{$}b",
        "\\ud83d\\ude00 pair",             // outside GBK, as a surrogate pair
        "\\ud83d alone \\ude00",
        "\\u0e01\\u00e4\\u00b7\\u20ac", // Thai, a-umlaut, middle dot, euro
        "\x95\x5Cn \\\xD6\xD0",          // a trail byte that equals a backslash
    };
    for (const char* input : inputs) {
        std::string script = Str(DecodeUnicodeEscapes(input).Get());
        std::string fallback = Str(DecodeUnicodeEscapes((std::string(input) + "\\").c_str()).Get());
        EXPECT_EQ(fallback, script + "\\") << input;
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

// The routine runs once per reply, thousands of times in a long run: once
// its one-time costs are paid (libraries loaded, type information read),
// nothing stays behind in any heap, the script engine's included. Growth is
// measured as a slope: two long stretches of calls, one after the other. What
// the routine keeps per call grows both alike; what comes once (a heap taking
// a new sub-block, the anti-malware scan of script input that Windows makes,
// a cache of the platform's filling up) lands in one stretch only, so the
// smaller growth of the two is the routine's own.
TEST_F(UnicodeEscapesTest, ALongRunLeavesNothingInTheHeaps) {
    auto decodeMany = [](int runs) {
        for (int i = 0; i < runs; ++i)
            DecodeUnicodeEscapes("{\"img\":\"http:\\/\\/c.example\\/\\u5c01.jpg\"}");
        return static_cast<int64_t>(BusyHeapBytes());
    };
    constexpr int kRuns = 300;
    const int64_t start = decodeMany(25);
    const int64_t middle = decodeMany(kRuns);
    const int64_t end = decodeMany(kRuns);
    // Well under 100 bytes a call; a compiled expression kept by the engine
    // is over a kilobyte each time.
    EXPECT_LT(std::min(middle - start, end - middle), kRuns * 100)
        << "busy heap bytes " << start << ", after " << kRuns << " calls " << middle << ", after " << 2 * kRuns << " "
        << end;
}

} // namespace
