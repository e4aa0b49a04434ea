#include "app/value_helpers.h"

#include "runtime/core/heap.h"
#include "runtime/core/runtime_error.h"

#include <cmath>
#include <cstring>
#include <vector>

Text ConcatTexts(int32_t count, const char* const* texts)
{
    uint64_t total = 0;
    for (int32_t i = 0; i < count; ++i) total += TextLength(texts[i]);
    if (total >= 0xFFFFFFFFull) RaiseAllocationFailure(0xFFFFFFFFu);
    Text out = static_cast<Text>(RuntimeAlloc(static_cast<uint32_t>(total + 1)));
    size_t at = 0;
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t n = TextLength(texts[i]);
        if (n) std::memcpy(out + at, texts[i], n);
        at += n;
    }
    out[at] = 0;
    return out;
}

OwnedText ConcatTexts(std::initializer_list<TextRef> parts)
{
    const char* texts[16];
    std::vector<const char*> many;
    const char** list = texts;
    if (parts.size() > 16) {
        many.resize(parts.size());
        list = many.data();
    }
    int32_t n = 0;
    for (const TextRef& p : parts) list[n++] = p.text;
    return OwnedText(ConcatTexts(n, list));
}

ByteSet ConcatByteSets(int32_t count, const uint8_t* const* sets)
{
    uint64_t total = 0;
    for (int32_t i = 0; i < count; ++i) total += ByteSetLength(sets[i]);
    if (total == 0) return nullptr;
    if (total > 0xFFFFFFFFull - 8) RaiseAllocationFailure(0xFFFFFFFFu);
    ByteSet out = static_cast<ByteSet>(RuntimeAlloc(static_cast<uint32_t>(total + 8)));
    SetArrayWord(out, 0, 1);
    SetArrayWord(out, 1, static_cast<uint32_t>(total));
    size_t at = 8;
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t n = ByteSetLength(sets[i]);
        if (n) std::memcpy(out + at, ByteSetData(sets[i]), n);
        at += n;
    }
    return out;
}

OwnedBytes ConcatByteSets(std::initializer_list<BytesRef> parts)
{
    const uint8_t* sets[16];
    std::vector<const uint8_t*> many;
    const uint8_t** list = sets;
    if (parts.size() > 16) {
        many.resize(parts.size());
        list = many.data();
    }
    int32_t n = 0;
    for (const BytesRef& p : parts) list[n++] = p.bytes;
    return OwnedBytes(ConcatByteSets(n, list));
}

int32_t CompareTexts(const char* a, const char* b)
{
    const int c = std::strcmp(a ? a : "", b ? b : "");  // strcmp compares as unsigned char
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

uint32_t ArrayElementCount(const void* block)
{
    if (!block || ArrayWord(block, 0) == 0) return 0;
    return ArrayElementTotal(block);
}

ArrayElementsView ArrayElements(void* block)
{
    if (!block) return {nullptr, 0};
    return {ArrayElementData(block), ArrayElementCount(block)};
}

int64_t TruncateToInteger(double x)
{
    // 2^63 is exactly representable; anything at or beyond it (or NaN) has no
    // 64-bit integer.
    if (!(x > -9223372036854775808.0 - 1024.0 && x < 9223372036854775808.0)) return INT64_MIN;
    return static_cast<int64_t>(std::trunc(x));
}
