#include "runtime/units/unit_data_cursor.h"

#include <cstring>

bool UnitDataCursor::Take(size_t n, const uint8_t*& out)
{
    if (n > size_ - pos_) return false;
    out = data_ + pos_;
    pos_ += n;
    return true;
}

bool UnitDataCursor::ReadU32(uint32_t& out)
{
    const uint8_t* p;
    if (!Take(4, p)) return false;
    out = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    return true;
}

bool UnitDataCursor::ReadU16(uint16_t& out)
{
    const uint8_t* p;
    if (!Take(2, p)) return false;
    out = static_cast<uint16_t>(p[0] | p[1] << 8);
    return true;
}

bool UnitDataCursor::ReadCountedText(std::string& out)
{
    uint32_t n;
    const uint8_t* p;
    if (!ReadU32(n) || !Take(n, p)) return false;
    const void* nul = n ? std::memchr(p, 0, n) : nullptr;
    size_t len = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - p) : n;
    out.assign(reinterpret_cast<const char*>(p), len);
    return true;
}

bool UnitDataCursor::ReadCountedBytes(std::vector<uint8_t>& out)
{
    uint32_t n;
    const uint8_t* p;
    if (!ReadU32(n) || !Take(n, p)) return false;
    out.assign(p, p + n);
    return true;
}

void UnitDataWriter::U32(uint32_t v)
{
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void UnitDataWriter::U16(uint16_t v)
{
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
}

void UnitDataWriter::CountedText(const std::string& text)
{
    U32(static_cast<uint32_t>(text.size()));
    bytes_.insert(bytes_.end(), text.begin(), text.end());
}

void UnitDataWriter::CountedBytes(const std::vector<uint8_t>& bytes)
{
    U32(static_cast<uint32_t>(bytes.size()));
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}
