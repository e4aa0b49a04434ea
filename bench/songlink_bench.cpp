// The program as a user meets it, timed against floors measured in the same
// run: from process start to the window shown (against a bare Win32 program
// that opens a window); from a click on "下载" to the browser's request for
// the audio address (against three plain HTTP round trips to the same
// loopback server, the lookup's network floor), for the first click of a
// process and for the clicks after it; and the program's private memory after
// start, after the first lookup, after 25 and after 1,000 lookups, each read
// once the platform's idle worker threads have ended, both for lookups of one
// address and, in a second program run, for lookups of an address of their
// own each (a song, a cover and an audio address no lookup used before), as
// in use. Where memory grew from lookup 25 on is told from the line the test
// build prints after each lookup (app/memory_census.h): each holder's figure
// at both points.
//
// The first click comes a user's moment after the window appeared (the time
// it takes to paste an address), as it does in use; a second set of runs
// clicks the instant the window is there, the worst a user can do.
//
// Besides its report, one line per figure for the table:
//   BENCH <tab> name <tab> figure <tab> floor <tab> unit
//
// songlink_bench [runs] [lookups] [think ms]   (run under scripts/wine-run.sh;
// songlink_e2e.exe and bench_bare_window.exe must sit beside it)
#include "tests/app/e2e/window_driver.h"
#include "tests/app/web/inet_cache.h"
#include "tests/app/web/loopback_server.h"
#include "tests/support/child_process.h"
#include "tests/support/message_box_probe.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint16_t kPort = SONGLINK_TEST_PORT;
// Clicks 2 … kLastWarmClick of a process are the warm ones.
constexpr int kLastWarmClick = 50;
// What a long run is measured against: the level once the first lookups'
// one-time costs (libraries loaded, caches filled) are behind.
constexpr int kBaseLookups = 25;
// The platform's HTTP libraries run their asynchronous requests on pooled
// worker threads, which end after a few idle seconds (5 under Wine, whose
// threads commit their whole 3 MB stack); memory held after the last lookup
// is read once they have.
constexpr DWORD kSettleMs = 8000;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::wstring Beside(const wchar_t* name)
{
    std::wstring self = CurrentExecutablePath();
    return self.substr(0, self.find_last_of(L"\\/") + 1) + name;
}

std::string Escaped(const std::string& path)
{
    std::string out;
    for (char c : "http://127.0.0.1:" + std::to_string(kPort) + path) {
        if (c == '/')
            out += "\\/";
        else
            out += c;
    }
    return out;
}

double ChildPrivateMb(uint32_t pid)
{
    // What the browser control does after the lookup returned (its request
    // for the audio address) settles first.
    Sleep(200);
    return PrivateCommittedBytes(pid) / 1048576.0;
}

// One plain WinHttp GET of the path, body read and dropped.
void PlainRoundTrip(HINTERNET session, const wchar_t* path)
{
    HINTERNET connection = WinHttpConnect(session, L"127.0.0.1", kPort, 0);
    HINTERNET request = WinHttpOpenRequest(connection, L"GET", path, nullptr, nullptr, nullptr, 0);
    if (WinHttpSendRequest(request, nullptr, 0, nullptr, 0, 0, 0) && WinHttpReceiveResponse(request, nullptr)) {
        char buffer[8192];
        DWORD n = 0;
        while (WinHttpReadData(request, buffer, sizeof buffer, &n) && n > 0) {
        }
    }
    WinHttpCloseHandle(request);
    WinHttpCloseHandle(connection);
}

// The last memory line the program printed (after its latest lookup).
std::string LastCensus(const ChildProcess& app)
{
    std::string output = app.Output();
    size_t at = output.rfind("memory: ");
    if (at == std::string::npos) return "(no memory line)";
    size_t end = output.find_first_of("\r\n", at);
    return output.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// A memory line's figures, each named by its group and its own name
// ("runtime blocks busy", "crt heap", ...).
std::vector<std::pair<std::string, long long>> CensusFigures(const std::string& line)
{
    std::vector<std::pair<std::string, long long>> out;
    size_t at = line.find(':');
    if (at == std::string::npos) return out;
    std::string group, name;
    for (size_t i = at + 1; i <= line.size();) {
        size_t end = line.find_first_of(" ;", i);
        if (end == std::string::npos) end = line.size();
        const std::string word = line.substr(i, end - i);
        const bool groupEnds = end < line.size() && line[end] == ';';
        i = end + 1;
        if (!word.empty() && word.find_first_not_of("-0123456789") == std::string::npos) {
            if (group.empty()) group = name;
            out.emplace_back(name == group ? group : group + " " + name, std::atoll(word.c_str()));
            name.clear();
        } else if (!word.empty()) {
            name += (name.empty() ? "" : " ") + word;
        }
        if (groupEnds) group.clear();
    }
    return out;
}

long long CensusFigure(const std::string& line, const std::string& name)
{
    for (const auto& [n, value] : CensusFigures(line)) {
        if (n == name) return value;
    }
    return 0;
}

// What of a memory line the program itself holds, in KB: its runtime blocks
// and their spare, and the live blocks of the process heap and the C library's
// heap, where its C++ code allocates. (The platform's libraries allocate in
// those two heaps too, so this is an upper bound of the program's part; their
// own heaps, the URL cache, stacks and mapped pages are theirs alone.)
long long ProgramHeldKb(const std::string& line)
{
    return CensusFigure(line, "runtime blocks busy") + CensusFigure(line, "runtime blocks spare") +
           CensusFigure(line, "process heap busy") + CensusFigure(line, "crt heap busy");
}

// Prints each figure of two memory lines side by side: "holder before -> after".
void CompareCensus(const std::string& before, const std::string& after)
{
    auto figures = [](const std::string& line) {
        std::vector<std::pair<std::string, std::string>> out;
        std::string name;
        size_t i = line.find(':') + 1;
        while (i < line.size()) {
            size_t end = line.find_first_of(" ;", i);
            if (end == std::string::npos) end = line.size();
            std::string word = line.substr(i, end - i);
            i = end + 1;
            if (word.empty()) continue;
            if (word.find_first_not_of("-0123456789") == std::string::npos) {
                out.emplace_back(name, word);
                name.clear();
            } else {
                name += (name.empty() ? "" : " ") + word;
            }
        }
        return out;
    };
    auto a = figures(before), b = figures(after);
    for (size_t k = 0; k < a.size() && k < b.size(); ++k) {
        long long from = std::atoll(a[k].second.c_str()), to = std::atoll(b[k].second.c_str());
        std::printf("    %-28s %10lld -> %10lld  (%+lld)\n", b[k].first.c_str(), from, to, to - from);
    }
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The audio requests as they reach the server, each stamped on arrival, so
// that a click is timed to the request itself and not to the next poll.
class AudioArrivals {
public:
    void Note()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++count_;
        last_ = Clock::now();
        arrived_.notify_all();
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return count_;
    }
    // The arrival time of the first request after the `seen` ones; false on time-out.
    bool WaitBeyond(size_t seen, uint32_t timeoutMs, Clock::time_point* at)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return count_ > seen; })) return false;
        *at = last_;
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    size_t count_ = 0;
    Clock::time_point last_;
};

// Click to audio request, in ms; negative when the request never came.
double TimedClick(HWND button, AudioArrivals& audio)
{
    size_t seen = audio.Count();
    auto c0 = Clock::now();
    PostMessageW(button, BM_CLICK, 0, 0);
    Clock::time_point at;
    if (!audio.WaitBeyond(seen, 20000, &at)) return -1;
    return Ms(at - c0);
}

void BenchLine(const char* name, double figure, double floor, const char* unit)
{
    std::printf("BENCH\t%s\t%.3f\t%.3f\t%s\n", name, figure, floor, unit);
}

// The album id the lookups of distinct addresses give, as the record's reply
// reads it back: "d" and the lookup's number.
constexpr const char* kDistinctMark = "album_id=d";

// Among the lookups of distinct addresses, as in use, some fail: every
// kMissingCoverEvery-th cover is not there (404), and every
// kNoAudioEvery-th record has no audio address (the program says so in a
// message box, which the bench closes).
constexpr int kMissingCoverEvery = 7;
constexpr int kNoAudioEvery = 11;

// The record for a request of the endpoint: for a lookup of a distinct
// address, a cover and an audio address of its own; otherwise the one record.
std::string RecordFor(const std::string& target, const std::string& oneRecord)
{
    size_t at = target.find(kDistinctMark);
    if (at == std::string::npos) return oneRecord;
    at += std::strlen(kDistinctMark);
    const std::string n = target.substr(at, target.find('&', at) - at);
    const int number = std::atoi(n.c_str());
    const std::string cover = number % kMissingCoverEvery == 0 ? "/missing/d" : "/cover/d";
    const std::string audio = number % kNoAudioEvery == 0 ? "" : Escaped("/audio/d" + n + ".mp3");
    return R"({"data":{"img":")" + Escaped(cover + n + ".jpg") + R"(","play_url":")" + audio + R"(","authors":[]}})";
}

struct LongRun {
    double afterBase = 0;  // MB, after kBaseLookups lookups, settled
    double afterAll = 0;   // MB, after all of them, settled
    std::string censusAfterBase, censusAfterAll;
};

// A program run of `lookups` lookups, each of an address no lookup used
// before. False when the program did not come up or a lookup did not end.
bool DistinctAddressRun(int lookups, LongRun* out)
{
    ChildProcess app;
    app.Start(Beside(L"songlink_e2e.exe"), L"");
    HWND window = WaitForTopLevelWindow(app.ProcessId(), L"WTWindow", 20000);
    if (!window) return false;
    HWND edit = FindChildWindow(window, L"Edit");
    std::wstring caption = FromGbk("下载");
    HWND button = FindChildWindow(window, L"Button", &caption);
    bool ended = true;
    for (int i = 1; i <= lookups && ended; ++i) {
        const std::wstring address = L"#hash=H" + std::to_wstring(i) + L"&album_id=d" + std::to_wstring(i);
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(address.c_str()));
        PostMessageW(button, BM_CLICK, 0, 0);
        if (i % kNoAudioEvery == 0) {
            const auto until = Clock::now() + std::chrono::seconds(20);
            while (!FindAndDismissMessageBox(app.ProcessId(), FromGbk("信息：")).found && Clock::now() < until)
                Sleep(20);
        }
        ended = app.WaitForOutput("lookup done", static_cast<size_t>(i), 20000);
        if (i == kBaseLookups) {
            Sleep(kSettleMs);
            out->afterBase = ChildPrivateMb(app.ProcessId());
            out->censusAfterBase = LastCensus(app);
        }
    }
    out->censusAfterAll = LastCensus(app);
    Sleep(kSettleMs);
    out->afterAll = ChildPrivateMb(app.ProcessId());
    PostMessageW(window, WM_CLOSE, 0, 0);
    app.Wait(15000);
    // Wine's WinInet keeps an entry, and a file, of every cover and audio
    // address in the prefix's URL cache, which slows every later request
    // there: what this run added goes.
    const size_t forgotten = ForgetCachedAddresses(L"http://127.0.0.1:" + std::to_wstring(kPort) + L"/cover/d") +
                             ForgetCachedAddresses(L"http://127.0.0.1:" + std::to_wstring(kPort) + L"/audio/d") +
                             ForgetCachedAddresses(L"http://127.0.0.1:" + std::to_wstring(kPort) + L"/missing/d");
    std::printf("removed %zu entries of this run from the URL cache\n", forgotten);
    return ended;
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    int lookups = argc > 2 ? std::max(kLastWarmClick, std::atoi(argv[2])) : 1000;
    int thinkMs = argc > 3 ? std::max(0, std::atoi(argv[3])) : 1000;
    // One record for every lookup: with an address of its own each time, as
    // songs have, Wine's URL cache (which keeps every download that asks for
    // a file) slows each further request down by its growing size, and a
    // run of 1,000 lookups takes minutes more.
    std::string record = R"({"data":{"img":")" + Escaped("/cover/c.jpg") + R"(","play_url":")" +
                         Escaped("/audio/a.mp3") + R"(","authors":[]}})";
    AudioArrivals audio;
    LoopbackServer server(kPort);
    server.SetRouter([&](const LoopbackRequest& request) {
        std::string target = request.Target();
        LoopbackReply reply;
        if (target.rfind("/yy/", 0) == 0) {
            reply.bytes = LoopbackServer::Response(200, "OK", "Content-Type: text/html\r\n", RecordFor(target, record));
        } else if (target.rfind("/missing/", 0) == 0) {
            reply.bytes = LoopbackServer::Response(404, "Not Found", "", "");
        } else {
            if (target.rfind("/audio/", 0) == 0) audio.Note();
            reply.bytes = LoopbackServer::Response(200, "OK", "Content-Type: application/octet-stream\r\n", "x");
        }
        return reply;
    });

    std::vector<double> bareStart, appStart, firstClick, firstClickAtOnce, warmClick, roundTrips;
    double memoryAfterStart = 0, memoryBeforeClick = 0, memoryRightAfterFirst = 0, memoryAfterFirst = 0;
    double memoryRightAfterAll = 0, memoryAfterAll = 0, memoryAfterBase = 0;
    std::string censusAfterBase, censusAfterAll;
    // The runs after the first `runs` click at once.
    for (int run = 0; run < 2 * runs; ++run) {
        const bool atOnce = run >= runs;
        {
            ChildProcess bare;
            auto t0 = Clock::now();
            bare.Start(Beside(L"bench_bare_window.exe"), L"");
            HWND w = WaitForTopLevelWindow(bare.ProcessId(), L"BareWindow", 20000);
            bareStart.push_back(Ms(Clock::now() - t0));
            if (w) PostMessageW(w, WM_CLOSE, 0, 0);
            bare.Wait(10000);
        }
        ChildProcess app;
        auto t0 = Clock::now();
        app.Start(Beside(L"songlink_e2e.exe"), L"");
        HWND window = WaitForTopLevelWindow(app.ProcessId(), L"WTWindow", 20000);
        appStart.push_back(Ms(Clock::now() - t0));
        if (!window) {
            std::printf("the program's window did not appear\n");
            return 1;
        }
        HWND edit = FindChildWindow(window, L"Edit");
        std::wstring caption = FromGbk("下载");
        HWND button = FindChildWindow(window, L"Button", &caption);
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"#hash=ABC&album_id=1"));
        if (run == 0) memoryAfterStart = ChildPrivateMb(app.ProcessId());
        if (!atOnce) Sleep(static_cast<DWORD>(thinkMs));
        if (run == 0) memoryBeforeClick = ChildPrivateMb(app.ProcessId());

        double first = TimedClick(button, audio);
        if (first < 0 || !app.WaitForOutput("lookup done", 1, 20000)) {
            std::printf("the first lookup did not reach the audio address\n");
            return 1;
        }
        (atOnce ? firstClickAtOnce : firstClick).push_back(first);

        if (run == 0) {
            memoryRightAfterFirst = ChildPrivateMb(app.ProcessId());
            Sleep(kSettleMs);
            memoryAfterFirst = ChildPrivateMb(app.ProcessId());
            for (int i = 2; i <= lookups; ++i) {
                if (i <= kLastWarmClick) {
                    double warm = TimedClick(button, audio);
                    if (warm >= 0) warmClick.push_back(warm);
                } else {
                    PostMessageW(button, BM_CLICK, 0, 0);
                }
                app.WaitForOutput("lookup done", static_cast<size_t>(i), 20000);
                if (i == kBaseLookups) {
                    Sleep(kSettleMs);
                    memoryAfterBase = ChildPrivateMb(app.ProcessId());
                    censusAfterBase = LastCensus(app);
                }
            }
            censusAfterAll = LastCensus(app);
            memoryRightAfterAll = ChildPrivateMb(app.ProcessId());
            Sleep(kSettleMs);
            memoryAfterAll = ChildPrivateMb(app.ProcessId());
        }
        PostMessageW(window, WM_CLOSE, 0, 0);
        app.Wait(15000);

        HINTERNET session = WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
        auto r0 = Clock::now();
        PlainRoundTrip(session, L"/yy/index.php?r=play/getdata&hash=ABC&album_id=1&_=0");
        PlainRoundTrip(session, L"/cover/c.jpg");
        PlainRoundTrip(session, L"/audio/a.mp3");
        roundTrips.push_back(Ms(Clock::now() - r0));
        WinHttpCloseHandle(session);
    }

    LongRun distinct;
    if (!DistinctAddressRun(lookups, &distinct)) {
        std::printf("a lookup of a distinct address did not end\n");
        return 1;
    }

    double bare = Median(bareStart), start = Median(appStart), trips = Median(roundTrips);
    double first = Median(firstClick), firstAtOnce = Median(firstClickAtOnce), warm = Median(warmClick);
    std::printf("start to window shown: %.1f ms; bare Win32 window: %.1f ms; ratio %.2f\n", start, bare, start / bare);
    std::printf("three plain HTTP round trips: %.1f ms\n", trips);
    std::printf("click to audio request, first click %d ms after the window appeared: %.1f ms; ratio %.2f\n", thinkMs,
                first, first / trips);
    std::printf("  first click the instant the window appeared: %.1f ms; ratio %.2f\n", firstAtOnce,
                firstAtOnce / trips);
    std::printf("  warm click (median of clicks 2 ... %d): %.1f ms; ratio %.2f; first / warm %.2f\n", kLastWarmClick,
                warm, warm / trips, first / warm);
    std::printf("private memory: %.1f MB after start, %.1f MB when the first click comes\n", memoryAfterStart,
                memoryBeforeClick);
    std::printf("  after the first lookup %.1f MB, %.1f MB %u s later\n", memoryRightAfterFirst, memoryAfterFirst,
                static_cast<unsigned>(kSettleMs / 1000));
    std::printf("  after %d lookups %.1f MB, %.1f MB %u s later (%.2f x the first)\n", lookups, memoryRightAfterAll,
                memoryAfterAll, static_cast<unsigned>(kSettleMs / 1000), memoryAfterAll / memoryAfterFirst);

    std::printf("  after %d lookups %.1f MB; after %d, %.2f x that\n", kBaseLookups, memoryAfterBase, lookups,
                memoryAfterAll / memoryAfterBase);
    std::printf("  where it is, in KB, right after lookup %d and lookup %d:\n", kBaseLookups, lookups);
    CompareCensus(censusAfterBase, censusAfterAll);
    // The program's share of the growth, against the level after 25.
    const double programGrowthMb =
        (ProgramHeldKb(distinct.censusAfterAll) - ProgramHeldKb(distinct.censusAfterBase)) / 1024.0;
    std::printf("  an address of its own for each lookup (every %dth cover missing, every %dth record without audio):"
                "\n  after %d lookups %.1f MB; after %d, %.2f x that; the program's share of the growth %+.3f MB\n",
                kMissingCoverEvery, kNoAudioEvery, kBaseLookups, distinct.afterBase, lookups,
                distinct.afterAll / distinct.afterBase, programGrowthMb);
    std::printf("  where it is, in KB, right after lookup %d and lookup %d:\n", kBaseLookups, lookups);
    CompareCensus(distinct.censusAfterBase, distinct.censusAfterAll);

    std::string afterAll = "memory_after_" + std::to_string(lookups) + "_lookups";
    std::string afterAllVsFirst = afterAll + "_vs_first";
    std::string afterAllVsBase = afterAll + "_vs_" + std::to_string(kBaseLookups);
    BenchLine("program_start_to_window_shown", start, bare, "ms");
    BenchLine("lookup_first_click", first, trips, "ms");
    BenchLine("lookup_first_click_at_once", firstAtOnce, trips, "ms");
    BenchLine("lookup_warm_click", warm, trips, "ms");
    BenchLine("lookup_first_vs_warm_click", first, warm, "ms");
    BenchLine("memory_after_start", memoryAfterStart, memoryAfterStart, "MB");
    BenchLine("memory_after_first_lookup", memoryAfterFirst, memoryAfterStart, "MB");
    BenchLine(afterAll.c_str(), memoryAfterAll, memoryAfterStart, "MB");
    BenchLine(afterAllVsFirst.c_str(), memoryAfterAll, memoryAfterFirst, "MB");
    BenchLine(afterAllVsBase.c_str(), memoryAfterAll, memoryAfterBase, "MB");
    std::string distinctVsBase =
        "memory_after_" + std::to_string(lookups) + "_distinct_lookups_vs_" + std::to_string(kBaseLookups);
    BenchLine(distinctVsBase.c_str(), distinct.afterAll, distinct.afterBase, "MB");
    std::string programShare = "memory_program_share_after_" + std::to_string(lookups) + "_distinct_lookups_vs_" +
                               std::to_string(kBaseLookups);
    BenchLine(programShare.c_str(), distinct.afterBase + programGrowthMb, distinct.afterBase, "MB");
    return 0;
}
