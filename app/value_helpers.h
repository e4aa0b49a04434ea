// The value helpers the application's own operators compile to: joining
// texts and byte sets, comparing texts, counting and walking array elements,
// truncating a floating value.
#pragma once

#include "app/owned.h"
#include "runtime/core/values.h"

#include <cstdint>
#include <initializer_list>
#include <string>

// A borrowed text for a join: a raw Text (null is empty), an OwnedText or a
// std::string.
struct TextRef {
    TextRef(const char* t) : text(t) {}
    TextRef(const OwnedText& t) : text(t.Get()) {}
    TextRef(const std::string& t) : text(t.c_str()) {}
    const char* text;  // borrowed
};

// A borrowed byte set for a join.
struct BytesRef {
    BytesRef(const uint8_t* b) : bytes(b) {}
    BytesRef(const OwnedBytes& b) : bytes(b.Get()) {}
    const uint8_t* bytes;  // borrowed
};

// The bytes of the texts in order, NUL-terminated, always a fresh block (an
// all-empty join gives a one-byte empty text); null parts count as empty.
Text ConcatTexts(int32_t count, const char* const* texts);
OwnedText ConcatTexts(std::initializer_list<TextRef> parts);

// The bytes of the byte sets in order; null (the empty byte set) when the
// total is 0.
ByteSet ConcatByteSets(int32_t count, const uint8_t* const* sets);
OwnedBytes ConcatByteSets(std::initializer_list<BytesRef> parts);

// -1, 0 or 1: unsigned byte-wise comparison; null compares as "".
int32_t CompareTexts(const char* a, const char* b);

// Product of the block's dimension sizes; 0 for a block with no dimensions.
uint32_t ArrayElementCount(const void* block);

struct ArrayElementsView {
    uint8_t* first;  // borrowed: just behind the dimension sizes; null for a null block
    uint32_t count;
};
ArrayElementsView ArrayElements(void* block);

// x rounded toward zero as a 64-bit integer; callers take the low 32 bits.
// NaN and values outside the 64-bit range give INT64_MIN, the integer the
// floating unit answers for them.
int64_t TruncateToInteger(double x);
