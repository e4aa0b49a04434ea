// A reply text read as the script engine reads it when the Unicode-escape
// decoding hands it over as a string literal and unescapes it: the fallback
// for the texts the engine refuses. Win32-free, so it also builds with the
// sanitizers.
#pragma once

#include "app/owned.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The text as the script engine reads it when it is handed over as a string
// literal and unescaped, for texts the engine refuses (a lone line feed on
// some systems, a trailing backslash everywhere):
//  1. as a string literal: "\b" "\f" "\n" "\r" "\t" give their control
//     characters, "\xXX" and "\uXXXX" the character with that code; before
//     any other character the backslash goes and the character stays ("\/",
//     "\\", "\"" among them); a backslash at the very end stays;
//  2. then unescaped: "%uXXXX" gives the UTF-16 unit XXXX and "%XX" the
//     character XX; a "%" that does not start a whole escape of hexadecimal
//     digits stays. The escape is spelt in the characters the literal gave,
//     so "\x25u4e2d" and "\%41" are escapes too.
// Every other byte is kept as it is, a double-byte character whole. Decoded
// units that follow each other are converted to GBK together, as the script
// engine's result is, so a surrogate pair reaches the conversion as a pair; a
// character GBK lacks becomes what that conversion makes of it ("?"). A
// decoded NUL is left out (the engine's result would end there).
// The window's waiting messages are let through once per byte of the text.
OwnedText UnescapeScriptLiteral(const char* text);

// The hexadecimal number a text spells (digits 0-9, A-F in either case);
// characters that are no digits count as the value -2, as the digit table
// lookup gives them.
int64_t HexTextToNumber(const char* text);

// UTF-16 units to GBK as the script engine's texts are converted: the platform's
// code page 936 conversion on Windows, iconv natively.
std::string ScriptUnitsToGbk(const std::u16string& units);
