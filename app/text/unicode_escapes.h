// Unicode-escape decoding of web replies: backslash-u escapes (and
// backslash-slash) resolved by the platform's script engine, with a
// self-contained percent-escape decoder as the fallback.
#pragma once

#include "app/owned.h"

#include <cstdint>

// The text with its escapes resolved: "\u4e2d" becomes the GBK character,
// "\/" a slash, percent escapes ("%20", "%u4e2d") their characters. CR LF
// pairs and apostrophes come through unchanged (any "’" comes back as "'",
// any "{$}" as CR LF). When the script engine gives nothing (none on the
// system, or a text it cannot read, such as one with a lone line feed), the
// result is DecodePercentEscapes of the prepared text.
OwnedText DecodeUnicodeEscapes(const char* text);

// Only the characters decoded from the text's escapes, in order: "%uXXXX"
// gives U+XXXX and "%XX" the character with that code; a "%" that does not
// start a whole escape of hexadecimal digits gives "%". Other bytes are not
// copied.
OwnedText DecodePercentEscapes(const char* text);

// The hexadecimal number a text spells (digits 0-9, A-F in either case);
// characters that are no digits count as the value -2, as the digit table
// lookup gives them.
int64_t HexTextToNumber(const char* text);
