// Bounds-checked little-endian cursor over stored bytes, and its writing
// counterpart. A read past the end fails the reader for good, so a cut-off
// block can never read as a shorter valid one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}

    bool Ok() const { return ok_; }
    size_t Position() const { return pos_; }
    size_t Remaining() const { return ok_ ? size_ - pos_ : 0; }
    const uint8_t* Here() const { return data_ + pos_; }

    uint32_t U32()
    {
        uint8_t b[4];
        if (!Take(b, 4)) return 0;
        return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    }
    int32_t I32() { return static_cast<int32_t>(U32()); }

    bool Take(void* out, size_t n)
    {
        if (!Need(n)) return false;
        if (n) std::memcpy(out, data_ + pos_, n);
        pos_ += n;
        return true;
    }
    bool Skip(size_t n)
    {
        if (!Need(n)) return false;
        pos_ += n;
        return true;
    }
    // A u32 length n, then n bytes.
    bool Counted(std::vector<uint8_t>* out)
    {
        uint32_t n = U32();
        if (!Need(n)) return false;
        out->assign(data_ + pos_, data_ + pos_ + n);
        pos_ += n;
        return true;
    }
    bool CountedText(std::string* out)
    {
        uint32_t n = U32();
        if (!Need(n)) return false;
        out->assign(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return true;
    }
    // GBK bytes up to and including a NUL, which must lie inside the data.
    bool InlineText(std::string* out)
    {
        if (!ok_) return false;
        const void* nul = std::memchr(data_ + pos_, 0, size_ - pos_);
        if (!nul) return Fail();
        size_t n = static_cast<const uint8_t*>(nul) - (data_ + pos_);
        out->assign(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n + 1;
        return true;
    }
    bool Fail()
    {
        ok_ = false;
        return false;
    }

private:
    bool Need(size_t n)
    {
        if (!ok_ || n > size_ - pos_) return Fail();
        return true;
    }

    const uint8_t* data_;  // borrowed
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

class ByteWriter {
public:
    void U32(uint32_t v)
    {
        uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        bytes.insert(bytes.end(), b, b + 4);
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void Raw(const void* p, size_t n)
    {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        bytes.insert(bytes.end(), b, b + n);
    }
    void Raw(const std::vector<uint8_t>& v) { bytes.insert(bytes.end(), v.begin(), v.end()); }
    void Counted(const std::vector<uint8_t>& v)
    {
        U32(static_cast<uint32_t>(v.size()));
        Raw(v);
    }
    void CountedText(const std::string& s)
    {
        U32(static_cast<uint32_t>(s.size()));
        Raw(s.data(), s.size());
    }
    // Stops at an embedded NUL: an inline text cannot carry one.
    void InlineText(const std::string& s)
    {
        Raw(s.c_str(), std::strlen(s.c_str()));
        bytes.push_back(0);
    }

    std::vector<uint8_t> bytes;
};
