// Drives the text and byte-set commands with random GBK-ish texts and checks
// them against straightforward character-by-character versions of the same
// rules, plus invariants every result must keep: results are heap blocks or
// null, positions lie within the text, nothing is left on the heap.
#include "app/call.h"
#include "app/text_between.h"
#include "runtime/commands/byteset_commands.h"
#include "runtime/commands/conversion_commands.h"
#include "runtime/commands/text_commands.h"
#include "runtime/core/heap.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

uint8_t Lower(uint8_t b) { return (b >= 'A' && b <= 'Z') ? b + 32 : b; }

bool MatchAt(const std::string& s, size_t i, const std::string& n, bool ignoreCase)
{
    for (size_t k = 0; k < n.size(); ++k) {
        uint8_t a = s[i + k], b = n[k];
        if (ignoreCase ? Lower(a) != Lower(b) : a != b) return false;
    }
    return true;
}

// One character step, 0 at a lead byte followed by the NUL.
size_t Step(const std::string& s, size_t i)
{
    if (static_cast<uint8_t>(s[i]) < 0x80) return 1;
    return i + 1 < s.size() ? 2 : 0;
}

int32_t ReferenceFind(const std::string& s, const std::string& n, bool startGiven, int32_t start, bool ignoreCase,
                      bool reverse)
{
    size_t offset = 0, limit = s.size();
    if (!reverse) {
        if (startGiven) offset = start > 1 ? static_cast<size_t>(start - 1) : 0;
        if (offset >= s.size()) return -1;
    } else if (startGiven) {
        limit = std::min<size_t>(start > 1 ? static_cast<size_t>(start - 1) : 0, s.size());
    }
    if (limit <= offset) return -1;
    if (n.empty()) return 1;
    int32_t last = -1;
    for (size_t i = offset; i + n.size() <= limit;) {
        if (MatchAt(s, i, n, ignoreCase)) {
            if (!reverse) return static_cast<int32_t>(i + 1);
            last = static_cast<int32_t>(i + 1);
        }
        size_t step = Step(s, i);
        if (step == 0) break;
        i += step;
    }
    return last;
}

std::string ReferenceReplace(const std::string& s, const std::string& n, const std::string& r, int32_t start,
                             int32_t count, bool caseSensitive)
{
    size_t offset = start > 1 ? static_cast<size_t>(start - 1) : 0;
    if (s.empty() || n.empty() || offset >= s.size() || count == 0) return s;
    std::string out = s.substr(0, offset);
    size_t i = offset;
    int32_t done = 0;
    while (i + n.size() <= s.size()) {
        if (MatchAt(s, i, n, !caseSensitive)) {
            out += r;
            i += n.size();
            if (count > 0 && ++done == count) break;
            continue;
        }
        size_t step = Step(s, i);
        if (step == 0) break;
        out.append(s, i, step);
        i += step;
    }
    out.append(s, i, std::string::npos);
    return out;
}

std::vector<std::string> ReferenceSplit(const std::string& s, const std::string& sep, int64_t max)
{
    std::vector<std::string> parts;
    if (s.empty() || max == 0) return parts;
    if (sep.empty()) return {s};
    size_t partStart = 0, i = 0;
    while (i + sep.size() <= s.size()) {
        if (MatchAt(s, i, sep, false)) {
            parts.push_back(s.substr(partStart, i - partStart));
            i = partStart = i + sep.size();
            if (static_cast<int64_t>(parts.size()) == max) return parts;
            continue;
        }
        size_t step = Step(s, i);
        if (step == 0) break;
        i += step;
    }
    if (partStart < s.size()) parts.push_back(s.substr(partStart));
    return parts;
}

// Texts from a small alphabet, so that matches, GBK lead bytes, full-width
// spaces and the quote marker all turn up often.
std::string RandomText(FuzzedDataProvider& in, size_t maxLength)
{
    static const char* const kPieces[] = {"a", "A", "b", ",", " ", "\xA1", "\xA1\xA1", "\x81", "\xB0\xA1",
                                          "\xD2\xFD", "#\xD2\xFD\xBA\xC5", "\"", "1", "-", "=", "&"};
    std::string s;
    const size_t pieces = in.ConsumeIntegralInRange<size_t>(0, maxLength);
    for (size_t i = 0; i < pieces && in.remaining_bytes() > 0; ++i) {
        uint8_t pick = in.ConsumeIntegral<uint8_t>();
        if (pick >= 240) {
            char c = static_cast<char>(in.ConsumeIntegralInRange<uint8_t>(1, 255));
            s += c;
        } else {
            s += kPieces[pick % (sizeof kPieces / sizeof kPieces[0])];
        }
    }
    return s;
}

ArgRecord OptionalInt(FuzzedDataProvider& in, bool* given, int32_t* value)
{
    *given = in.ConsumeBool();
    *value = in.ConsumeIntegralInRange<int32_t>(-3, 40);
    return *given ? MakeIntArg(*value) : OmittedArg();
}

std::string View(const OwnedText& t) { return std::string(t.View()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const int64_t liveBefore = RuntimeLiveBlocks();
    {
        const std::string text = RandomText(in, 64);
        const std::string sought = RandomText(in, 3);
        const std::string replacement = RandomText(in, 3);
        bool startGiven;
        int32_t start;
        const ArgRecord startArg = OptionalInt(in, &startGiven, &start);
        const int32_t caseFlag = in.ConsumeIntegralInRange<int32_t>(0, 2);

        for (bool reverse : {false, true}) {
            int32_t p = Call::Int(reverse ? FindTextReverse : FindText, text, sought, startArg, caseFlag);
            Check(p == -1 || (p >= 1 && (p <= static_cast<int32_t>(text.size()) || (sought.empty() && p == 1))),
                  "find position within the text");
            Check(p == ReferenceFind(text, sought, startGiven, start, caseFlag == 1, reverse), "find as specified");
        }

        bool countGiven;
        int32_t count;
        const ArgRecord countArg = OptionalInt(in, &countGiven, &count);
        const bool caseSensitive = in.ConsumeBool();
        OwnedText replaced = Call::Text(ReplaceText, text, sought, replacement, startArg, countArg, caseSensitive);
        Check(View(replaced) ==
                  ReferenceReplace(text, sought, replacement, startGiven ? start : 1, countGiven ? count : -1,
                                   caseSensitive),
              "replace as specified");
        Check(replaced.Get() == nullptr || replaced.Length() > 0, "an empty result is null");

        bool maxGiven;
        int32_t max;
        const ArgRecord maxArg = OptionalInt(in, &maxGiven, &max);
        OwnedArray parts = Call::TextArray(SplitText, text, sought, maxArg);
        std::vector<std::string> expected =
            ReferenceSplit(text, sought, maxGiven ? std::max(max, 0) : INT64_MAX);
        Check(parts.Count() == expected.size(), "split part count");
        for (uint32_t i = 0; i < parts.Count(); ++i) {
            Check(parts.TextViewAt(i) == expected[i], "split part");
            Check(parts.TextAt(i) == nullptr || parts.TextViewAt(i).size() > 0, "empty parts are null");
        }

        for (CommandFn f : {TrimBoth, RemoveAllSpaces, ToUpper, ToLower}) {
            OwnedText t = Call::Text(f, text);
            Check(t.Length() <= text.size(), "no longer than the source");
        }
        OwnedText mid = Call::Text(MidText, text, start, count);
        Check(mid.Length() <= text.size(), "mid within the source");
        const int32_t order = Call::Int(CompareTextCase, text, sought, caseSensitive);
        Check(order == -Call::Int(CompareTextCase, sought, text, caseSensitive), "comparison is antisymmetric");
        Call::Int(ToInt, text);
        Call::DateTime(ToDateTime, text);
        OwnedText between = TextBetween(text.c_str(), sought.c_str(), replacement.c_str(), start, in.ConsumeBool());
        Check(between.Length() <= text.size(), "text between within the source");

        // Byte sets: text bytes with zero bytes allowed.
        std::string raw = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(0, 48));
        OwnedBytes bytes(CopyBytesAsByteSet(raw.data(), raw.size()));
        OwnedBytes soughtBytes(CopyBytesAsByteSet(sought.data(), sought.size()));
        OwnedBytes swapped = Call::Bytes(ReplaceBytes, bytes, soughtBytes, bytes, startArg, countArg);
        int32_t position = in.ConsumeIntegralInRange<int32_t>(-2, 50);
        for (int steps = 0; steps < 64 && position != -1; ++steps) {
            const int32_t type = in.ConsumeIntegralInRange<int32_t>(1, 10);
            const int32_t before = position;
            CommandResult r = Call::Raw(ReadFromByteSet, bytes, type, IntRef{&position});
            if (r.type == TYPE_TEXT) RuntimeFree(r.ptr);
            Check(position == -1 || position > before || before < 1, "a read moves forward");
        }
    }
    Check(RuntimeLiveBlocks() == liveBefore, "every block released");
    return 0;
}
