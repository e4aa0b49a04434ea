// Downloads a 64 MB body from the loopback server with WinHttpVisit and
// WinInetVisit, and as floors, in the same run, a plain read loop of the same
// service into one buffer of the body's size, taken from the heap when the
// loop starts as the routines take theirs (WinHttp in the sizes it reports
// available, WinInet in the same 64 KB pieces). Prints each routine's time
// against its floor and the peak private memory it added, as a multiple of the
// body size. Run under scripts/wine-run.sh: web_download_bench [megabytes] [runs]
#include "app/web/dll_declarations.h"
#include "app/web/winhttp_visit.h"
#include "app/web/wininet_visit.h"
#include "bench/bench_line.h"
#include "runtime/core/dll_commands.h"
#include "runtime/core/heap.h"
#include "tests/app/web/loopback_server.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

using namespace web;

namespace {

// WinInet's constants (its header and WinHttp's cannot be included together).
constexpr DWORD kInternetOpenTypeDirect = 1;
constexpr DWORD kInternetServiceHttp = 3;
constexpr DWORD kInternetFlagReload = 0x80000000;
constexpr DWORD kInternetFlagNoCacheWrite = 0x04000000;

// Committed private memory of the process, by walking its address space
// (Wine leaves the private-usage counter at 0).
size_t PrivateBytes()
{
    size_t total = 0;
    MEMORY_BASIC_INFORMATION info;
    for (uintptr_t address = 0; VirtualQuery(reinterpret_cast<void*>(address), &info, sizeof info) == sizeof info;) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
        uintptr_t next = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
        if (next <= address) break;
        address = next;
    }
    return total;
}

// Samples the private bytes while `work` runs; returns the peak above the
// level before it started. The level is taken once the sampling thread is
// running, so that its own stack is not counted as the work's.
template <typename F>
size_t PeakAdded(F&& work)
{
    std::atomic<bool> done{false};
    std::atomic<size_t> base{0};
    std::atomic<size_t> peak{0};
    std::thread sampler([&] {
        base = PrivateBytes();
        peak = base.load();
        while (!done) {
            size_t now = PrivateBytes();
            if (now > peak) peak = now;
            Sleep(5);
        }
    });
    while (base == 0) Sleep(1);
    work();
    size_t now = PrivateBytes();
    if (now > peak) peak = now;
    done = true;
    sampler.join();
    return peak - base;
}

// <chrono> does not build with GBK as the execution character set; the
// performance counter serves as well.
int64_t Now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double Seconds(int64_t start)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(Now() - start) / static_cast<double>(frequency.QuadPart);
}

// The body's memory, as a plain program gets it: from the heap, not zeroed
// (its pages are first touched by the reads, as the routines' are).
struct Buffer {
    explicit Buffer(size_t n) : bytes(new uint8_t[n]), length(n) {}
    uint8_t* data() { return bytes.get(); }
    size_t size() const { return length; }
    std::unique_ptr<uint8_t[]> bytes;
    size_t length;
};

size_t FloorWinHttp(const std::wstring& host, INTERNET_PORT port, Buffer& buffer)
{
    HINTERNET session = DllCall<HINTERNET>(kWinHttpOpen, L"floor", DWORD{WINHTTP_ACCESS_TYPE_NO_PROXY},
                                           static_cast<const wchar_t*>(nullptr),
                                           static_cast<const wchar_t*>(nullptr), DWORD{0});
    HINTERNET connection = DllCall<HINTERNET>(kWinHttpConnect, session, host.c_str(), port, DWORD{0});
    HINTERNET request = DllCall<HINTERNET>(kWinHttpOpenRequest, connection, L"GET", L"/big",
                                           static_cast<const wchar_t*>(nullptr), static_cast<const wchar_t*>(nullptr),
                                           static_cast<const wchar_t**>(nullptr), DWORD{0});
    DllCall<BOOL>(kWinHttpSendRequest, request, static_cast<const wchar_t*>(nullptr), DWORD{0},
                  static_cast<void*>(nullptr), DWORD{0}, DWORD{0}, DWORD_PTR{0});
    DllCall<BOOL>(kWinHttpReceiveResponse, request, static_cast<void*>(nullptr));
    size_t total = 0;
    for (;;) {
        DWORD available = 0;
        if (!DllCall<BOOL>(kWinHttpQueryDataAvailable, request, &available) || available < 1) break;
        available = static_cast<DWORD>(std::min<size_t>(available, buffer.size() - total));
        if (available == 0) break;
        DWORD read = 0;
        if (!DllCall<BOOL>(kWinHttpReadData, request, buffer.data() + total, available, &read)) break;
        total += read;
    }
    DllCall<BOOL>(kWinHttpCloseHandle, request);
    DllCall<BOOL>(kWinHttpCloseHandle, connection);
    DllCall<BOOL>(kWinHttpCloseHandle, session);
    return total;
}

size_t FloorWinInet(const wchar_t* host, INTERNET_PORT port, Buffer& buffer)
{
    HINTERNET session = DllCall<HINTERNET>(kInternetOpenW, L"floor", kInternetOpenTypeDirect, L"", L"", DWORD{0});
    HINTERNET connection = DllCall<HINTERNET>(kInternetConnectW, session, host, port, L"", L"", kInternetServiceHttp,
                                              DWORD{0}, DWORD_PTR{0});
    HINTERNET request = DllCall<HINTERNET>(kHttpOpenRequestW, connection, L"GET", L"/big", L"HTTP/1.1", L"",
                                           static_cast<const wchar_t**>(nullptr),
                                           DWORD{kInternetFlagReload | kInternetFlagNoCacheWrite}, DWORD_PTR{0});
    DllCall<BOOL>(kHttpSendRequestW, request, L"", DWORD{0}, static_cast<void*>(nullptr), DWORD{0});
    size_t total = 0;
    for (;;) {
        DWORD read = 0;
        DWORD piece = static_cast<DWORD>(std::min<size_t>(64 * 1024, buffer.size() - total));
        if (piece == 0 || !DllCall<BOOL>(kInternetReadFile, request, buffer.data() + total, piece, &read) ||
            read == 0) {
            break;
        }
        total += read;
    }
    DllCall<BOOL>(kInternetCloseHandle, request);
    DllCall<BOOL>(kInternetCloseHandle, connection);
    DllCall<BOOL>(kInternetCloseHandle, session);
    return total;
}

}  // namespace

int main(int argc, char** argv)
{
    uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 64;
    int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    uint64_t size = megabytes << 20;
    InstallDllCommands(kDllCommandCount, kDllLibraryNames, kDllExportNames);
    LoopbackServer server;
    auto pushBig = [&] {
        LoopbackReply reply{"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                            std::to_string(size) + "\r\n\r\n"};
        reply.generatedBodyBytes = size;
        server.Push(reply);
    };
    std::string url = server.Url("/big");

    // Timed runs first, each routine right after its floor so that both see
    // the same machine load; then one run of each routine with the memory
    // sampler (its address-space walks would disturb the timing).
    double httpBest = 1e9, httpFloor = 1e9, inetBest = 1e9, inetFloor = 1e9;
    bool ok = true;
    // Each returns its time until the routine returned; releasing the results
    // comes after, as the floors' buffers are released outside their timing.
    auto httpVisit = [&] {
        ByteSet body = nullptr;
        int64_t start = Now();
        Text text = WinHttpVisit({.address = url.c_str(), .responseBody = &body});
        double seconds = Seconds(start);
        ok &= ByteSetLength(body) == size && TextLength(text) == size;
        RuntimeFree(text);
        RuntimeFree(body);
        return seconds;
    };
    auto inetVisit = [&] {
        int64_t start = Now();
        ByteSet body = WinInetVisit({.address = url.c_str()});
        double seconds = Seconds(start);
        ok &= ByteSetLength(body) == size;
        RuntimeFree(body);
        return seconds;
    };
    for (int run = 0; run < runs; ++run) {
        {
            pushBig();
            int64_t start = Now();
            Buffer buffer(size);  // released after the timing, as the routines' results are
            const bool complete = FloorWinHttp(L"127.0.0.1", server.Port(), buffer) == size;
            httpFloor = std::min(httpFloor, Seconds(start));
            ok &= complete;
        }
        pushBig();
        httpBest = std::min(httpBest, httpVisit());
        {
            pushBig();
            int64_t start = Now();
            Buffer buffer(size);  // released after the timing, as the routines' results are
            const bool complete = FloorWinInet(L"127.0.0.1", server.Port(), buffer) == size;
            inetFloor = std::min(inetFloor, Seconds(start));
            ok &= complete;
        }
        pushBig();
        inetBest = std::min(inetBest, inetVisit());
    }
    pushBig();
    size_t httpPeak = PeakAdded(httpVisit);
    pushBig();
    size_t inetPeak = PeakAdded(inetVisit);
    double mb = static_cast<double>(size);
    std::printf("body %llu MB, best of %d runs\n", static_cast<unsigned long long>(megabytes), runs);
    std::printf("WinHttpVisit  %.3f s, floor %.3f s, ratio %.2f; peak private +%.1f MB = %.2fx body\n", httpBest,
                httpFloor, httpBest / httpFloor, httpPeak / 1048576.0, httpPeak / mb);
    std::printf("WinInetVisit  %.3f s, floor %.3f s, ratio %.2f; peak private +%.1f MB = %.2fx body\n", inetBest,
                inetFloor, inetBest / inetFloor, inetPeak / 1048576.0, inetPeak / mb);
    std::printf("bodies complete: %s\n", ok ? "yes" : "NO");
    if (ok) {
        // The memory floor is the body itself, which the plain loops hold.
        PrintBenchLine("winhttp_visit", httpBest, httpFloor, "s");
        PrintBenchLine("wininet_visit", inetBest, inetFloor, "s");
        PrintBenchLine("winhttp_visit_peak_memory", httpPeak / 1048576.0, mb / 1048576.0, "MB");
        PrintBenchLine("wininet_visit_peak_memory", inetPeak / 1048576.0, mb / 1048576.0, "MB");
    }
    return ok ? 0 : 1;
}
