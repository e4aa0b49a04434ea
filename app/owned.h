// Owning wrappers for the runtime values application code holds: a Text, a
// ByteSet or an array block that a command returned. Each frees its block
// through the RuntimeHeap when it goes out of scope, so a routine cannot leak
// its intermediates; Release() hands the block on (to a result or a variable
// the caller owns). Move-only; Get() is the explicit way to the raw pointer.
#pragma once

#include "runtime/core/heap.h"
#include "runtime/core/values.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

class OwnedText {
public:
    OwnedText() = default;
    explicit OwnedText(Text text) : text_(text) {}
    ~OwnedText() { RuntimeFree(text_); }
    OwnedText(OwnedText&& other) noexcept : text_(other.Release()) {}
    OwnedText& operator=(OwnedText&& other) noexcept
    {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    OwnedText(const OwnedText&) = delete;
    OwnedText& operator=(const OwnedText&) = delete;

    // The block; null is the empty text.
    const char* Get() const { return text_; }
    // Never null: "" for the empty text.
    const char* CStr() const { return text_ ? text_ : ""; }
    std::string_view View() const { return text_ ? std::string_view(text_) : std::string_view(); }
    uint32_t Length() const { return TextLength(text_); }
    bool Empty() const { return !text_ || text_[0] == '\0'; }

    [[nodiscard]] Text Release() { return std::exchange(text_, nullptr); }
    void Reset(Text text = nullptr)
    {
        Text old = std::exchange(text_, text);
        if (old != text) RuntimeFree(old);
    }

private:
    Text text_ = nullptr;  // owned
};

class OwnedBytes {
public:
    OwnedBytes() = default;
    explicit OwnedBytes(ByteSet bytes) : bytes_(bytes) {}
    ~OwnedBytes() { RuntimeFree(bytes_); }
    OwnedBytes(OwnedBytes&& other) noexcept : bytes_(other.Release()) {}
    OwnedBytes& operator=(OwnedBytes&& other) noexcept
    {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    OwnedBytes(const OwnedBytes&) = delete;
    OwnedBytes& operator=(const OwnedBytes&) = delete;

    // The ByteSet block; null is the empty byte set.
    const uint8_t* Get() const { return bytes_; }
    const uint8_t* Data() const { return ByteSetData(bytes_); }
    uint32_t Size() const { return ByteSetLength(bytes_); }
    bool Empty() const { return Size() == 0; }
    std::string_view View() const
    {
        return bytes_ ? std::string_view(reinterpret_cast<const char*>(Data()), Size()) : std::string_view();
    }

    [[nodiscard]] ByteSet Release() { return std::exchange(bytes_, nullptr); }
    void Reset(ByteSet bytes = nullptr)
    {
        ByteSet old = std::exchange(bytes_, bytes);
        if (old != bytes) RuntimeFree(old);
    }

private:
    ByteSet bytes_ = nullptr;  // owned
};

// An array block together with its element type, which says how it is freed:
// an array of texts or byte sets owns its elements.
class OwnedArray {
public:
    OwnedArray() = default;
    OwnedArray(ArrayBlock block, ValueType elementType) : block_(block), elementType_(BaseType(elementType)) {}
    ~OwnedArray() { FreeArrayValue(block_, elementType_); }
    OwnedArray(OwnedArray&& other) noexcept
        : block_(std::exchange(other.block_, nullptr)), elementType_(other.elementType_)
    {
    }
    OwnedArray& operator=(OwnedArray&& other) noexcept
    {
        if (this != &other) {
            FreeArrayValue(block_, elementType_);
            elementType_ = other.elementType_;
            block_ = std::exchange(other.block_, nullptr);
        }
        return *this;
    }
    OwnedArray(const OwnedArray&) = delete;
    OwnedArray& operator=(const OwnedArray&) = delete;

    const uint8_t* Get() const { return block_; }
    ValueType ElementType() const { return elementType_; }
    // Element count (product of the dimensions; 0 for no block).
    uint32_t Count() const { return ArrayElementTotal(block_); }

    // Element i of an array of texts, borrowed; null is the empty text.
    const char* TextAt(uint32_t i) const
    {
        if (elementType_ != TYPE_TEXT || i >= Count()) return nullptr;
        Text t;
        std::memcpy(&t, ArrayElementData(block_) + i * sizeof(Text), sizeof t);
        return t;
    }
    std::string_view TextViewAt(uint32_t i) const
    {
        const char* t = TextAt(i);
        return t ? std::string_view(t) : std::string_view();
    }

    [[nodiscard]] ArrayBlock Release() { return std::exchange(block_, nullptr); }

private:
    ArrayBlock block_ = nullptr;  // owned, elements included
    ValueType elementType_ = TYPE_NONE;
};
