// Shared pieces of the command tests: a fixture that fails a test which
// leaves blocks on the RuntimeHeap, and GBK literals.
#pragma once

#include "app/call.h"
#include "runtime/core/heap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class CommandTest : public ::testing::Test {
protected:
    void SetUp() override { liveAtStart_ = RuntimeLiveBlocks(); }
    void TearDown() override { EXPECT_EQ(RuntimeLiveBlocks(), liveAtStart_) << "blocks left on the heap"; }

private:
    int64_t liveAtStart_ = 0;
};

// Parts of a text array as strings; a null element reads as "<null>".
inline std::vector<std::string> Parts(const OwnedArray& array)
{
    std::vector<std::string> out;
    for (uint32_t i = 0; i < array.Count(); ++i) {
        const char* t = array.TextAt(i);
        out.push_back(t ? std::string(t) : std::string("<null>"));
    }
    return out;
}

inline std::string Str(const OwnedText& t) { return std::string(t.View()); }

// GBK bytes of a few characters the tests use.
#define GBK_ZHONG "\xD6\xD0"     // 中
#define GBK_WEN "\xCE\xC4"       // 文
#define GBK_FULLSPACE "\xA1\xA1" // full-width space
// A character whose trail byte is the ASCII letter 'a' (0x61): 0x81 0x61.
#define GBK_TRAIL_A "\x81\x61"
