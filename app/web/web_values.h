// Writing results into the caller's variables, and the growing response body.
#pragma once

#include "app/owned.h"
#include "runtime/core/values.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace web {

// Replaces the text held by the caller's variable (releasing the old block).
// A null variable is an omitted out-parameter: nothing is written.
void StoreText(Text* variable, std::string_view value);
void StoreByteSet(ByteSet* variable, ByteSet adopted);
// Hands a command's result block to the caller's variable.
void StoreText(Text* variable, OwnedText value);

// A text argument as a view; null is the empty text.
inline std::string_view TextView(const char* text) { return text ? std::string_view(text) : std::string_view(); }

// A response body accumulated directly in a ByteSet block on the runtime
// heap. Capacity grows geometrically, so a body of n bytes costs O(n) copying
// however small the pieces are.
class BodyBuffer {
public:
    BodyBuffer() = default;
    ~BodyBuffer();
    BodyBuffer(const BodyBuffer&) = delete;
    BodyBuffer& operator=(const BodyBuffer&) = delete;

    // Before the first byte: room for a body that declared its length, so it
    // is read into one block of its final size rather than copied (and held
    // twice) each time it outgrows the last. At most kMaxReservedAhead bytes
    // are taken on the word of the server; a body that comes shorter is
    // trimmed as it is released, one that comes longer grows on from there.
    // Nothing is reserved when that much memory cannot be had.
    static constexpr uint32_t kMaxReservedAhead = 64u << 20;
    void ReserveDeclared(uint64_t declaredLength);

    // Room for at least `count` more bytes behind the body; returns where they
    // go. Commit() then adds the bytes actually written there.
    uint8_t* Reserve(uint32_t count);
    void Commit(uint32_t count);
    void Append(const void* bytes, uint32_t count);

    uint32_t Size() const { return size_; }
    const uint8_t* Data() const { return block_ ? block_ + 8 : nullptr; }

    // The body as a ByteSet of exactly its length (null when empty); the
    // buffer is empty afterwards.
    ByteSet Release();

private:
    uint8_t* block_ = nullptr;  // owned: {1, size, bytes...} with spare capacity
    uint32_t size_ = 0;
    uint32_t capacity_ = 0;
};

}  // namespace web
