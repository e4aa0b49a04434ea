#include "app/web/response_decoding.h"

#include "app/call.h"
#include "app/text/regex_object.h"
#include "app/web/declared_charset.h"
#include "app/web/web_values.h"
#include "app/web/wide_text.h"
#include "runtime/com/object_commands.h"
#include "runtime/com/owned_object.h"
#include "runtime/commands/system_commands.h"
#include "runtime/commands/text_commands.h"

#include <string>
#include <utility>

namespace web {
namespace {

constexpr const char* kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";
constexpr int32_t kAdTypeBinary = 1;
constexpr int32_t kAdTypeText = 2;
constexpr int32_t kAdModeReadWrite = 3;

// The body read back as text through the platform's "Adodb.Stream" in the
// given charset. The other writes and calls are not checked, but the charset
// is: a stream that does not know it refuses the write and stays in its
// default charset, Unicode, and would then read the page's bytes as UTF-16.
// False when the object cannot be created or refuses the charset.
bool ReadThroughStream(ByteSet body, const std::string& charset, OwnedText* text)
{
    OwnedObject stream;
    if (!Call::Bool(CreateObject, stream.Variable(), "Adodb.Stream")) return false;
    OwnedVariant bytes;
    Call::Raw(SetVariant, bytes.Arg(), body);
    Call::Raw(WriteProperty, stream.Arg(), "Type", kAdTypeBinary);
    Call::Raw(WriteProperty, stream.Arg(), "Mode", kAdModeReadWrite);
    Call::Raw(CallMethod, stream.Arg(), "Open");
    Call::Raw(CallMethod, stream.Arg(), "Write", bytes.Arg());
    Call::Raw(WriteProperty, stream.Arg(), "Position", 0);
    Call::Raw(WriteProperty, stream.Arg(), "Type", kAdTypeText);
    bool charsetTaken = Call::Bool(WriteProperty, stream.Arg(), "Charset", charset);
    if (charsetTaken) *text = Call::Text(ReadPropertyText, stream.Arg(), "ReadText");
    Call::Raw(CallMethod, stream.Arg(), "Close");
    Call::Raw(ClearObject, stream.Variable());
    Call::Raw(ClearVariant, bytes.Arg());
    return charsetTaken;
}

}  // namespace

void DecodeResponseText(RegexObject& regex, Text* text, ByteSet body)
{
    OwnedText head = Call::Text(::LeftText, *text, 1024);
    std::string charset;
    if (regex.Search(kCharsetPattern, head.CStr())) {
        charset = regex.SubmatchText(1, 1).View();
    } else {
        // The pattern is sound, so the pattern object is not there (VBScript
        // is an optional Windows feature, which Microsoft turns off by
        // default in time): the same pattern read our own way, so that the
        // page decodes the same on every machine. Nobody is told.
        charset = FindDeclaredCharset(head.View());
    }
    if (!charset.empty() && charset != "gbk" && charset != "gb2312") {
        OwnedText streamed;
        bool streamRead = ReadThroughStream(body, charset, &streamed);
        if (streamRead && !streamed.Empty()) {
            StoreText(text, std::move(streamed));
        } else if (ByteSetLength(body) > 0) {
            // Where the stream object cannot be made, refuses the charset or
            // yields nothing (Wine's has no type information, so none of its
            // members can be reached), taking its answer would lose the page:
            // decode the same charset with the code-page functions instead. A
            // charset they do not know either keeps the raw text.
            std::string decoded;
            if (ConvertToGbk(ByteSetData(body), ByteSetLength(body), CodePageOfCharset(charset), &decoded)) {
                StoreText(text, decoded);
            }
        }
    }
    Call::Void(::ProcessEvents);
}

}  // namespace web
