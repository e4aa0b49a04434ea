// The application object: start-up, the message loop with its idle phases,
// and the one exit sequence. Stands in for a framework application class; the
// orders of start, loop and exit are the runtime's contract with programs.
#pragma once

#include "runtime/core/program_header.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct IdleCallback {
    void* window;  // HWND, borrowed
    void (*callback)(uintptr_t);
    uintptr_t parameter;
};

// Work done ahead of need while the program waits for input; see AddIdleTask.
struct IdleTask {
    bool (*step)(void* context);
    void* context;  // borrowed
};

struct RuntimeApp {
    void* heap = nullptr;  // the process heap, borrowed
    uint32_t runMode = 0;
    uint32_t reserved = 0;
    uint32_t buildNumber = 0;  // the header's build number plus 1
    bool oleInitialized = false;
    // The program's folder as the system spells it, for every call to the
    // system: a folder name may hold characters GBK lacks (a Polish or
    // Vietnamese user name in a downloads path), and a path may be longer
    // than 260 characters.
    std::wstring programFolder;
    // The same as GBK texts, for the program's own use.
    std::string programDirectory;           // module path up to the last "\"
    std::string programFileName;            // the part after it
    std::string programDirectoryWithSlash;  // with its trailing "\"
    void* hiddenOwner = nullptr;            // HWND of "_ZR_HideOwner", owned
    uint32_t mainThreadId = 0;
    std::vector<SupportLibraryRecord> supportLibraries;
    std::vector<uintptr_t> supportLibraryStates;
    std::vector<IdleCallback> idleCallbacks;
    std::vector<IdleTask> idleTasks;
    bool modalLoop = false;
    bool exiting = false;
    bool startRoutineFinished = false;
};

RuntimeApp& App();

// Sets the program's folder (wide) and file name, and their GBK texts, from
// the full path of its module.
void SetProgramPath(std::wstring_view modulePath);

// The process's start: the initialise-instance step computes the program
// directory and calls the program's entry routine; then the exit-instance
// step runs the exit sequence with code 0. Returns the process exit code.
int RunRuntimeApp(int (*programEntry)());

// LoadWindowService: load and show a window by identifier, or raise
// "载入启动窗口失败".
void LoadWindowService(uint32_t windowId);

// End of the start routine: runs the message loop while a loaded window lives.
void EndProgram();

// The exit sequence (all twelve steps) without terminating the process.
void RunExitSequence(int32_t code);

// Idle callbacks run at the start of every idle phase while their window lives.
void AddIdleCallback(void* window, void (*callback)(uintptr_t), uintptr_t parameter);

// Idle tasks are the framework's own idle work: each call of `step` does one
// short piece and returns true while pieces remain. One step runs per round
// of an idle phase, so input that arrives meanwhile waits at most for the step
// in hand, and the windows' idle routines run once no task is left. A
// finished task is dropped, the exit sequence drops the rest; `context` is
// borrowed, so its owner removes the task before letting it go.
void AddIdleTask(bool (*step)(void* context), void* context);
void RemoveIdleTask(void* context);

// The cross-thread exit request sent to the hidden owner window.
constexpr uint32_t kExitRequestMessage = 0x83E7;

// Calls `call` on the window thread from the message queue, as a posted
// message: wherever the program next lets queued messages through, after the
// messages posted before it and before any input. False when it cannot be
// queued (no hidden owner window).
bool RunLater(void (*call)());
constexpr uint32_t kRunLaterMessage = 0x83E6;

// The message loop. Normal mode ends on the quit message; modal mode also
// returns when App().modalLoop is cleared, and leaves the quit message for
// the outer loop.
void RunMessageLoop(bool modal);
