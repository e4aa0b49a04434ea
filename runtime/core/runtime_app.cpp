#include "runtime/core/runtime_app.h"

#include "runtime/core/answering_wait.h"
#include "runtime/core/dll_commands.h"
#include "runtime/core/exit_handlers.h"
#include "runtime/core/facility_libraries.h"
#include "runtime/core/gbk_wide.h"
#include "runtime/core/heap.h"
#include "runtime/core/process.h"
#include "runtime/core/runtime_error.h"
#include "runtime/core/runtime_init.h"
#include "runtime/core/services.h"
#include "runtime/core/system_libraries.h"
#include "runtime/core/window_part.h"

#include <ole2.h>
#include <windows.h>

#include <algorithm>
#include <atomic>

namespace {

RuntimeApp gApp;

// Placeholder hooks of the program code; they have no visible effect here but
// are reset at initialisation like the rest of the application object.
int32_t HookReturnsZero() { return 0; }
void HookDoesNothing() {}
struct CallbackHooks {
    int32_t (*first)() = nullptr;
    void (*second)() = nullptr;
    void (*third)() = nullptr;
} gHooks;

// The running program's full path, however long: GetModuleFileNameW fills
// the whole buffer (and cuts the path) when it is too small.
std::wstring ModuleFileName()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

// Calls queued by RunLater. The message that runs them carries nothing, so
// one posted by another program runs only what this one queued.
std::vector<void (*)()> gQueuedCalls;

void RunQueuedCalls()
{
    std::vector<void (*)()> calls;
    calls.swap(gQueuedCalls);
    for (auto call : calls) call();
}

// An exit asked for from another thread while the window thread waits
// answering: the whole exit sequence (exit handlers, libraries freed, windows
// destroyed, OLE ended) must not run nested inside the waiting download. The
// wait gives up as at its limit, and the request goes to the queue, first of
// all, once the outermost wait has unwound.
int32_t gDeferredExitCode = 0;
constexpr LRESULT kExitDeferred = 0x5E7;
constexpr LRESULT kExitUnderway = 0x5E8;

// The one thread that ends the process, claimed once: the window thread as
// it starts the exit sequence, or another thread whose request the window
// thread could not take. The sequence and a second thread's ExitProcess
// never run at the same time.
std::atomic<DWORD> gExitingThread{0};

bool ClaimExit()
{
    DWORD claimedBy = 0;
    const DWORD self = GetCurrentThreadId();
    return gExitingThread.compare_exchange_strong(claimedBy, self) || claimedBy == self;
}

// The process ends from the thread that claimed the exit; nothing more is
// asked of this one but what is sent to its windows meanwhile (the exit
// sequence destroying them among it), as it would answer blocked in a send.
[[noreturn]] void AwaitExit()
{
    for (;;) {
        MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_SENDMESSAGE, 0);
        MSG sent;
        PeekMessageW(&sent, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

void QueueDeferredExit()
{
    if (!gApp.hiddenOwner || !PostMessageW(static_cast<HWND>(gApp.hiddenOwner), kExitRequestMessage,
                                           static_cast<WPARAM>(gDeferredExitCode), 0)) {
        ExitProcessService(gDeferredExitCode);
    }
}

LRESULT CALLBACK HiddenOwnerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == kExitRequestMessage) {
        // Already ending (an exit handler's message box lets the request in):
        // the sequence runs once; the asking thread ends itself.
        if (gApp.exiting) return kExitUnderway;
        if (InAnsweringWait()) {
            gDeferredExitCode = static_cast<int32_t>(wParam);
            AbandonWaits(&QueueDeferredExit);
            return kExitDeferred;
        }
        ExitProcessService(static_cast<int32_t>(wParam));
    }
    if (msg == kRunLaterMessage) {
        RunQueuedCalls();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void CreateHiddenOwner()
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = HiddenOwnerProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = L"_ZR_HideOwner";
    RegisterClassW(&wc);
    gApp.hiddenOwner =
        CreateWindowExW(WS_EX_TOOLWINDOW, L"_ZR_HideOwner", L"", 0, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
}

// ProcessEvents: everything already waiting except a quit message, which
// stays in the queue for the loop to see.
void ProcessWaitingMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        if (msg.message == WM_QUIT) return;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return;
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        const WindowPartEntries* part = WindowPart();
        if (part && part->preTranslateMessage && part->preTranslateMessage(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// ---- idle ----------------------------------------------------------------

struct IdleState {
    DWORD periodStart = 0;
    std::vector<uint32_t> finished;
    bool frameworkWorkPending = false;
} gIdle;

void RunIdleCallbacks()
{
    auto& list = gApp.idleCallbacks;
    for (size_t i = list.size(); i-- > 0;) {
        if (i >= list.size()) continue;
        if (IsWindow(static_cast<HWND>(list[i].window))) {
            IdleCallback entry = list[i];
            entry.callback(entry.parameter);
        } else {
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

// The framework's own idle work: one round of housekeeping (a busy stretch
// is over, so the heap gives back its spare block), then a step of the first
// idle task per round until none is left.
bool FrameworkIdle(long count)
{
    if (count < 1) {
        RuntimeHeapTrim();
        return true;
    }
    auto& tasks = gApp.idleTasks;
    if (tasks.empty()) return false;
    IdleTask task = tasks.front();
    if (!task.step(task.context)) RemoveIdleTask(task.context);
    return !tasks.empty();
}

bool IdleOverride(long count)
{
    if (count == 0) {
        gIdle.periodStart = GetTickCount();
        gIdle.finished.clear();
        gIdle.frameworkWorkPending = true;
    }
    if (gIdle.frameworkWorkPending) {
        gIdle.frameworkWorkPending = FrameworkIdle(count);
        return true;
    }
    if (count <= 1) return true;
    const WindowPartEntries* part = WindowPart();
    if (!part || !part->loadedWindows || !part->windowIdle) return false;
    uint32_t ids[256];
    size_t n = std::min<size_t>(part->loadedWindows(ids, std::size(ids)), std::size(ids));
    DWORD elapsed = GetTickCount() - gIdle.periodStart;
    bool more = false;
    for (size_t i = 0; i < n; ++i) {
        if (std::find(gIdle.finished.begin(), gIdle.finished.end(), ids[i]) != gIdle.finished.end()) continue;
        if (part->windowIdle(ids[i], elapsed))
            more = true;
        else
            gIdle.finished.push_back(ids[i]);
    }
    return more;
}

// Mouse moves without movement, paints and the system timer do not restart
// the idle phase; everything else does.
bool IsIdleMessage(const MSG& msg)
{
    static POINT lastPoint = {-1, -1};
    static UINT lastMessage = 0;
    if (msg.message == WM_MOUSEMOVE || msg.message == WM_NCMOUSEMOVE) {
        bool same = lastMessage == msg.message && lastPoint.x == msg.pt.x && lastPoint.y == msg.pt.y;
        lastPoint = msg.pt;
        lastMessage = msg.message;
        return !same;
    }
    return msg.message != WM_PAINT && msg.message != 0x0118;
}

enum class Fetched { kMessage, kQuit, kNothing };

// Fetches and dispatches one message. kNothing when the fetch itself failed:
// `msg` then holds nothing to look at.
Fetched PumpMessage(MSG& msg)
{
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) return Fetched::kNothing;
    if (got == 0) return Fetched::kQuit;
    const WindowPartEntries* part = WindowPart();
    if (!(part && part->preTranslateMessage && part->preTranslateMessage(&msg))) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return Fetched::kMessage;
}

}  // namespace

RuntimeApp& App() { return gApp; }

void SetProgramPath(std::wstring_view modulePath)
{
    // Split wide: no trail byte of a double-byte character can pass for the
    // "\" there.
    size_t cut = modulePath.find_last_of(L'\\');
    std::wstring_view folder = cut == std::wstring_view::npos ? std::wstring_view() : modulePath.substr(0, cut);
    gApp.programFolder = folder;
    gApp.programDirectory = WideToGbk(folder);
    gApp.programFileName = WideToGbk(cut == std::wstring_view::npos ? modulePath : modulePath.substr(cut + 1));
    gApp.programDirectoryWithSlash = gApp.programDirectory + "\\";
}

bool RunLater(void (*call)())
{
    if (!gApp.hiddenOwner) return false;
    // One message runs every call queued before it is handled.
    if (gQueuedCalls.empty() && !PostMessageW(static_cast<HWND>(gApp.hiddenOwner), kRunLaterMessage, 0, 0)) {
        return false;
    }
    gQueuedCalls.push_back(call);
    return true;
}

void AddIdleCallback(void* window, void (*callback)(uintptr_t), uintptr_t parameter)
{
    gApp.idleCallbacks.push_back({window, callback, parameter});
}

void AddIdleTask(bool (*step)(void* context), void* context) { gApp.idleTasks.push_back({step, context}); }

void RemoveIdleTask(void* context)
{
    auto& tasks = gApp.idleTasks;
    tasks.erase(std::remove_if(tasks.begin(), tasks.end(), [&](const IdleTask& t) { return t.context == context; }),
                tasks.end());
}

void InitializeRuntime(const ProgramHeader* header)
{
    // Before OLE or anything else loads a library on the program's behalf.
    RestrictLibrarySearch();
    gApp.heap = GetProcessHeap();
    if (header) {
        gApp.runMode = header->runMode;
        gApp.reserved = header->reserved;
        gApp.buildNumber = header->buildNumber + 1;
    }
    if (!gApp.oleInitialized && SUCCEEDED(OleInitialize(nullptr))) gApp.oleInitialized = true;

    SetProgramPath(ModuleFileName());
    if (!gApp.programFolder.empty()) {
        // Relative file names of the program mean its own folder. The search
        // for libraries no longer includes the current folder (above), so this
        // lets nothing planted there load.
        SetCurrentDirectoryW(gApp.programFolder.c_str());
    }

    gHooks = CallbackHooks{};
    CreateHiddenOwner();
    gApp.mainThreadId = GetCurrentThreadId();
    SetProcessEventsHandler(ProcessWaitingMessages);
    SetWaitAnsweringHandler(AnsweringWait);
    if (!header) return;

    SetStaticDataRange(header->staticDataStart, header->staticDataSize);
    InstallDllCommands(header->dllCommandCount, header->dllLibraryNames, header->dllExportNames);

    gApp.supportLibraries.clear();
    gApp.supportLibraryStates.clear();
    for (uint32_t i = 0; i < header->supportLibraryCount; ++i) {
        SupportLibraryRecord record = header->supportLibraries[i];
        if (record.notify) record.notify(1, reinterpret_cast<uintptr_t>(&SystemNotify), 0);
        gApp.supportLibraries.push_back(record);
        gApp.supportLibraryStates.push_back(0);
    }

    const WindowPartEntries* part = WindowPart();
    if (part && part->readFormBlock && header->formDataStart) {
        // A damaged form description leaves the registry empty; loading the
        // start-up window then fails with its own runtime error.
        part->readFormBlock(header->formDataStart, header->formDataSize, header->codeBase);
    }
}

void LoadWindowService(uint32_t windowId)
{
    const WindowPartEntries* part = WindowPart();
    if (!part || !part->loadWindow || !part->loadWindow(windowId)) RaiseRuntimeError("载入启动窗口失败", 0);
}

void RunMessageLoop(bool modal)
{
    for (;;) {
        bool idle = true;
        long count = 0;
        // Only a message that a peek has reported is ever looked at: the idle
        // phase can end with no message waiting.
        MSG peek;
        bool peeked = false;
        while (idle && !(peeked = PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE))) {
            RunIdleCallbacks();
            bool more = IdleOverride(count);
            if (modal && !gApp.modalLoop) return;
            if (!more) idle = false;
            ++count;
        }
        do {
            // A modal loop leaves the quit message for the loop outside it.
            if (modal && (!gApp.modalLoop || (peeked && peek.message == WM_QUIT))) return;
            MSG msg;
            Fetched fetched = PumpMessage(msg);
            if (fetched == Fetched::kQuit) {
                if (modal) PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            if (fetched == Fetched::kMessage && IsIdleMessage(msg)) {
                idle = true;
                count = 0;
            }
        } while ((peeked = PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE)));
    }
}

void EndProgram()
{
    gApp.startRoutineFinished = true;
    const WindowPartEntries* part = WindowPart();
    if (part && part->anyWindowAlive && part->anyWindowAlive()) RunMessageLoop(false);
}

void RunExitSequence(int32_t code)
{
    CountRuntimeError();
    if (GetCurrentThreadId() != gApp.mainThreadId) {
        LRESULT answer = 0;
        if (gApp.hiddenOwner)
            answer =
                SendMessageW(static_cast<HWND>(gApp.hiddenOwner), kExitRequestMessage, static_cast<WPARAM>(code), 0);
        // Put off until the main thread's wait has unwound: the exit runs
        // there, however long a modal loop or an error box keeps the main
        // thread inside it, as it would had this thread stayed blocked in
        // the send.
        // Already ending: this thread ends at once rather than wait, so that
        // an exit step waiting for it (a worker joined) cannot wait forever.
        if (answer == kExitUnderway) ExitThread(static_cast<DWORD>(code));
        if (answer == kExitDeferred || !ClaimExit()) AwaitExit();
        ExitProcess(static_cast<UINT>(code));
    }
    if (!ClaimExit()) AwaitExit();
    gApp.exiting = true;
    gApp.idleCallbacks.clear();
    gApp.idleTasks.clear();
    const WindowPartEntries* part = WindowPart();
    if (part && part->releaseWindowDescriptions) part->releaseWindowDescriptions();
    RunExitHandlers();
    for (size_t i = 0; i < gApp.supportLibraries.size(); ++i) {
        if (gApp.supportLibraries[i].notify) gApp.supportLibraries[i].notify(6, gApp.supportLibraryStates[i], 0);
    }
    gApp.supportLibraries.clear();
    gApp.supportLibraryStates.clear();
    ReleaseDllCommands();
    SetUserDllDirectory(std::string());
    ClearStaticDataRange();
    if (gApp.hiddenOwner) {
        DestroyWindow(static_cast<HWND>(gApp.hiddenOwner));
        gApp.hiddenOwner = nullptr;
    }
    if (part && part->releaseResources) part->releaseResources();
    if (gApp.oleInitialized) {
        OleUninitialize();
        gApp.oleInitialized = false;
    }
    // Last: a facility's library may carry the code of windows and COM
    // objects (the control container's), which the hidden owner's end and
    // OLE's release above still call into. One whose windows outlive this,
    // as after a runtime error, stays for the process's end.
    ReleaseFacilityLibraries();
}

void ExitProcessService(int32_t code)
{
    RunExitSequence(code);
    ExitProcess(static_cast<UINT>(code));
}

void ShowRuntimeErrorBox(const char* gbkText)
{
    MessageBoxW(nullptr, GbkToWide(gbkText).c_str(), GbkToWide("错误").c_str(), MB_ICONERROR | MB_OK);
}

int RunRuntimeApp(int (*programEntry)())
{
    // Initialise-instance: the library search narrowed, the directory, the
    // placeholder hooks, then the program's entry routine.
    RestrictLibrarySearch();
    SetProgramPath(ModuleFileName());
    gHooks.first = HookReturnsZero;
    gHooks.second = HookDoesNothing;
    gHooks.third = HookDoesNothing;
    programEntry();
    // Exit-instance: the exit sequence with code 0, then the framework's own
    // result, the quit message's parameter.
    RunExitSequence(0);
    return 0;
}
