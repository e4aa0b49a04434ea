#include "app/text_between.h"

#include "app/call.h"
#include "runtime/commands/text_commands.h"

namespace {

OwnedText WithQuotes(const char* marker)
{
    return Call::Text(ReplaceText, marker, kQuoteMarker, "\"", kOmitted, kOmitted, true);
}

}  // namespace

OwnedText TextBetween(const char* source, const char* startMarker, const char* endMarker, int32_t startPosition,
                      bool ignoreCase)
{
    const OwnedText start = WithQuotes(startMarker);
    const OwnedText end = WithQuotes(endMarker);
    // FindText ignores case only for the flag value 1.
    const int32_t caseFlag = ignoreCase ? 1 : 0;

    int32_t p = Call::Int(FindText, source, start, startPosition, caseFlag);
    if (p != -1) p += Call::Int(TextLength, start);
    const int32_t q = Call::Int(FindText, source, end, p, caseFlag);
    if (p == -1 || q == -1) return OwnedText();
    return Call::Text(MidText, source, p, q - p);
}
