// The message loop and ProcessEvents on a real message queue.
#include "runtime/core/runtime_app.h"
#include "runtime/core/runtime_init.h"
#include "runtime/core/services.h"
#include "runtime/core/window_part.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

int gUserMessages = 0;

LRESULT CALLBACK CountingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_USER) ++gUserMessages;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND MakeCountingWindow()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = CountingProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"SlLoopTestCounter";
    RegisterClassW(&wc);
    return CreateWindowExW(0, L"SlLoopTestCounter", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

class MessageLoop : public testing::Test {
protected:
    static void SetUpTestSuite() { InitializeRuntime(nullptr); }
    void SetUp() override
    {
        gUserMessages = 0;
        window_ = MakeCountingWindow();
        MSG drain;
        while (PeekMessageW(&drain, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    void TearDown() override
    {
        RegisterWindowPart(nullptr);
        DestroyWindow(window_);
    }
    HWND window_ = nullptr;
};

TEST_F(MessageLoop, ProcessEventsDispatchesWaitingMessagesAndLeavesTheQuit)
{
    for (int i = 0; i < 3; ++i) PostMessageW(window_, WM_USER, 0, 0);
    PostQuitMessage(5);
    PostMessageW(window_, WM_USER, 0, 0);
    SystemNotify(2018, 0, 0);
    // The quit message comes after everything else and stops the dispatching.
    EXPECT_EQ(gUserMessages, 4);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 5u);
}

// A window part with one loaded window whose idle routine has three rounds of
// work, then ends the loop.
int gIdleCalls = 0;
bool AlwaysAlive() { return true; }
size_t OneWindow(uint32_t* ids, size_t max)
{
    if (max > 0) ids[0] = 0x52010001;
    return 1;
}
bool ThreeRoundsOfIdleWork(uint32_t, uint32_t)
{
    if (++gIdleCalls == 3) PostQuitMessage(0);
    return gIdleCalls < 3;
}
const WindowPartEntries kIdlePart = {nullptr, nullptr, AlwaysAlive, OneWindow, ThreeRoundsOfIdleWork,
                                     nullptr, nullptr, nullptr,     nullptr};

int gCallbackRuns = 0;
void CountCallback(uintptr_t parameter) { gCallbackRuns += static_cast<int>(parameter); }

TEST_F(MessageLoop, IdleRoutinesRunUntilTheyHaveNoMoreWork)
{
    gIdleCalls = 0;
    gCallbackRuns = 0;
    RegisterWindowPart(&kIdlePart);
    AddIdleCallback(window_, CountCallback, 1);
    HWND gone = MakeCountingWindow();
    DestroyWindow(gone);
    AddIdleCallback(gone, CountCallback, 100);  // its window is gone: dropped, never run
    PostMessageW(window_, WM_USER, 0, 0);
    EndProgram();  // returns on the quit message posted by the third idle round
    EXPECT_EQ(gIdleCalls, 3);
    EXPECT_EQ(gUserMessages, 1);
    EXPECT_GE(gCallbackRuns, 1);
    EXPECT_LT(gCallbackRuns, 100);
    App().idleCallbacks.clear();
}

TEST_F(MessageLoop, EndProgramWithoutALiveWindowReturnsAtOnce)
{
    PostMessageW(window_, WM_USER, 0, 0);
    EndProgram();  // no window part: nothing to loop for
    EXPECT_EQ(gUserMessages, 0);
    EXPECT_TRUE(App().startRoutineFinished);
}

// The loop ends only on a quit message it has received: never on what a peek
// that found nothing left in its structure, nor on a failed fetch. A modal
// loop leaves the quit for the loop outside it, with its code.
//
// What Windows leaves in the structure after an empty peek or a failed
// fetch is not defined, and a fetch without a window filter fails only on a
// bad structure. The test puts stand-ins in this program's import slots of
// the two functions to make both happen: an empty peek leaves a quit message
// behind, and the first fetches fail.
using PeekFn = decltype(&PeekMessageW);
using GetFn = decltype(&GetMessageW);
extern "C" PeekFn gPeekSlot asm("__imp__PeekMessageW@20");
extern "C" GetFn gGetSlot asm("__imp__GetMessageW@16");
PeekFn gRealPeek = nullptr;
GetFn gRealGet = nullptr;
int gFailingFetches = 0;

BOOL WINAPI PeekLeavingAQuitBehind(MSG* msg, HWND hwnd, UINT first, UINT last, UINT remove)
{
    const BOOL got = gRealPeek(msg, hwnd, first, last, remove);
    if (!got) *msg = MSG{nullptr, WM_QUIT, 0, 0, 0, {}};
    return got;
}

BOOL WINAPI GetFailingFirst(MSG* msg, HWND hwnd, UINT first, UINT last)
{
    if (gFailingFetches == 0) return gRealGet(msg, hwnd, first, last);
    --gFailingFetches;
    *msg = MSG{nullptr, WM_QUIT, 0, 0, 0, {}};
    return -1;
}

template <typename Fn> void WriteSlot(Fn& slot, Fn value)
{
    DWORD old = 0;
    VirtualProtect(&slot, sizeof slot, PAGE_READWRITE, &old);
    slot = value;
    VirtualProtect(&slot, sizeof slot, old, &old);
}

struct StandIns {
    StandIns()
    {
        gRealPeek = gPeekSlot;
        gRealGet = gGetSlot;
        WriteSlot(gPeekSlot, &PeekLeavingAQuitBehind);
        WriteSlot(gGetSlot, &GetFailingFirst);
    }
    ~StandIns()
    {
        WriteSlot(gPeekSlot, gRealPeek);
        WriteSlot(gGetSlot, gRealGet);
    }
};

bool NoIdleWork(uint32_t, uint32_t) { return false; }
const WindowPartEntries kQuietPart = {nullptr, nullptr, AlwaysAlive, OneWindow, NoIdleWork,
                                      nullptr, nullptr, nullptr,     nullptr};

struct Arrival {
    HWND window;
    DWORD thread;
    WPARAM code;
};

// After the loop's idle phase has found nothing: one message, then the quit.
DWORD WINAPI PostFromAnotherThread(void* param)
{
    const Arrival* a = static_cast<const Arrival*>(param);
    Sleep(100);
    PostMessageW(a->window, WM_USER, 0, 0);
    PostThreadMessageW(a->thread, WM_QUIT, a->code, 0);
    return 0;
}

TEST_F(MessageLoop, TheLoopEndsOnlyOnAQuitItReceived)
{
    struct Case {
        const char* what;
        bool modal;
        bool fromAnotherThread;  // else both messages wait before the loop starts
        int failingFetches;
        WPARAM code;
    } const cases[] = {
        {"modal, the quit waiting", true, false, 0, 9},
        {"modal, the quit fetched after an empty idle phase", true, true, 0, 11},
        {"modal, a failed fetch first", true, false, 1, 7},
        {"outermost, a failed fetch first", false, false, 1, 5},
    };
    RegisterWindowPart(&kQuietPart);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gUserMessages = 0;
        Arrival arrival{window_, GetCurrentThreadId(), c.code};
        HANDLE thread = nullptr;
        if (c.fromAnotherThread) {
            thread = CreateThread(nullptr, 0, PostFromAnotherThread, &arrival, 0, nullptr);
        } else {
            PostMessageW(window_, WM_USER, 0, 0);
            PostQuitMessage(static_cast<int>(c.code));
        }
        {
            StandIns standIns;
            gFailingFetches = c.failingFetches;
            App().modalLoop = c.modal;
            RunMessageLoop(c.modal);
            App().modalLoop = false;
        }
        if (thread) {
            WaitForSingleObject(thread, 5000);
            CloseHandle(thread);
        }
        EXPECT_EQ(gUserMessages, 1);
        MSG msg;
        if (c.modal) {
            ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
            EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
            EXPECT_EQ(msg.wParam, c.code);
        }
        EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "left behind: " << msg.message;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
}

// An idle task of three steps whose second step lets input arrive, and a
// window idle routine that ends the loop.
struct TaskLog {
    HWND window;
    int steps = 0;
    int userMessagesAtStep[3] = {};
    int stepsWhenWindowIdleRan = -1;
} gTaskLog;
bool ThreeSteps(void* context)
{
    auto* log = static_cast<TaskLog*>(context);
    log->userMessagesAtStep[log->steps] = gUserMessages;
    if (log->steps == 1) PostMessageW(log->window, WM_USER, 0, 0);
    return ++log->steps < 3;
}
bool NeverRuns(void*)
{
    ADD_FAILURE() << "a removed idle task ran";
    return false;
}
bool QuitOnWindowIdle(uint32_t, uint32_t)
{
    gTaskLog.stepsWhenWindowIdleRan = gTaskLog.steps;
    PostQuitMessage(0);
    return false;
}
const WindowPartEntries kTaskPart = {nullptr, nullptr, AlwaysAlive, OneWindow, QuitOnWindowIdle,
                                     nullptr, nullptr, nullptr,     nullptr};

TEST_F(MessageLoop, IdleTasksRunAStepPerRoundWithInputServedBetween)
{
    RegisterWindowPart(&kTaskPart);
    gTaskLog = TaskLog{window_};
    int removed = 0;
    AddIdleTask(ThreeSteps, &gTaskLog);
    AddIdleTask(NeverRuns, &removed);
    RemoveIdleTask(&removed);
    EndProgram();
    EXPECT_EQ(gTaskLog.steps, 3);
    // The message the second step let in was handled before the third step.
    EXPECT_EQ(gTaskLog.userMessagesAtStep[1], 0);
    EXPECT_EQ(gTaskLog.userMessagesAtStep[2], 1);
    // The windows' idle routines wait until no task is left.
    EXPECT_EQ(gTaskLog.stepsWhenWindowIdleRan, 3);
    EXPECT_TRUE(App().idleTasks.empty());
}

}  // namespace
