// Field-by-field reads of unit-type data over the form block's bounds-checked
// cursor: every read fails once the data is cut off, so a damaged record makes
// the unit's creation fail rather than show half-read properties.
#pragma once

#include "runtime/forms/byte_stream.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class FieldReader {
public:
    FieldReader(const uint8_t* data, size_t size) : r_(data, size) {}
    bool ReadU32(uint32_t& out)
    {
        out = r_.U32();
        return r_.Ok();
    }
    bool ReadU16(uint16_t& out)
    {
        uint8_t b[2];
        if (!r_.Take(b, 2)) return false;
        out = static_cast<uint16_t>(b[0] | b[1] << 8);
        return true;
    }
    bool ReadCountedText(std::string& out) { return r_.CountedText(&out); }
    bool ReadCountedBytes(std::vector<uint8_t>& out) { return r_.Counted(&out); }

private:
    ByteReader r_;
};
