// The native build converts with iconv's GBK, which agrees with code page 936
// on every character GBK holds; what it cannot convert becomes "?", as the
// platform's default character.
#include "app/text/script_literal.h"

#include <iconv.h>

#include <cerrno>

std::string ScriptUnitsToGbk(const std::u16string& units)
{
    iconv_t cd = iconv_open("GBK", "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(units.size(), '?');
    std::string out;
    std::string in;
    for (char16_t u : units) {
        in += static_cast<char>(u & 0xFF);
        in += static_cast<char>(u >> 8);
    }
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char buffer[256];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (r != static_cast<size_t>(-1) || errno == E2BIG) continue;
        // A character GBK lacks, or a surrogate without its partner: one "?"
        // for it, then go on after it.
        out += '?';
        size_t skip = inLeft >= 4 && (static_cast<unsigned char>(inPtr[1]) & 0xFC) == 0xD8 &&
                              (static_cast<unsigned char>(inPtr[3]) & 0xFC) == 0xDC
                          ? 4
                          : 2;
        if (skip > inLeft) skip = inLeft;
        inPtr += skip;
        inLeft -= skip;
    }
    iconv_close(cd);
    return out;
}
