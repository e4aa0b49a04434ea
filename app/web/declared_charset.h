// The charset a page declares in a meta tag, read without the platform's
// pattern object: where "VBScript.RegExp" is not there (VBScript is an
// optional Windows feature), the response decoding still finds what the
// object would have found. Win32-free, so it also builds with the sanitizers.
#pragma once

#include <string>
#include <string_view>

namespace web {

// Capture group 1 of the first match of "<meta.+?charset=[^\w]?([-\w]+)",
// case ignored, in a GBK text, as the pattern object reads it: characters
// (a double-byte GBK character is one), "." any character but a line feed
// (the object's documented rule), "\w" the ASCII letters, digits and "_",
// the lazy ".+?" taking the fewest characters that let the rest match. Empty
// when nothing matches.
std::string FindDeclaredCharset(std::string_view text);

}  // namespace web
