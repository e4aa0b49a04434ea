// The last stage of WinHttpVisit: a page whose head declares a character set
// other than gbk/gb2312 in a meta tag is decoded again from its raw bytes into
// GBK. Pages without such a declaration (JSON replies among them) keep their
// raw bytes read as text.
#pragma once

#include "runtime/core/values.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace web {

// The charset named by the first match of <meta.+?charset=[^\w]?([-\w]+) in
// `head` (case ignored, "." not crossing a line feed), or empty when there is
// none. The match works on characters, so a GBK trail byte that looks like a
// letter never takes part.
std::string FindMetaCharset(std::string_view head);

// Replaces the text in the caller's variable (the body up to its first NUL)
// with the body decoded from the declared charset. Only the first 1024 bytes
// of the text are searched, so a large body costs nothing more here.
void DecodeResponseText(Text* text, const uint8_t* body, uint32_t size);

}  // namespace web
