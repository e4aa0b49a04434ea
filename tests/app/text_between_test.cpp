#include "app/text_between.h"

#include "tests/support/heap_balance.h"

#include <gtest/gtest.h>

#include <string>

namespace {

#define QUOTE "#\xD2\xFD\xBA\xC5"  // the "#引号" marker

TEST(TextBetween, Markers)
{
    struct Case {
        const char* source;
        const char* start;
        const char* end;
        int32_t position;
        bool ignoreCase;
        const char* expected;  // nullptr: the empty text
    } const cases[] = {
        {"a=1&b=2", "a=", "&", 0, false, "1"},
        {"a=1&b=2", "a=", "x", 0, false, nullptr},
        {"a=1&b=2", "c=", "&", 0, false, nullptr},
        {"x&a=1", "a=", "&", 0, false, nullptr},  // the end marker only before the start
        {"a=&b", "a=", "&", 0, false, nullptr},   // end directly after the start
        {"a=1&b=2", "a=", "", 0, false, nullptr},
        {"abc&d", "", "&", 0, false, "abc"},
        {"", "", "&", 0, false, nullptr},
        {"{\"url\":\"http://x\"}", QUOTE "url" QUOTE ":" QUOTE, QUOTE, 0, false, "http://x"},
        {"k" QUOTE ":v;", "k" QUOTE ":", ";", 0, false, nullptr},  // "#引号" in the source is just text
        {"k\":v;", QUOTE ":", ";", 0, false, "v"},
        {"a=1&a=2&", "a=", "&", 3, false, "2"},
        {"a=1&a=2&", "a=", "&", 1, false, "1"},
        {"HASH=ab&", "hash=", "&", 0, true, "ab"},
        {"HASH=ab&", "hash=", "&", 0, false, nullptr},
        {"\xD6\xD0=\x81" "a=1&a=2&", "a=", "&", 0, false, "2"},  // never from a trail byte
        {"hash=1&album_id=2", "hash=", "&album_id=", 0, false, "1"},
        {"hash=1&album_id=2", "&album_id=", "", 0, false, nullptr},
    };
    for (const auto& c : cases) {
        HeapBalance balance;
        {
            OwnedText t = TextBetween(c.source, c.start, c.end, c.position, c.ignoreCase);
            if (c.expected) {
                EXPECT_STREQ(t.CStr(), c.expected) << c.source << " | " << c.start << " | " << c.end;
            } else {
                EXPECT_EQ(t.Get(), nullptr) << c.source << " | " << c.start << " | " << c.end;
            }
        }
        EXPECT_EQ(balance.Delta(), 0) << c.source;
    }
}

}  // namespace
