// GBK texts to and from the UTF-16 strings of the platform, and the
// conversion of a response body in a named character set to GBK. Every
// conversion goes through the bound code-page functions of the DLL table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace web {

// UTF-16LE bytes of a GBK text, followed by one UTF-16 NUL unless
// `dropTerminator`; an empty text gives no bytes at all.
std::vector<uint8_t> TextToWide(std::string_view text, bool dropTerminator = false);

// GBK text of `byteCount` bytes of UTF-16LE (an odd last byte is ignored), up
// to the first NUL.
std::string WideToText(const void* wide, size_t byteCount);

// The Windows code page of a charset name as pages declare it (case
// ignored), or 0 when unknown.
uint32_t CodePageOfCharset(std::string_view charset);

// The body decoded from `codePage` into GBK; false when the platform refuses
// the conversion. UTF-16 (1200, 1201) is taken apart here, as the platform's
// code-page functions do not accept it.
bool ConvertToGbk(const uint8_t* body, size_t size, uint32_t codePage, std::string* gbk);

}  // namespace web
