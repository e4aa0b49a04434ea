// The program as a user meets it, timed against floors measured in the same
// run: from process start to the window shown (against a bare Win32 program
// that opens a window), and from the click on "下载" to the browser's request
// for the audio address (against three plain HTTP round trips to the same
// loopback server, the lookup's network floor). Also the program's private
// memory after start and after 100 lookups.
//
// songlink_bench [runs] [lookups]   (run under scripts/wine-run.sh; songlink_e2e.exe and
// bench_bare_window.exe must sit beside it)
#include "tests/app/e2e/window_driver.h"
#include "tests/app/web/loopback_server.h"
#include "tests/support/child_process.h"
#include "tests/support/message_box_probe.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint16_t kPort = SONGLINK_TEST_PORT;

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

// Committed private memory of another process, summed page range by range
// (Wine leaves the process counters' private usage at 0).
size_t PrivateBytes(HANDLE process)
{
    size_t total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char* at = nullptr; VirtualQueryEx(process, at, &region, sizeof region) == sizeof region;
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        if (region.RegionSize == 0) break;
    }
    return total;
}

size_t ChildPrivateBytes(uint32_t pid)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process) return 0;
    size_t bytes = PrivateBytes(process);
    CloseHandle(process);
    return bytes;
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

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    int lookups = argc > 2 ? std::max(2, std::atoi(argv[2])) : 100;
    std::string record = R"({"data":{"img":")" + Escaped("/cover/c.jpg") + R"(","play_url":")" +
                         Escaped("/audio/a.mp3") + R"(","authors":[]}})";
    LoopbackServer server(kPort);
    server.SetRouter([&](const LoopbackRequest& request) {
        std::string target = request.Target();
        LoopbackReply reply;
        if (target.rfind("/yy/", 0) == 0)
            reply.bytes = LoopbackServer::Response(200, "OK", "Content-Type: text/html\r\n", record);
        else
            reply.bytes = LoopbackServer::Response(200, "OK", "Content-Type: application/octet-stream\r\n", "x");
        return reply;
    });

    std::vector<double> bareStart, appStart, lookup, roundTrips;
    size_t memoryAfterStart = 0;
    std::vector<std::pair<int, size_t>> memoryAfterLookups;
    for (int run = 0; run < runs; ++run) {
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
        if (run == 0) memoryAfterStart = ChildPrivateBytes(app.ProcessId());

        size_t before = server.Requests().size();
        auto c0 = Clock::now();
        PostMessageW(button, BM_CLICK, 0, 0);
        WaitUntil(
            [&] {
                auto all = server.Requests();
                for (size_t i = before; i < all.size(); ++i) {
                    if (all[i].Target().rfind("/audio/", 0) == 0) return true;
                }
                return false;
            },
            20000);
        lookup.push_back(Ms(Clock::now() - c0));
        app.WaitForOutput("lookup done", 1, 20000);

        if (run == 0) {
            for (int i = 2; i <= lookups; ++i) {
                PostMessageW(button, BM_CLICK, 0, 0);
                app.WaitForOutput("lookup done", static_cast<size_t>(i), 20000);
                if (i % 100 == 0 || i == lookups) memoryAfterLookups.push_back({i, ChildPrivateBytes(app.ProcessId())});
            }
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

    double bare = Median(bareStart), start = Median(appStart), click = Median(lookup), trips = Median(roundTrips);
    std::printf("start to window shown: %.1f ms; bare Win32 window: %.1f ms; ratio %.2f\n", start, bare, start / bare);
    std::printf("click to audio request: %.1f ms; three plain HTTP round trips: %.1f ms; ratio %.2f\n", click, trips,
                click / trips);
    std::printf("private memory: %.1f MB after start", memoryAfterStart / 1048576.0);
    for (auto [n, bytes] : memoryAfterLookups) std::printf(", %.1f MB after %d lookups", bytes / 1048576.0, n);
    std::printf("\n");
    return 0;
}
