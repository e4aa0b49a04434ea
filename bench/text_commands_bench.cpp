// FindText, FindTextReverse, ReplaceText (every occurrence) and SplitText on
// a large GBK text with ASCII markers, each against a plain byte search over
// the same data in the same run (memmem where the C library has it), at 16 MB
// and 32 MB to show the cost grows linearly. ReplaceText and SplitText are
// also measured against the least work their results need: the same search
// plus copying the parts into runtime blocks (the replaced text into one
// block of its final size; each part of a split into a block of its own).
//
//   commands_text_bench [megabytes=16] [repeats=5]
#include "app/call.h"
#include "bench/bench_line.h"
#include "runtime/commands/text_commands.h"
#include "runtime/core/heap.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>
#endif
#include <random>
#include <string>
#include <time.h>
#include <vector>

namespace {

const char kTail[] = "@@END@@";
const char kHead[] = "@@START@@";
const char kMarker[] = "<br>";

// Random double-byte characters (trail bytes 0x40-0xFE, so some are ASCII
// letters and digits), a run of ASCII now and then, and a marker every ~4 KB.
std::string MakeText(size_t bytes)
{
    std::mt19937 rng(12345);
    std::string s;
    s.reserve(bytes + 64);
    s += "x";
    s += kHead;
    size_t nextMarker = 4096;
    while (s.size() < bytes - 64) {
        if (s.size() >= nextMarker) {
            s += kMarker;
            nextMarker += 3000 + rng() % 2200;
        } else if (rng() % 16 == 0) {
            s += static_cast<char>('a' + rng() % 26);
        } else {
            s += static_cast<char>(0xB0 + rng() % 0x48);
            uint8_t trail = static_cast<uint8_t>(0x40 + rng() % 0xBF);
            if (trail == 0x7F) trail = 0x80;
            s += static_cast<char>(trail);
        }
    }
    s += kTail;
    s += "y";
    return s;
}

// The C library's memchr where it is vectorised (glibc); elsewhere (msvcrt
// scans a byte at a time) a plain SSE2 scan, so the floor is a search as fast
// as a plain program can make it, not a slow one.
#if defined(__i386__) || defined(__x86_64__)
__attribute__((target("sse2")))
#endif
const char* PlainFindByte(const char* p, size_t n, char b)
{
#if defined(__i386__) || defined(__x86_64__)
    const __m128i wanted = _mm_set1_epi8(b);
    for (; n >= 16; p += 16, n -= 16) {
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), wanted));
        if (mask) return p + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    return static_cast<const char*>(std::memchr(p, b, n));
}

const void* PlainFind(const char* hay, size_t n, const char* needle, size_t m)
{
#if defined(__GLIBC__)
    return memmem(hay, n, needle, m);
#else
    if (m > n) return nullptr;
    const char* end = hay + n - m + 1;
    for (const char* p = hay; p < end; ++p) {
        p = PlainFindByte(p, static_cast<size_t>(end - p), needle[0]);
        if (!p) return nullptr;
        if (std::memcmp(p, needle, m) == 0) return p;
    }
    return nullptr;
#endif
}

// Every occurrence, as a replace or split has to find them.
size_t PlainCountAll(const std::string& s, const char* needle)
{
    const size_t m = std::strlen(needle);
    size_t count = 0, at = 0;
    while (const void* hit = PlainFind(s.data() + at, s.size() - at, needle, m)) {
        ++count;
        at = static_cast<size_t>(static_cast<const char*>(hit) - s.data()) + m;
    }
    return count;
}

// The floor of ReplaceText: one search pass noting the matches, then the
// result copied into one runtime block of its exact size.
size_t PlainReplaceAll(const std::string& s, const char* needle, const char* replacement)
{
    const size_t m = std::strlen(needle), r = std::strlen(replacement);
    std::vector<size_t> hits;
    size_t at = 0;
    while (const void* hit = PlainFind(s.data() + at, s.size() - at, needle, m)) {
        hits.push_back(static_cast<size_t>(static_cast<const char*>(hit) - s.data()));
        at = hits.back() + m;
    }
    const size_t length = s.size() - hits.size() * m + hits.size() * r;
    char* out = static_cast<char*>(RuntimeAlloc(static_cast<uint32_t>(length + 1)));
    char* w = out;
    size_t pos = 0;
    for (size_t k : hits) {
        std::memcpy(w, s.data() + pos, k - pos);
        w += k - pos;
        std::memcpy(w, replacement, r);
        w += r;
        pos = k + m;
    }
    std::memcpy(w, s.data() + pos, s.size() - pos);
    out[length] = '\0';
    RuntimeFree(out);
    return length;
}

// The floor of SplitText: the search, with every part copied into a runtime
// block of its own as it is found and the blocks kept in a growing list.
size_t PlainSplit(const std::string& s, const char* separator)
{
    const size_t m = std::strlen(separator);
    std::vector<char*> parts;
    size_t at = 0;
    auto keep = [&](size_t from, size_t n) {
        char* part = static_cast<char*>(RuntimeAlloc(static_cast<uint32_t>(n + 1)));
        std::memcpy(part, s.data() + from, n);
        part[n] = '\0';
        parts.push_back(part);
    };
    while (const void* hit = PlainFind(s.data() + at, s.size() - at, separator, m)) {
        const size_t k = static_cast<size_t>(static_cast<const char*>(hit) - s.data());
        keep(at, k - at);
        at = k + m;
    }
    if (at < s.size()) keep(at, s.size() - at);
    for (char* part : parts) RuntimeFree(part);
    return parts.size();
}

// CPU time of this thread where the platform has it, so that time spent
// waiting for a core on a busy machine does not count; wall time otherwise.
double Now()
{
#if defined(CLOCK_THREAD_CPUTIME_ID) && !defined(_WIN32)
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
#else
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
#endif
}

template <class F>
double Once(F&& f)
{
    const double t0 = Now();
    f();
    return Now() - t0;
}

volatile size_t gSink;

struct Times {
    double plainTail, plainAll, plainReplace, plainSplit, find, reverse, replace, split;
};

Times Measure(size_t bytes, int repeats)
{
    const std::string text = MakeText(bytes);
    // Rounds interleave the floors with the commands, so that a slow
    // stretch of a busy machine hits both; each keeps its best round.
    Times t{1e30, 1e30, 1e30, 1e30, 1e30, 1e30, 1e30, 1e30};
    for (int i = 0; i < repeats; ++i) {
        // Each command right after its floor, so that both meet the heap in
        // the same state (the split floor's thousands of small blocks, say).
        t.plainTail = std::min(t.plainTail, Once([&] { gSink = PlainFind(text.data(), text.size(), kTail, 7) != nullptr; }));
        t.find = std::min(t.find, Once([&] { gSink = Call::Int(FindText, text, kTail); }));
        t.reverse = std::min(t.reverse, Once([&] { gSink = Call::Int(FindTextReverse, text, kHead); }));
        t.plainAll = std::min(t.plainAll, Once([&] { gSink = PlainCountAll(text, kMarker); }));
        t.plainReplace = std::min(t.plainReplace, Once([&] { gSink = PlainReplaceAll(text, kMarker, "\r\n"); }));
        t.replace = std::min(t.replace, Once([&] {
            // Not its length: msvcrt's strlen would cost more than the command.
            OwnedText r = Call::Text(ReplaceText, text, kMarker, "\r\n", kOmitted, kOmitted, true);
            gSink = r.Get() != nullptr;
        }));
        t.plainSplit = std::min(t.plainSplit, Once([&] { gSink = PlainSplit(text, kMarker); }));
        t.split = std::min(t.split, Once([&] {
            OwnedArray parts = Call::TextArray(SplitText, text, kMarker);
            gSink = parts.Count();
        }));
    }
    // Sanity: the commands found what the plain search found.
    if (Call::Int(FindText, text, kTail) != static_cast<int32_t>(text.size() - 7) ||
        Call::Int(FindTextReverse, text, kHead) != 2 ||
        Call::TextArray(SplitText, text, kMarker).Count() != PlainCountAll(text, kMarker) + 1) {
        std::fprintf(stderr, "commands disagree with the plain search\n");
        std::exit(1);
    }
    return t;
}

}  // namespace

int main(int argc, char** argv)
{
    const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 16;
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
    const Times a = Measure(megabytes << 20, repeats);
    const Times b = Measure((2 * megabytes) << 20, repeats);
    std::printf("%zu MB GBK text, best of %d rounds (ms of CPU time); ratio = command / plain search of the same data\n", megabytes,
                repeats);
    std::printf("%-24s %10s %10s %8s %12s\n", "", "ms", "ms x2", "ratio", "x2 / x1");
    auto row = [](const char* name, double t1, double t2, double base) {
        std::printf("%-24s %10.2f %10.2f %8.2f %12.2f\n", name, t1 * 1e3, t2 * 1e3, t1 / base, t2 / t1);
    };
    row("plain (tail)", a.plainTail, b.plainTail, a.plainTail);
    row("plain (all)", a.plainAll, b.plainAll, a.plainAll);
    row("search + copy (replace)", a.plainReplace, b.plainReplace, a.plainAll);
    row("search + copy (split)", a.plainSplit, b.plainSplit, a.plainAll);
    row("FindText", a.find, b.find, a.plainTail);
    row("FindTextReverse", a.reverse, b.reverse, a.plainTail);
    row("ReplaceText", a.replace, b.replace, a.plainAll);
    row("SplitText", a.split, b.split, a.plainAll);
    std::printf("ReplaceText / search + copy %.2f, SplitText / search + copy %.2f\n", a.replace / a.plainReplace,
                a.split / a.plainSplit);
    PrintBenchLine("find_text", a.find * 1e3, a.plainTail * 1e3, "ms");
    PrintBenchLine("find_text_reverse", a.reverse * 1e3, a.plainTail * 1e3, "ms");
    PrintBenchLine("replace_text", a.replace * 1e3, a.plainReplace * 1e3, "ms");
    PrintBenchLine("split_text", a.split * 1e3, a.plainSplit * 1e3, "ms");
    PrintBenchLine("replace_text_vs_search", a.replace * 1e3, a.plainAll * 1e3, "ms");
    PrintBenchLine("split_text_vs_search", a.split * 1e3, a.plainAll * 1e3, "ms");
    return 0;
}
