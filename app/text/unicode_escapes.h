// Unicode-escape decoding of web replies: backslash-u escapes (and
// backslash-slash) resolved by the platform's script engine, with a reading
// of its own as the fallback (app/text/script_literal.h).
#pragma once

#include "app/owned.h"
#include "app/text/script_literal.h"

// The text with its escapes resolved: "\u4e2d" becomes the GBK character,
// "\/" a slash, percent escapes ("%20", "%u4e2d") their characters. CR LF
// pairs and apostrophes come through unchanged (any "’" comes back as "'",
// any "{$}" as CR LF). When the script engine gives nothing (none on the
// system, or a text it cannot read, such as one with a lone line feed or a
// trailing backslash), the result is UnescapeScriptLiteral of the prepared
// text: the same reading without the engine.
OwnedText DecodeUnicodeEscapes(const char* text);
