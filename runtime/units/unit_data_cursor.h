// A bounds-checked reader and a writer for the unit-type data that follows a
// UnitRecord's fixed part. Every read fails on cut-off input instead of
// returning zeros, so a damaged record makes the unit's creation fail rather
// than show half-read properties.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class UnitDataCursor {
public:
    UnitDataCursor(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}

    bool ReadU32(uint32_t& out);
    bool ReadU16(uint16_t& out);
    // Counted text: u32 length n, n GBK bytes, no terminator. A NUL inside is
    // kept out of the result (the text ends there), as a C string would read.
    bool ReadCountedText(std::string& out);
    // Counted bytes: u32 length n, then n bytes.
    bool ReadCountedBytes(std::vector<uint8_t>& out);

    size_t Remaining() const { return size_ - pos_; }
    size_t Position() const { return pos_; }

private:
    bool Take(size_t n, const uint8_t*& out);

    const uint8_t* data_;  // borrowed
    size_t size_;
    size_t pos_ = 0;
};

class UnitDataWriter {
public:
    void U32(uint32_t v);
    void U16(uint16_t v);
    void CountedText(const std::string& text);
    void CountedBytes(const std::vector<uint8_t>& bytes);
    std::vector<uint8_t>& Bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};
