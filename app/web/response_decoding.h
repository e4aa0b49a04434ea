// The last stage of WinHttpVisit: a page whose head declares a character set
// other than gbk/gb2312 in a meta tag is decoded again from its raw bytes into
// GBK. Pages without such a declaration (JSON replies among them) keep their
// raw bytes read as text.
#pragma once

#include "runtime/core/values.h"

class RegexObject;

namespace web {

// Replaces the text in the caller's variable (the body up to its first NUL)
// with the body decoded from the declared charset. The charset is searched
// with `regex` in the first 1024 bytes of the text only, so a large body costs
// nothing more here; where the pattern object cannot be made, the same
// pattern is read without it (declared_charset.h). COM must be initialised on
// the thread.
void DecodeResponseText(RegexObject& regex, Text* text, ByteSet body);

}  // namespace web
