// The regular-expression object: one Search compiles a pattern and runs it
// over a subject; later calls read the matches, their capture groups and
// positions, or replace through the same pattern. It drives the platform's
// "VBScript.RegExp" object through the runtime's object commands, so its
// pattern language is that object's (lazy quantifiers such as +? included).
//
// Match and group numbers are 1-based. Positions are 0-based byte offsets
// into the GBK subject.
#pragma once

#include "app/owned.h"
#include "runtime/com/object_holder.h"

#include <cstdint>

class RegexObject;

// The class's operations in their fixed order; every instance starts with a
// pointer to this table.
struct RegexClassTable {
    void (*destroy)(RegexObject* self);
    RegexObject* (*copy)(const RegexObject* self);
    bool (*search)(RegexObject* self, const char* pattern, const char* subject, bool caseSensitive, bool multiline,
                   bool global, bool quoteMarker);
    void (*emptyMethod)(RegexObject* self);
    Text (*getPattern)(RegexObject* self);
    Text (*replaceMatches)(RegexObject* self, const char* replacement);
    int32_t (*matchCount)(RegexObject* self);
    Text (*matchText)(RegexObject* self, int32_t matchNumber, int32_t* position);
    Text (*submatchText)(RegexObject* self, int32_t matchNumber, int32_t groupNumber, int32_t* position);
    int32_t (*submatchCount)(RegexObject* self);
};

class RegexObject {
public:
    // Empty holders and an empty subject; initialises COM for the thread.
    RegexObject();
    // Clears both holders and the subject, then uninitialises COM.
    ~RegexObject();
    // A new instance sharing the COM objects (a reference added to each) with
    // a copy of the subject.
    RegexObject(const RegexObject& other);
    RegexObject& operator=(const RegexObject&) = delete;

    // pattern: when quoteMarker is true every "#引号" in it stands for a
    // double quote. True when the engine gave back a match collection (also an
    // empty one); false when it gave nothing (a pattern it rejects). Whether
    // anything matched is MatchCount's answer.
    bool Search(const char* pattern, const char* subject, bool caseSensitive = false, bool multiline = true,
                bool global = true, bool quoteMarker = false);
    void EmptyMethod() {}
    // The expression's pattern; empty before the first Search.
    OwnedText GetPattern();
    // The last subject with the matches replaced ("$1" and the like are the
    // engine's group references).
    OwnedText ReplaceMatches(const char* replacement);
    int32_t MatchCount();
    // The text of a match; `position`, when given, receives its byte offset
    // (-2 when there is no such match).
    OwnedText MatchText(int32_t matchNumber, int32_t* position = nullptr);
    // The text of capture group `groupNumber` of a match; `position` as above.
    OwnedText SubmatchText(int32_t matchNumber, int32_t groupNumber, int32_t* position = nullptr);
    // The number of capture groups, read from the first match.
    int32_t SubmatchCount();

    static const RegexClassTable& ClassTable();
    const RegexClassTable* classTable() const { return classTable_; }

private:
    Text PositionedText(int32_t matchNumber, bool group, int32_t groupNumber, int32_t* position);

    const RegexClassTable* classTable_; // borrowed: static
    ObjectHolder* expression_;          // owned: the "VBScript.RegExp" object of the last Search
    ObjectHolder* matches_;             // owned: the match collection of the last "Execute"
    void* subject_;                     // owned variant block: the subject of the last Search
};
