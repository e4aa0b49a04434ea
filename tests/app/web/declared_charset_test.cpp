// The declared charset read without the platform's pattern object, where the
// object's reading depends on characters rather than bytes.
#include "app/web/declared_charset.h"

#include <gtest/gtest.h>

namespace {

TEST(DeclaredCharset, ReadsThePatternByCharacters)
{
    struct Case {
        const char* what;
        const char* text;
        const char* charset;
    } const cases[] = {
        {"case ignored", "<META Content='text/html; CharSet=UTF-8'>", "UTF-8"},
        {"the first declaration that names something", "<meta charset=\"\"><meta charset=big5>", "big5"},
        {"a double-byte character (its trail byte a letter) before the name", "<meta charset=\x81uutf-8>", "utf-8"},
        {"a double-byte character inside the tag", "<meta \xD6\xD0 charset='gbk'>", "gbk"},
        {"a line feed ends the tag's characters", "<meta\ncharset=utf-8>", ""},
        {"a carriage return does not", "<meta \rcharset=utf-8>", "utf-8"},
        {"no character between the tag and the declaration", "<metacharset=utf-8>", ""},
        {"a name cut off at the end", "<meta charset=", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(web::FindDeclaredCharset(c.text), c.charset) << c.what;
}

}  // namespace
