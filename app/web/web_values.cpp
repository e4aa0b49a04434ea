#include "app/web/web_values.h"

#include "runtime/core/heap.h"
#include "runtime/core/runtime_error.h"

#include <algorithm>
#include <cstring>

namespace web {

namespace {
constexpr uint32_t kHeaderBytes = 8;
constexpr uint32_t kMaxBody = 0x7FFFFFFFu - kHeaderBytes;
}  // namespace

void StoreText(Text* variable, std::string_view value)
{
    if (!variable) return;
    Text fresh = CopyBytesAsText(value.data(), static_cast<int64_t>(value.size()));
    RuntimeFree(*variable);
    *variable = fresh;
}

void StoreText(Text* variable, OwnedText value)
{
    if (!variable) return;
    RuntimeFree(*variable);
    *variable = value.Release();
}

void StoreByteSet(ByteSet* variable, ByteSet adopted)
{
    if (!variable) {
        RuntimeFree(adopted);
        return;
    }
    RuntimeFree(*variable);
    *variable = adopted;
}

BodyBuffer::~BodyBuffer() { RuntimeFree(block_); }

uint8_t* BodyBuffer::Reserve(uint32_t count)
{
    if (count > kMaxBody - size_) RaiseAllocationFailure(count);
    uint32_t needed = size_ + count;
    if (needed > capacity_) {
        uint64_t grown = std::max<uint64_t>({needed, uint64_t{capacity_} * 2, 4096});
        uint32_t capacity = static_cast<uint32_t>(std::min<uint64_t>(grown, kMaxBody));
        block_ = static_cast<uint8_t*>(RuntimeRealloc(block_, capacity + kHeaderBytes));
        capacity_ = capacity;
    }
    return block_ + kHeaderBytes + size_;
}

void BodyBuffer::ReserveDeclared(uint64_t declaredLength)
{
    if (block_ || declaredLength == 0) return;
    const auto capacity = static_cast<uint32_t>(std::min<uint64_t>(declaredLength, kMaxReservedAhead));
    block_ = static_cast<uint8_t*>(RuntimeTryAlloc(capacity + kHeaderBytes));
    capacity_ = block_ ? capacity : 0;
}

void BodyBuffer::Commit(uint32_t count) { size_ += std::min(count, capacity_ - size_); }

void BodyBuffer::Append(const void* bytes, uint32_t count)
{
    if (count == 0) return;
    std::memcpy(Reserve(count), bytes, count);
    size_ += count;
}

ByteSet BodyBuffer::Release()
{
    uint8_t* block = block_;
    uint32_t size = size_;
    block_ = nullptr;
    size_ = capacity_ = 0;
    if (size == 0) {
        RuntimeFree(block);
        return nullptr;
    }
    if (block) block = static_cast<uint8_t*>(RuntimeRealloc(block, size + kHeaderBytes));
    SetArrayWord(block, 0, 1);
    SetArrayWord(block, 1, size);
    return block;
}

}  // namespace web
