// Drives a built copy of the tool from outside, for the scripts' own tests:
// starts it, waits for its window, and closes it again. Given an address and a
// log file it also pastes the address, clicks "下载" and waits until every
// given text has appeared in the log (the server's record of the requests),
// and until the cover has replaced the window's background.
//
//   drive_songlink <program.exe> [<address> <log file> <text>...]
//
// A program or log file given as a Unix path is reached through Wine's Z: drive. Exits with
// the program's own exit code when everything was seen, otherwise 2 and a line
// saying what was missing.
#include "tests/app/e2e/window_driver.h"
#include "tests/support/child_process.h"
#include "tests/support/message_box_probe.h"

#include <windows.h>

#include <shellapi.h>  // after windows.h, which it needs

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kFailed = 2;

// A point of the client area that no unit covers (the cover shows there).
constexpr int kBareX = 20;
constexpr int kBareY = 70;

std::wstring WindowsPath(std::wstring path)
{
    if (!path.empty() && path[0] == L'/') {
        for (wchar_t& c : path) {
            if (c == L'/') c = L'\\';
        }
        path = L"Z:" + path;
    }
    return path;
}

std::string ReadWholeFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

int Fail(const char* what)
{
    std::printf("drive_songlink: %s\n", what);
    std::fflush(stdout);
    return kFailed;
}

int Drive(const std::vector<std::wstring>& args)
{
    ChildProcess program;
    if (!program.Start(WindowsPath(args[0]), L"")) return Fail("the program did not start");
    HWND window = WaitForTopLevelWindow(program.ProcessId(), L"WTWindow", 30000);
    if (!window) return Fail("the program's window did not appear");
    std::wstring caption = FromGbk("下载");
    HWND edit = FindChildWindow(window, L"Edit");
    HWND button = FindChildWindow(window, L"Button", &caption);
    if (!edit || !button) return Fail("the window has no address box or no download button");
    std::printf("drive_songlink: window shown\n");

    if (args.size() >= 3) {
        std::wstring log = WindowsPath(args[2]);
        // The window first shows its plain face; the cover replaces it.
        const COLORREF face = GetSysColor(COLOR_BTNFACE);
        if (!WaitUntil([&] { return NearColour(ClientPixel(window, kBareX, kBareY), face, 12); }, 10000))
            return Fail("the window never showed its plain face");
        TypeText(edit, args[1]);
        if (!WaitUntil([&] { return WindowText(edit) == args[1]; }, 5000)) return Fail("the address was not typed");
        PostMessageW(button, BM_CLICK, 0, 0);
        for (size_t i = 3; i < args.size(); ++i) {
            std::string wanted(args[i].begin(), args[i].end());  // ASCII texts only
            bool seen = WaitUntil(
                [&] {
                    if (FindAndDismissMessageBox(program.ProcessId(), FromGbk("信息：")).found) return true;
                    return ReadWholeFile(log).find(wanted) != std::string::npos;
                },
                30000);
            if (!seen || ReadWholeFile(log).find(wanted) == std::string::npos) {
                std::printf("drive_songlink: the log never showed \"%s\"\n", wanted.c_str());
                return Fail("lookup incomplete");
            }
            std::printf("drive_songlink: the log shows \"%s\"\n", wanted.c_str());
        }
        if (!WaitUntil([&] { return !NearColour(ClientPixel(window, kBareX, kBareY), face, 12); }, 10000))
            return Fail("the cover did not become the window's background");
        COLORREF shown = ClientPixel(window, kBareX, kBareY);
        std::printf("drive_songlink: the cover is the window's background (%d,%d: %d %d %d)\n", kBareX, kBareY,
                    GetRValue(shown), GetGValue(shown), GetBValue(shown));
    }

    PostMessageW(window, WM_CLOSE, 0, 0);
    if (!program.Wait(20000)) return Fail("the program did not end after its window was closed");
    std::printf("drive_songlink: the program ended with exit code %u\n", program.ExitCode());
    return static_cast<int>(program.ExitCode());
}

}  // namespace

int main()
{
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv || count < 2 || count == 3) {
        std::printf("usage: drive_songlink <program.exe> [<address> <log file> <text>...]\n");
        return kFailed;
    }
    std::vector<std::wstring> args(argv + 1, argv + count);
    LocalFree(argv);
    int rc = Drive(args);
    std::fflush(stdout);
    return rc;
}
