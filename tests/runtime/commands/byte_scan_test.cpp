// The byte scans against the C library at every alignment and short length,
// where a vector loop's head and tail handling goes wrong.
#include "runtime/commands/byte_scan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

TEST(ByteScan, AgreesWithTheCLibraryAtEveryAlignment)
{
    alignas(16) std::vector<char> buffer(256, 'x');
    for (size_t align = 0; align < 32; ++align) {
        for (size_t length = 0; length < 80; ++length) {
            std::fill(buffer.begin(), buffer.end(), 'x');
            char* text = buffer.data() + align;
            text[length] = '\0';
            if (length > 3) text[length - 3] = 'y';
            EXPECT_EQ(commands::ScanTextLength(text), length) << align << "/" << length;
            const auto* bytes = reinterpret_cast<const uint8_t*>(text);
            for (uint8_t wanted : {uint8_t{'y'}, uint8_t{'z'}, uint8_t{'x'}}) {
                const void* expected = std::memchr(bytes, wanted, length);
                EXPECT_EQ(commands::ScanForByte(bytes, length, wanted), expected) << align << "/" << length;
            }
        }
    }
}

}  // namespace
