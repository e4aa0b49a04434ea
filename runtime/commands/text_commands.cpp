#include "runtime/commands/text_commands.h"

#include "runtime/commands/command_support.h"
#include "runtime/commands/gbk_scan.h"
#include "runtime/commands/text_builder.h"
#include "runtime/core/heap.h"

#include <algorithm>
#include <cstring>

using namespace commands;

namespace {

const uint8_t* Bytes(const char* s) { return reinterpret_cast<const uint8_t*>(s); }

// The ignore-case flag of the find commands counts only when it is exactly 1.
bool IgnoreCaseFlag(int32_t argc, const ArgRecord* args, int32_t index)
{
    return Given(argc, args, index) && args[index].low == 1;
}

// The case-sensitive flag of ReplaceText and CompareTextCase. Compiled callers
// always pass it; a caller that leaves it out gets the program's default, true.
bool CaseSensitiveFlag(int32_t argc, const ArgRecord* args, int32_t index)
{
    return Given(argc, args, index) ? ArgBool(args[index]) : true;
}

// Length of the character at s[i] (i < n): 2 for a lead byte with a trail,
// 0 for a lead byte left dangling at the end, else 1.
size_t CharLength(const uint8_t* s, size_t i, size_t n)
{
    if (s[i] < 0x80) return 1;
    return (i + 1 < n) ? 2 : 0;
}

// Full-width space is the two bytes 0xA1 0xA1.
size_t SpaceLength(const uint8_t* s, size_t i, size_t n)
{
    if (s[i] == ' ') return 1;
    if (s[i] == 0xA1 && i + 1 < n && s[i + 1] == 0xA1) return 2;
    return 0;
}

void FindCommon(CommandResult* result, int32_t argc, ArgRecord* args, bool reverse)
{
    std::string_view text = TextViewArg(argc, args, 0);
    std::string_view sought = TextViewArg(argc, args, 1);
    const size_t length = text.size();
    const bool startGiven = Given(argc, args, 2);
    const int64_t start = startGiven ? ArgInt(args[2]) : 0;
    const bool ignoreCase = IgnoreCaseFlag(argc, args, 3);

    // The search region: forward [offset, length), reverse [0, limit).
    size_t offset = 0;
    size_t limit = length;
    if (!reverse) {
        if (startGiven) offset = static_cast<size_t>(std::max<int64_t>(start - 1, 0));
        if (offset >= length) offset = limit = 0;
    } else {
        if (startGiven) limit = std::min<size_t>(static_cast<size_t>(std::max<int64_t>(start - 1, 0)), length);
    }
    int32_t found = -1;
    if (limit > offset) {
        if (sought.empty()) {
            found = 1;
        } else if (!reverse) {
            int64_t k = FindAligned(Bytes(text.data()), offset, limit, Bytes(sought.data()), sought.size(), ignoreCase);
            if (k >= 0) found = static_cast<int32_t>(k + 1);
        } else {
            size_t pos = 0;
            for (;;) {
                int64_t k = FindAligned(Bytes(text.data()), pos, limit, Bytes(sought.data()), sought.size(), ignoreCase);
                if (k < 0) break;
                found = static_cast<int32_t>(k + 1);
                // Go on from the character after the match's first one.
                size_t step = CharLength(Bytes(text.data()), static_cast<size_t>(k), length);
                if (step == 0) break;
                pos = static_cast<size_t>(k) + step;
            }
        }
    }
    SetInt(*result, found);
}

}  // namespace

void TextLength(CommandResult* result, int32_t argc, ArgRecord* args)
{
    SetInt(*result, static_cast<int32_t>(TextViewArg(argc, args, 0).size()));
}

void FindText(CommandResult* result, int32_t argc, ArgRecord* args) { FindCommon(result, argc, args, false); }

void FindTextReverse(CommandResult* result, int32_t argc, ArgRecord* args) { FindCommon(result, argc, args, true); }

void LeftText(CommandResult* result, int32_t argc, ArgRecord* args)
{
    std::string_view text = TextViewArg(argc, args, 0);
    int32_t n = IntArg(argc, args, 1);
    if (n <= 0) return;
    SetTextResult(result, CopyBytesAsText(text.data(), std::min<size_t>(static_cast<size_t>(n), text.size())));
}

void RightText(CommandResult* result, int32_t argc, ArgRecord* args)
{
    std::string_view text = TextViewArg(argc, args, 0);
    int32_t n = IntArg(argc, args, 1);
    if (n <= 0) return;
    size_t take = std::min<size_t>(static_cast<size_t>(n), text.size());
    SetTextResult(result, CopyBytesAsText(text.data() + text.size() - take, take));
}

void MidText(CommandResult* result, int32_t argc, ArgRecord* args)
{
    std::string_view text = TextViewArg(argc, args, 0);
    int64_t start = IntArg(argc, args, 1);
    int64_t n = IntArg(argc, args, 2);
    const int64_t length = static_cast<int64_t>(text.size());
    if (start < 1 || start > length || n <= 0) return;
    SetTextResult(result, CopyBytesAsText(text.data() + start - 1, std::min(n, length - start + 1)));
}

void Character(CommandResult* result, int32_t argc, ArgRecord* args)
{
    char c = static_cast<char>(IntArg(argc, args, 0) & 0xFF);
    SetTextResult(result, CopyBytesAsText(&c, c != 0 ? 1 : 0));
}

namespace {

// Match offsets noted by ReplaceText's search pass, on the RuntimeHeap.
class MatchList {
public:
    static constexpr uint32_t kMaxNotedMatches = 1u << 20;

    ~MatchList() { RuntimeFree(offsets_); }
    void Note(uint32_t offset)
    {
        if (noted_ == kMaxNotedMatches) return;
        if (noted_ == capacity_) {
            capacity_ = capacity_ ? capacity_ * 2 : 256;
            offsets_ = static_cast<uint32_t*>(RuntimeRealloc(offsets_, capacity_ * sizeof(uint32_t)));
        }
        offsets_[noted_++] = offset;
    }
    int64_t Noted() const { return noted_; }
    uint32_t At(uint32_t i) const { return offsets_[i]; }

private:
    uint32_t* offsets_ = nullptr;  // owned
    uint32_t noted_ = 0;
    uint32_t capacity_ = 0;
};

}  // namespace

void ReplaceText(CommandResult* result, int32_t argc, ArgRecord* args)
{
    const char* textArg = TextArg(argc, args, 0);
    std::string_view sought = TextViewArg(argc, args, 1);
    std::string_view replacement = TextViewArg(argc, args, 2);
    const int64_t offset = std::max<int64_t>(static_cast<int64_t>(IntArg(argc, args, 3, 1)) - 1, 0);
    const int32_t count = IntArg(argc, args, 4, -1);  // negative: every occurrence
    const bool ignoreCase = !CaseSensitiveFlag(argc, args, 5);

    // The common case, every occurrence from the start with case, learns the
    // text's length from its search pass (one pass over a large text rather
    // than two); the others measure it first.
    const bool lengthFromSearch = offset == 0 && !ignoreCase && !sought.empty() && count != 0;
    size_t length = lengthFromSearch ? 0 : ScanTextLength(textArg);
    bool lengthKnown = !lengthFromSearch;
    if (textArg[0] == '\0' || sought.empty() || (lengthKnown && offset >= static_cast<int64_t>(length)) || count == 0) {
        SetTextResult(result, CopyText(textArg));
        return;
    }
    const uint8_t* s = Bytes(textArg);
    const size_t m = sought.size();
    auto next = [&](size_t from) -> int64_t {
        if (lengthKnown) return FindAligned(s, from, length, Bytes(sought.data()), m, ignoreCase);
        size_t end = 0;
        const int64_t k = FindAlignedInText(s, from, Bytes(sought.data()), m, &end);
        if (k < 0) {
            length = end;
            lengthKnown = true;
        }
        return k;
    };

    // One search pass notes where the matches are, so the result can be
    // allocated once at its exact size and filled by plain copies: a large
    // result is never copied while it grows nor shrunk at the end. Past
    // kMaxNotedMatches the positions are only counted and found again while
    // filling, which bounds the side memory.
    MatchList matches;
    const int64_t limit = count > 0 ? count : INT64_MAX;
    int64_t found = 0;
    size_t searched = static_cast<size_t>(offset);
    for (; found < limit; ++found) {
        const int64_t k = next(searched);
        if (k < 0) break;
        matches.Note(static_cast<uint32_t>(k));
        searched = static_cast<size_t>(k) + m;
    }
    // Stopped at the count before the end: the rest is measured on its own.
    if (!lengthKnown) {
        length = searched + ScanTextLength(textArg + searched);
        lengthKnown = true;
    }
    const uint64_t resultLength =
        length - static_cast<uint64_t>(found) * m + static_cast<uint64_t>(found) * replacement.size();
    ResultBuilder out(0, resultLength);
    out.Append(s, static_cast<size_t>(offset));
    size_t pos = static_cast<size_t>(offset);
    for (int64_t done = 0; done < found; ++done) {
        const int64_t k = done < matches.Noted() ? matches.At(static_cast<uint32_t>(done)) : next(pos);
        out.Append(s + pos, static_cast<size_t>(k) - pos);
        out.Append(replacement.data(), replacement.size());
        pos = static_cast<size_t>(k) + m;
    }
    out.Append(s + pos, length - pos);
    SetTextResult(result, out.FinishText());
}

namespace {

// The parts of SplitText, gathered straight into the growing ArrayBlock
// {1, count, Text pointers}; on any early exit the parts made so far are freed.
class PartList {
public:
    ~PartList() { FreeArrayValue(block_, TYPE_TEXT); }
    void Add(const char* bytes, size_t n)
    {
        if (count_ == capacity_) Grow();
        Text part = CopyBytesAsText(bytes, static_cast<int64_t>(n));
        std::memcpy(ArrayElementData(block_) + count_ * sizeof(Text), &part, sizeof part);
        ++count_;
        SetArrayWord(block_, 1, count_);
    }
    uint32_t Count() const { return count_; }
    // The finished block, exactly 8 + count element slots.
    ArrayBlock Finish()
    {
        if (!block_) return NewArray(0, sizeof(Text));
        ArrayBlock done = block_;
        if (count_ != capacity_) done = static_cast<ArrayBlock>(RuntimeRealloc(block_, 8 + count_ * sizeof(Text)));
        block_ = nullptr;
        return done;
    }

private:
    void Grow()
    {
        uint32_t grown = capacity_ ? capacity_ * 2 : 16;
        if (grown > (0xFFFFFFF0u - 8) / sizeof(Text)) RaiseAllocationFailure(0xFFFFFFFFu);
        block_ = static_cast<ArrayBlock>(RuntimeRealloc(block_, static_cast<uint32_t>(8 + grown * sizeof(Text))));
        SetArrayWord(block_, 0, 1);
        SetArrayWord(block_, 1, count_);
        capacity_ = grown;
    }

    ArrayBlock block_ = nullptr;  // owned, with the parts in it
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;
};

}  // namespace

void SplitText(CommandResult* result, int32_t argc, ArgRecord* args)
{
    std::string_view text = TextViewArg(argc, args, 0);
    std::string_view separator = Given(argc, args, 1) ? TextViewArg(argc, args, 1) : std::string_view(",");
    int64_t maxParts = Given(argc, args, 2) ? std::max<int32_t>(ArgInt(args[2]), 0) : INT64_MAX;

    PartList parts;
    if (text.empty() || maxParts == 0) {
        SetPointer(*result, parts.Finish());
        return;
    }
    if (separator.empty()) {
        parts.Add(text.data(), text.size());
        SetPointer(*result, parts.Finish());
        return;
    }
    const uint8_t* s = Bytes(text.data());
    size_t partStart = 0;
    bool exhausted = false;
    for (;;) {
        int64_t k = FindAligned(s, partStart, text.size(), Bytes(separator.data()), separator.size(), false);
        if (k < 0) break;
        parts.Add(text.data() + partStart, static_cast<size_t>(k) - partStart);
        partStart = static_cast<size_t>(k) + separator.size();
        if (parts.Count() == maxParts) {
            exhausted = true;
            break;
        }
    }
    if (!exhausted && partStart < text.size()) parts.Add(text.data() + partStart, text.size() - partStart);
    SetPointer(*result, parts.Finish());
}

void TrimBoth(CommandResult* result, int32_t argc, ArgRecord* args)
{
    std::string_view text = TextViewArg(argc, args, 0);
    const uint8_t* s = Bytes(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        size_t space = SpaceLength(s, i, n);
        if (space == 0) break;
        i += space;
    }
    const size_t begin = i;
    size_t end = begin;  // end of the last character that is not a space
    while (i < n) {
        if (size_t space = SpaceLength(s, i, n)) {
            i += space;
            continue;
        }
        size_t len = CharLength(s, i, n);
        if (len == 0) break;  // dangling lead byte: dropped
        i += len;
        end = i;
    }
    SetTextResult(result, CopyBytesAsText(text.data() + begin, static_cast<int64_t>(end - begin)));
}

void RemoveAllSpaces(CommandResult* result, int32_t argc, ArgRecord* args)
{
    std::string_view text = TextViewArg(argc, args, 0);
    const uint8_t* s = Bytes(text.data());
    const size_t n = text.size();
    ResultBuilder out(0, n);
    size_t i = 0;
    while (i < n) {
        if (size_t space = SpaceLength(s, i, n)) {
            i += space;
            continue;
        }
        size_t len = CharLength(s, i, n);
        if (len == 0) break;
        out.Append(s + i, len);
        i += len;
    }
    SetTextResult(result, out.FinishText());
}

namespace {

void ChangeCase(CommandResult* result, int32_t argc, ArgRecord* args, bool upper)
{
    Text copy = CopyText(TextArg(argc, args, 0));
    if (!copy) return;
    uint8_t* s = reinterpret_cast<uint8_t*>(copy);
    for (size_t i = 0; s[i] != 0;) {
        if (s[i] >= 0x80) {
            i += s[i + 1] != 0 ? 2 : 1;
            continue;
        }
        if (upper && s[i] >= 'a' && s[i] <= 'z') s[i] = static_cast<uint8_t>(s[i] - 32);
        if (!upper && s[i] >= 'A' && s[i] <= 'Z') s[i] = static_cast<uint8_t>(s[i] + 32);
        ++i;
    }
    SetTextResult(result, copy);
}

}  // namespace

void ToUpper(CommandResult* result, int32_t argc, ArgRecord* args) { ChangeCase(result, argc, args, true); }

void ToLower(CommandResult* result, int32_t argc, ArgRecord* args) { ChangeCase(result, argc, args, false); }

void SpaceText(CommandResult* result, int32_t argc, ArgRecord* args)
{
    int32_t n = IntArg(argc, args, 0);
    if (n < 1) return;
    Text t = static_cast<Text>(RuntimeAlloc(static_cast<uint32_t>(n) + 1));
    std::memset(t, ' ', static_cast<size_t>(n));
    t[n] = 0;
    SetTextResult(result, t);
}

void RepeatText(CommandResult* result, int32_t argc, ArgRecord* args)
{
    const int64_t n = std::max<int32_t>(IntArg(argc, args, 0), 0);
    std::string_view text = TextViewArg(argc, args, 1);
    const uint64_t total = static_cast<uint64_t>(n) * text.size();
    if (total == 0) return;
    if (total >= 0xFFFFFFFFull) RaiseAllocationFailure(0xFFFFFFFFu);
    Text t = static_cast<Text>(RuntimeAlloc(static_cast<uint32_t>(total + 1)));
    for (int64_t i = 0; i < n; ++i) std::memcpy(t + i * text.size(), text.data(), text.size());
    t[total] = 0;
    SetTextResult(result, t);
}

void CompareTextCase(CommandResult* result, int32_t argc, ArgRecord* args)
{
    const uint8_t* a = Bytes(TextArg(argc, args, 0));
    const uint8_t* b = Bytes(TextArg(argc, args, 1));
    const bool caseSensitive = CaseSensitiveFlag(argc, args, 2);
    // One character as a number: lead * 256 + trail, or the single byte.
    auto next = [caseSensitive](const uint8_t*& p) -> uint32_t {
        uint32_t c = *p;
        if (c == 0) return 0;
        ++p;
        if (c >= 0x80 && *p != 0) return (c << 8) | *p++;
        return caseSensitive ? c : AsciiLower(static_cast<uint8_t>(c));
    };
    int32_t order = 0;
    for (;;) {
        uint32_t ca = next(a);
        uint32_t cb = next(b);
        if (ca != cb) {
            order = ca < cb ? -1 : 1;
            break;
        }
        if (ca == 0) break;
    }
    SetInt(*result, order);
}
