#include "app/text/regex_object.h"

#include "app/call.h"
#include "app/value_helpers.h"
#include "app/web/dll_declarations.h"
#include "runtime/com/object_commands.h"
#include "runtime/com/owned_object.h"
#include "runtime/commands/text_commands.h"
#include "runtime/core/dll_commands.h"

#include <windows.h>

namespace {

constexpr const char* kRegExpClass = "VBScript.RegExp";
constexpr const char* kQuoteMarker = "#\xD2\xFD\xBA\xC5"; // #引号
constexpr const char* kFalseText = "0";                   // a false bool variant as text

void InitializeCom() {
    DllCall<HRESULT>(web::kCoInitialize, static_cast<void*>(nullptr));
}
void UninitializeCom() {
    DllCall<void>(web::kCoUninitialize);
}

ArgRecord HolderArg(ObjectHolder* holder) {
    return MakePointerArg(holder, TYPE_OBJECT);
}
ArgRecord VariantArg(void* block) {
    return MakePointerArg(block, TYPE_VARIANT);
}

// A property of an object read as a variant and turned into text.
OwnedText PropertyAsText(ObjectHolder* object, const char* name, double index) {
    OwnedVariant value = TakeVariant(Call::Raw(ReadProperty, HolderArg(object), name, index));
    return Call::Text(VariantToText, value.Arg());
}
OwnedText PropertyAsText(ObjectHolder* object, const char* name) {
    OwnedVariant value = TakeVariant(Call::Raw(ReadProperty, HolderArg(object), name));
    return Call::Text(VariantToText, value.Arg());
}

// The byte offset of the character with the given 0-based index in a GBK
// text: a lead byte and its trail are one character (one UTF-16 unit, as GBK
// lies wholly in the basic plane). An index past the end gives the length.
int32_t ByteOffsetOfCharacter(const char* text, int64_t index) {
    if (!text || index <= 0)
        return 0;
    int32_t offset = 0;
    for (int64_t k = 0; k < index && text[offset] != '\0'; ++k) {
        bool lead = (static_cast<unsigned char>(text[offset]) & 0x80) != 0 && text[offset + 1] != '\0';
        offset += lead ? 2 : 1;
    }
    return offset;
}

} // namespace

RegexObject::RegexObject()
    : classTable_(&ClassTable()), expression_(NewObjectHolder()), matches_(NewObjectHolder()),
      subject_(NewVariantBlock()) {
    InitializeCom();
}

RegexObject::RegexObject(const RegexObject& other)
    : classTable_(&ClassTable()), expression_(NewObjectHolder()), matches_(NewObjectHolder()),
      subject_(NewVariantBlock()) {
    InitializeCom();
    Call::Void(CopyObject, HolderArg(expression_), HolderArg(other.expression_));
    Call::Void(CopyObject, HolderArg(matches_), HolderArg(other.matches_));
    Call::Void(CopyVariant, VariantArg(subject_), VariantArg(other.subject_));
}

RegexObject::~RegexObject() {
    Call::Void(ClearObject, HolderArg(expression_));
    Call::Void(ClearObject, HolderArg(matches_));
    Call::Void(ClearVariant, VariantArg(subject_));
    UninitializeCom();
    RuntimeFree(expression_);
    RuntimeFree(matches_);
    RuntimeFree(subject_);
}

bool RegexObject::Search(const char* pattern, const char* subject, bool caseSensitive, bool multiline, bool global,
                         bool quoteMarker) {
    Call::Void(ClearObject, HolderArg(expression_));
    Call::Void(ClearObject, HolderArg(matches_));
    Call::Bool(CreateObject, HolderArg(expression_), kRegExpClass);
    // The writes' results are not used; "Singleline" is not a member of every
    // engine, and where it is missing the write simply does nothing.
    Call::Bool(WriteProperty, HolderArg(expression_), "IgnoreCase", !caseSensitive);
    Call::Bool(WriteProperty, HolderArg(expression_), "Multiline", multiline);
    Call::Bool(WriteProperty, HolderArg(expression_), "Singleline", true);
    Call::Bool(WriteProperty, HolderArg(expression_), "Global", global);
    if (quoteMarker) {
        OwnedText unquoted = Call::Text(ReplaceText, pattern, kQuoteMarker, "\"", kOmitted, kOmitted, true);
        Call::Bool(WriteProperty, HolderArg(expression_), "Pattern", unquoted);
    } else {
        Call::Bool(WriteProperty, HolderArg(expression_), "Pattern", pattern);
    }
    Call::Bool(SetVariant, VariantArg(subject_), subject);

    OwnedObject found =
        TakeObject(Call::Raw(CallMethodObject, HolderArg(expression_), "Execute", VariantArg(subject_)));
    FreeObjectHolder(matches_);
    matches_ = found.Release();
    return !Call::Bool(IsObjectEmpty, HolderArg(matches_));
}

OwnedText RegexObject::GetPattern() {
    if (Call::Bool(IsObjectEmpty, HolderArg(expression_)))
        return OwnedText();
    return Call::Text(ReadPropertyText, HolderArg(expression_), "Pattern");
}

OwnedText RegexObject::ReplaceMatches(const char* replacement) {
    OwnedVariant replacementValue;
    Call::Bool(SetVariant, replacementValue.Arg(), replacement);
    OwnedText replaced =
        Call::Text(CallMethodText, HolderArg(expression_), "Replace", VariantArg(subject_), replacementValue.Arg());
    Call::Void(ClearVariant, replacementValue.Arg());
    return replaced;
}

int32_t RegexObject::MatchCount() {
    double count = Call::Double(ReadPropertyNumber, HolderArg(matches_), "Count");
    return static_cast<int32_t>(TruncateToInteger(count));
}

int32_t RegexObject::SubmatchCount() {
    OwnedObject first = TakeObject(Call::Raw(ReadPropertyObject, HolderArg(matches_), "Item", 0.0));
    OwnedObject groups = TakeObject(Call::Raw(ReadPropertyObject, first.Arg(), "SubMatches"));
    double count = Call::Double(ReadPropertyNumber, groups.Arg(), "Count");
    Call::Void(ClearObject, groups.Arg());
    Call::Void(ClearObject, first.Arg());
    return static_cast<int32_t>(TruncateToInteger(count));
}

OwnedText RegexObject::MatchText(int32_t matchNumber, int32_t* position) {
    return OwnedText(PositionedText(matchNumber, false, 0, position));
}

OwnedText RegexObject::SubmatchText(int32_t matchNumber, int32_t groupNumber, int32_t* position) {
    return OwnedText(PositionedText(matchNumber, true, groupNumber, position));
}

// The text of a match or of one of its groups, and, when asked, where it
// lies. The engine counts characters and our callers count bytes, so the
// match's character index is turned into its byte offset in the GBK subject
// and the text is found again from there: the match's own text at the match,
// a group's text at or after the start of the match.
Text RegexObject::PositionedText(int32_t matchNumber, bool group, int32_t groupNumber, int32_t* position) {
    OwnedObject match =
        TakeObject(Call::Raw(ReadPropertyObject, HolderArg(matches_), "Item", static_cast<double>(matchNumber) - 1));
    OwnedText text;
    if (!group) {
        text = PropertyAsText(match.Get(), "Value");
    } else {
        OwnedObject groups = TakeObject(Call::Raw(ReadPropertyObject, match.Arg(), "SubMatches"));
        text = PropertyAsText(groups.Get(), "Item", static_cast<double>(groupNumber) - 1);
        Call::Void(ClearObject, groups.Arg());
    }
    if (position && match.Empty()) {
        *position = -2; // no such match: nothing to find
    } else if (position) {
        OwnedText subject = Call::Text(VariantToText, VariantArg(subject_));
        double firstIndex = Call::Double(ReadPropertyNumber, match.Arg(), "FirstIndex");
        OwnedText ignoreCase = PropertyAsText(expression_, "IgnoreCase");
        bool caseSensitive = CompareTexts(ignoreCase.Get(), kFalseText) == 0;
        int32_t start = ByteOffsetOfCharacter(subject.Get(), TruncateToInteger(firstIndex)) + 1;
        int32_t found = Call::Int(FindText, subject, text, start, caseSensitive ? 0 : 1);
        *position = found - 1;
    }
    Call::Void(ClearObject, match.Arg());
    return text.Release();
}

// ---- the class table ---------------------------------------------------------------

namespace {

void TableDestroy(RegexObject* self) {
    delete self;
}
RegexObject* TableCopy(const RegexObject* self) {
    return new RegexObject(*self);
}
bool TableSearch(RegexObject* self, const char* pattern, const char* subject, bool caseSensitive, bool multiline,
                 bool global, bool quoteMarker) {
    return self->Search(pattern, subject, caseSensitive, multiline, global, quoteMarker);
}
void TableEmptyMethod(RegexObject* self) {
    self->EmptyMethod();
}
Text TableGetPattern(RegexObject* self) {
    return self->GetPattern().Release();
}
Text TableReplaceMatches(RegexObject* self, const char* replacement) {
    return self->ReplaceMatches(replacement).Release();
}
int32_t TableMatchCount(RegexObject* self) {
    return self->MatchCount();
}
Text TableMatchText(RegexObject* self, int32_t matchNumber, int32_t* position) {
    return self->MatchText(matchNumber, position).Release();
}
Text TableSubmatchText(RegexObject* self, int32_t matchNumber, int32_t groupNumber, int32_t* position) {
    return self->SubmatchText(matchNumber, groupNumber, position).Release();
}
int32_t TableSubmatchCount(RegexObject* self) {
    return self->SubmatchCount();
}

constexpr RegexClassTable kRegexClassTable = {
    TableDestroy,        TableCopy,       TableSearch,    TableEmptyMethod,  TableGetPattern,
    TableReplaceMatches, TableMatchCount, TableMatchText, TableSubmatchText, TableSubmatchCount,
};

} // namespace

const RegexClassTable& RegexObject::ClassTable() {
    return kRegexClassTable;
}
