// A small program the core tests start as a real child process. The first
// command-line word picks what it does; it reports on stdout.
#include "runtime/core/answering_wait.h"
#include "runtime/core/dll_commands.h"
#include "runtime/core/process.h"
#include "runtime/core/program_header.h"
#include "runtime/core/runtime_app.h"
#include "runtime/core/runtime_error.h"
#include "runtime/core/services.h"
#include "runtime/core/window_part.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kStaticData[] = "static";
const char* const kLibraries[] = {"nosuch.dll", "msvcrt.dll", "", "mpr.dll", "songlink_private.dll"};
const char* const kExports[] = {"F", "abs", "NoSuchExportAnywhere", "WNetGetLastErrorA", "PrivateAnswer"};

const ProgramHeader kHeader = {
    3, 0, 90324, nullptr, kStaticData, sizeof kStaticData, nullptr, 0, 0, nullptr, 5, kLibraries, kExports,
};

std::string gScenario;

void Say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

// A window part that only reports the order in which the exit sequence
// reaches it.
void ReleaseDescriptions() { Say("window descriptions released"); }
const WindowPartEntries kWindowPart = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, ReleaseDescriptions,
                                       nullptr, nullptr};

DWORD gExitAskedAt = 0;

void ExitHandler()
{
    if (InAnsweringWait()) Say("exit handler ran inside a wait");
    if (gExitAskedAt != 0) Say(GetTickCount() - gExitAskedAt < 1000 ? "exit handler ran within a second" : "late");
    if (GetModuleHandleW(L"mpr.dll")) Say("exit handler saw bound DLLs still loaded");
    Say(GetCurrentThreadId() == App().mainThreadId ? "exit handler ran on the main thread"
                                                   : "exit handler ran on another thread");
}

DWORD WINAPI RequestExitFromThread(void*)
{
    ExitProcessService(7);
    return 0;
}

DWORD WINAPI RequestExitDuringWait(void*)
{
    Sleep(300);
    gExitAskedAt = GetTickCount();
    ExitProcessService(0);
    return 0;
}

int ProgramEntry()
{
    RuntimeService(6, reinterpret_cast<uintptr_t>(&kHeader), 0);
    RuntimeService(3, reinterpret_cast<uintptr_t>(&ExitHandler), 0);
    RuntimeService(3, reinterpret_cast<uintptr_t>(&ExitHandler), 0);
    if (gScenario == "plain") {
        RegisterWindowPart(&kWindowPart);
        ResolveDllCommand(3);
    } else if (gScenario == "no-window") {
        LoadWindowService(0x52010001);
    } else if (gScenario == "error") {
        ReportRuntimeError(6);
    } else if (gScenario == "missing-dll") {
        ResolveDllCommand(0);
    } else if (gScenario == "missing-export") {
        ResolveDllCommand(2);
    } else if (gScenario == "stack") {
        // A cdecl function called as stdcall leaves its argument on the stack.
        DllCall<int>(1, -5);
        Say("stack imbalance went unnoticed");
    } else if (gScenario == "private") {
        // A library of the program's own, found beside the program.
        std::printf("private answer %d\n", DllCall<int>(4, 41));
        std::fflush(stdout);
    } else if (gScenario == "thread-exit") {
        HANDLE thread = CreateThread(nullptr, 0, RequestExitFromThread, nullptr, 0, nullptr);
        // The request arrives as a sent message, handled while this thread
        // waits in its message loop.
        MSG msg;
        for (;;) {
            if (MsgWaitForMultipleObjects(1, &thread, FALSE, 10000, QS_ALLINPUT) != WAIT_OBJECT_0 + 1) break;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        }
        Say("thread exit was not carried out");
    } else if (gScenario == "thread-exit-in-wait") {
        // A slow download's wait for a completion that does not come, then the
        // pass over queued messages the download routines make after it.
        CreateThread(nullptr, 0, RequestExitDuringWait, nullptr, 0, nullptr);
        HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        const auto waited = SystemNotify(2019, reinterpret_cast<uintptr_t>(never), 30000);
        Say(waited == WAIT_TIMEOUT ? "wait given up" : "wait ended otherwise");
        SystemNotify(2018, 0, 0);
        Say("thread exit was not carried out");
    }
    EndProgram();
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    gScenario = commandLine ? commandLine : "";
    while (!gScenario.empty() && gScenario.back() == ' ') gScenario.pop_back();
    return RunRuntimeApp(ProgramEntry);
}
