// Reading a GBK text as if its full-width forms were ASCII, as the number and
// date conversions do: the full-width space becomes a space, 0xA3 xx the
// ASCII byte xx & 0x7F, 0xA1 0xAB a tilde and 0xA1 0xEE / 0xA1 0xEF an
// asterisk. Other double-byte characters come through as one unit
// (lead * 256 + trail); single bytes as themselves.
#pragma once

#include <cstdint>

namespace commands {

class FullWidthReader {
public:
    explicit FullWidthReader(const char* text) : p_(reinterpret_cast<const uint8_t*>(text)) {}

    // The next unit without consuming it; 0 at the end.
    uint32_t Peek() const
    {
        size_t n;
        return Decode(&n);
    }
    uint32_t Next()
    {
        size_t n;
        uint32_t unit = Decode(&n);
        p_ += n;
        return unit;
    }
    bool AtEnd() const { return *p_ == 0; }

private:
    uint32_t Decode(size_t* n) const
    {
        const uint8_t lead = p_[0];
        *n = 0;
        if (lead == 0) return 0;
        if (lead < 0x80 || p_[1] == 0) {
            *n = 1;
            return lead;
        }
        *n = 2;
        const uint8_t trail = p_[1];
        if (lead == 0xA3) return trail & 0x7F;
        if (lead == 0xA1) {
            if (trail == 0xA1) return ' ';
            if (trail == 0xAB) return '~';
            if (trail == 0xEE || trail == 0xEF) return '*';
        }
        return (static_cast<uint32_t>(lead) << 8) | trail;
    }

    const uint8_t* p_;  // borrowed, NUL-terminated
};

}  // namespace commands
