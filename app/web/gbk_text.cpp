#include "app/web/gbk_text.h"

#include "app/call.h"
#include "app/text_between.h"
#include "runtime/commands/conversion_commands.h"
#include "runtime/commands/text_commands.h"

#include <algorithm>

namespace web {
namespace {

std::string Str(const OwnedText& text) { return std::string(text.View()); }

// A byte count for a command's int argument.
int32_t Count(int64_t n) { return static_cast<int32_t>(std::clamp<int64_t>(n, INT32_MIN, INT32_MAX)); }

// The find commands ignore case only for the flag value 1.
int32_t CaseFlag(bool ignoreCase) { return ignoreCase ? 1 : 0; }

}  // namespace

int32_t TextLength(const std::string& text) { return Call::Int(::TextLength, text); }

int32_t FindText(const std::string& text, const std::string& sought, int32_t start, bool ignoreCase)
{
    return Call::Int(::FindText, text, sought, start, CaseFlag(ignoreCase));
}

int32_t FindTextReverse(const std::string& text, const std::string& sought, int32_t start, bool ignoreCase)
{
    return Call::Int(::FindTextReverse, text, sought, start, CaseFlag(ignoreCase));
}

std::string ReplaceAll(const std::string& text, const std::string& sought, const std::string& replacement,
                       bool caseSensitive)
{
    return Str(Call::Text(::ReplaceText, text, sought, replacement, kOmitted, kOmitted, caseSensitive));
}

std::vector<std::string> SplitText(const std::string& text, const std::string& separator)
{
    OwnedArray parts = Call::TextArray(::SplitText, text, separator);
    std::vector<std::string> out;
    out.reserve(parts.Count());
    for (uint32_t i = 0; i < parts.Count(); ++i) out.emplace_back(parts.TextViewAt(i));
    return out;
}

std::string TrimBoth(const std::string& text) { return Str(Call::Text(::TrimBoth, text)); }

std::string RemoveAllSpaces(const std::string& text) { return Str(Call::Text(::RemoveAllSpaces, text)); }

std::string ToLower(const std::string& text) { return Str(Call::Text(::ToLower, text)); }

std::string LeftText(const std::string& text, int64_t n) { return Str(Call::Text(::LeftText, text, Count(n))); }

std::string RightText(const std::string& text, int64_t n) { return Str(Call::Text(::RightText, text, Count(n))); }

std::string DropLast(const std::string& text, int32_t n) { return LeftText(text, int64_t{TextLength(text)} - n); }

int32_t CompareText(const std::string& a, const std::string& b, bool caseSensitive)
{
    return Call::Int(::CompareTextCase, a, b, caseSensitive);
}

int32_t TextToInt(const std::string& text) { return Call::Int(::ToInt, text); }

std::string TextBetween(const std::string& source, const std::string& startMarker, const std::string& endMarker,
                        bool ignoreCase)
{
    return Str(::TextBetween(source.c_str(), startMarker.c_str(), endMarker.c_str(), 0, ignoreCase));
}

}  // namespace web
