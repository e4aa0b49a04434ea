// Builds a command's result Text (or ByteSet) directly on the RuntimeHeap,
// growing geometrically and trimming to the exact size at the end, so a large
// result is copied once rather than once per append.
#pragma once

#include "runtime/core/heap.h"
#include "runtime/core/runtime_error.h"
#include "runtime/core/values.h"

#include <cstdint>
#include <cstring>

namespace commands {

class ResultBuilder {
public:
    // headerBytes: 0 for a Text, 8 for a ByteSet ({1, length} ahead of the bytes).
    ResultBuilder(uint32_t headerBytes, uint64_t expectedSize) : header_(headerBytes) { Reserve(expectedSize); }
    ~ResultBuilder() { RuntimeFree(block_); }
    ResultBuilder(const ResultBuilder&) = delete;
    ResultBuilder& operator=(const ResultBuilder&) = delete;

    void Append(const void* bytes, size_t n)
    {
        if (n == 0) return;
        Reserve(static_cast<uint64_t>(size_) + n);
        std::memcpy(block_ + header_ + size_, bytes, n);
        size_ += static_cast<uint32_t>(n);
    }
    void AppendByte(uint8_t b) { Append(&b, 1); }
    uint32_t Size() const { return size_; }

    // The finished Text: exactly length + 1 bytes, null when empty.
    Text FinishText()
    {
        if (size_ == 0) return nullptr;
        block_[size_] = 0;  // Reserve always keeps room for it
        return reinterpret_cast<Text>(Trim(size_ + 1));
    }

    // The finished ByteSet {1, length, bytes}, null when empty.
    ByteSet FinishByteSet()
    {
        if (size_ == 0) return nullptr;
        SetArrayWord(block_, 0, 1);
        SetArrayWord(block_, 1, size_);
        return Trim(header_ + size_);
    }

private:
    // Room for `n` content bytes (plus the header and a NUL).
    void Reserve(uint64_t n)
    {
        uint64_t need = header_ + n + 1;
        if (need <= capacity_) return;
        uint64_t grown = capacity_ < 64 ? 64 : static_cast<uint64_t>(capacity_) * 2;
        if (grown < need) grown = need;
        if (grown > 0xFFFFFFF0ull) grown = need;
        if (need > 0xFFFFFFF0ull) RaiseAllocationFailure(0xFFFFFFFFu);
        block_ = static_cast<uint8_t*>(RuntimeRealloc(block_, static_cast<uint32_t>(grown)));
        capacity_ = static_cast<uint32_t>(grown);
    }

    uint8_t* Trim(uint32_t total)
    {
        uint8_t* result = block_;
        if (total != capacity_) result = static_cast<uint8_t*>(RuntimeRealloc(block_, total));
        block_ = nullptr;
        capacity_ = 0;
        size_ = 0;
        return result;
    }

    uint32_t header_;
    uint8_t* block_ = nullptr;  // owned until finished
    uint32_t capacity_ = 0;
    uint32_t size_ = 0;
};

}  // namespace commands
