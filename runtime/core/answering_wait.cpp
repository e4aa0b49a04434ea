#include "runtime/core/answering_wait.h"

#include <windows.h>

#include <cstring>
#include <deque>
#include <vector>

namespace {

// The system takes a thread for hung when it has not looked at its messages
// for 5 s; looking at least once a second keeps well clear of that, whatever
// arrives.
constexpr DWORD kLongestSliceMs = 1000;

// Input left queued for 5 s (a time the user can lower) also counts as a
// hang. A wait this short leaves the input where it is, so that a lookup
// that answers at once costs nothing; after it the input is taken out.
constexpr DWORD kHoldInputAfterMs = 300;

// A window whose painting leaves its region invalid would be offered again
// at once; after this many paints in one pass the wait goes on instead.
constexpr int kPaintsPerPass = 64;

// Calls into the apartment handled in one pass, for the same reason.
constexpr int kComCallsPerPass = 64;

// One piece of input taken out of the queue, with the keyboard state the
// thread had just after retrieving it. The thread's key states change as it
// removes key and mouse messages from its queue, never as messages are
// posted, and TranslateMessage makes its characters from the state it finds
// (GetKeyboardState's page): so the state is kept per message and set again
// (SetKeyboardState) at the moment the message is retrieved once more.
struct HeldInput {
    MSG msg;
    BYTE keys[256];
};

struct AtEnd {
    void (*call)();
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct WaitState {
    int depth = 0;
    DWORD outermostStart = 0;
    std::vector<HWND> comWindows;
    DWORD comWindowsFound = 0;
    std::vector<HeldInput> held;
    BYTE keysBefore[256] = {};  // the state before the first held message was retrieved
    std::vector<AtEnd> atEnd;
    bool abandoned = false;
    void (*abandonedThen)() = nullptr;
    // Input handed back, one message in the queue at a time (see PutBack).
    std::deque<HeldInput> replay;
    HWND carrierWindow = nullptr;  // owned, for the thread's life (see MakeCarrierWindow)
    bool carrierQueued = false;
    HHOOK hook = nullptr;
    bool inHook = false;
};

thread_local WaitState t;

// The message that stands in the queue for the next piece of handed-back
// input; the retrieval hook turns it into that input. Registered, so no
// window procedure of anyone's gives it a meaning of its own.
UINT CarrierMessage()
{
    static const UINT message = RegisterWindowMessageW(L"SongLinkRuntime.HeldInput");
    return message;
}

struct DepthScope {
    DepthScope()
    {
        if (t.depth++ == 0) {
            t.outermostStart = GetTickCount();
            t.comWindows.clear();
            t.comWindowsFound = t.outermostStart - kLongestSliceMs;
        }
    }
    ~DepthScope() { --t.depth; }
    DepthScope(const DepthScope&) = delete;
    DepthScope& operator=(const DepthScope&) = delete;
};

// Removes the first message of the kinds asked for. A quit message, which
// PeekMessage reports whatever was asked for, stays where it is: removed and
// posted again it would be new each time and wake the wait at once, round
// and round, while the program ends.
bool RemoveFirst(MSG& msg, HWND window, UINT kinds)
{
    if (!PeekMessageW(&msg, window, 0, 0, PM_NOREMOVE | kinds) || msg.message == WM_QUIT) return false;
    return PeekMessageW(&msg, msg.hwnd, msg.message, msg.message, PM_REMOVE | kinds) && msg.message != WM_QUIT;
}

// ---- calls into the apartment ----------------------------------------------

// COM carries a call from another apartment or process into this
// single-threaded one as a message posted to its own window of the class
// "OleMainThreadWndClass" ("Single-Threaded Apartments"), a message-only
// window on current systems and a hidden top-level one on older ones. The
// thread's windows of that class are found among both.
constexpr wchar_t kComWindowClass[] = L"OleMainThreadWndClass";

bool IsComWindowOfThisThread(HWND window)
{
    if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) return false;
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return wcsncmp(name, kComWindowClass, wcslen(kComWindowClass)) == 0;
}

BOOL CALLBACK NoteComWindow(HWND window, LPARAM list)
{
    if (IsComWindowOfThisThread(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

// The apartment makes its window when it first needs one: looked for again
// once a slice.
void FindComWindows()
{
    const DWORD now = GetTickCount();
    if (now - t.comWindowsFound < kLongestSliceMs) return;
    t.comWindowsFound = now;
    t.comWindows.clear();
    EnumThreadWindows(GetCurrentThreadId(), NoteComWindow, reinterpret_cast<LPARAM>(&t.comWindows));
    for (HWND w = nullptr; (w = FindWindowExW(HWND_MESSAGE, w, kComWindowClass, nullptr)) != nullptr;) {
        if (IsComWindowOfThisThread(w)) t.comWindows.push_back(w);
    }
}

// Dispatches the messages posted to COM's windows: the calls run in COM's
// window procedure, which calls the object's method; no window of the
// program's gets a message from here.
void AnswerComCalls()
{
    FindComWindows();
    MSG msg;
    for (HWND window : t.comWindows) {
        for (int i = 0; i < kComCallsPerPass; ++i) {
            if (!RemoveFirst(msg, window, PM_QS_POSTMESSAGE)) break;
            DispatchMessageW(&msg);
        }
    }
}

// ---- input held and handed back --------------------------------------------

bool IsMouseMove(UINT message) { return message == WM_MOUSEMOVE || message == WM_NCMOUSEMOVE; }

// The input the wait takes out: keys, mouse moves and buttons. Raw input
// (WM_INPUT, sent only to a program that registered for it) stays queued:
// its handle names data the system frees once the message has been through
// DefWindowProc, valid for that message's processing only, so it cannot be
// handed back later. Pointer and touch input (QS_POINTER, QS_TOUCH, absent
// from the kinds this build targets) stays queued too, and must: what
// GetPointerInfo and its kin report belongs to the pointer message being
// processed, so a pointer message replayed later would read another
// moment's data.
constexpr UINT kHeldKinds = QS_KEY | QS_MOUSEMOVE | QS_MOUSEBUTTON;

// Takes the thread's mouse and keyboard input out of the queue. PeekMessage
// with no window returns only messages for the calling thread's windows, so
// input for another program's window is never touched. A carrier of input
// handed back after an earlier wait is taken out too (the input it stands
// for is still first in line; PutBack queues it again), without the hook
// turning it into input.
void TakeOutInput()
{
    MSG msg;
    if (t.carrierQueued) {
        t.inHook = true;
        while (PeekMessageW(&msg, t.carrierWindow, CarrierMessage(), CarrierMessage(), PM_REMOVE)) {
        }
        t.inHook = false;
        t.carrierQueued = false;  // taken out here, or already gone
    }
    for (;;) {
        if (t.held.empty()) GetKeyboardState(t.keysBefore);
        if (!RemoveFirst(msg, nullptr, kHeldKinds << 16)) return;
        HeldInput* last = t.held.empty() ? nullptr : &t.held.back();
        // Moves in a row over the same window with the same buttons: only
        // the last position matters.
        if (last && IsMouseMove(msg.message) && last->msg.message == msg.message && last->msg.hwnd == msg.hwnd &&
            last->msg.wParam == msg.wParam) {
            last->msg = msg;
            GetKeyboardState(last->keys);
            continue;
        }
        t.held.push_back(HeldInput{msg, {}});
        GetKeyboardState(t.held.back().keys);
    }
}

LRESULT CALLBACK RetrievalHook(int code, WPARAM removal, LPARAM lParam);

// Input whose window has been destroyed since went with it.
void DropInputForGoneWindows()
{
    while (!t.replay.empty() && t.replay.front().msg.hwnd && !IsWindow(t.replay.front().msg.hwnd)) {
        t.replay.pop_front();
    }
}

// Posted messages are retrieved before any input the system still holds
// (GetMessage's order: sent, posted, input), so handed-back input comes
// before newer input. One piece is queued at a time, as a carrier; the next
// is queued only as this one is retrieved. The retrieval hook is in place
// only while there is input to hand back: every loop's every retrieval
// passes through it.
void QueueNextCarrier()
{
    if (t.replay.empty()) {
        if (t.hook) UnhookWindowsHookEx(t.hook);
        t.hook = nullptr;
        return;
    }
    if (t.carrierQueued) return;
    if (!t.hook) t.hook = SetWindowsHookExW(WH_GETMESSAGE, RetrievalHook, nullptr, GetCurrentThreadId());
    if (PostMessageW(t.carrierWindow, CarrierMessage(), 0, 0)) {
        t.carrierQueued = true;
    } else {
        t.replay.clear();  // the queue is full: nothing can carry the input back
        QueueNextCarrier();
    }
}

// Reached only by a carrier that no hook turned into input: one retrieved
// while the hook could not be installed, or while the hook itself was
// looking at the queue. The input it stands for is posted to its window
// instead, behind what is already queued, with the key states it was first
// retrieved with, and the next carrier is queued behind it.
LRESULT CALLBACK CarrierWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != CarrierMessage()) return DefWindowProcW(hwnd, message, wParam, lParam);
    t.carrierQueued = false;
    DropInputForGoneWindows();
    if (!t.replay.empty()) {
        HeldInput next = t.replay.front();
        t.replay.pop_front();
        SetKeyboardState(next.keys);
        if (next.msg.hwnd) {
            PostMessageW(next.msg.hwnd, next.msg.message, next.msg.wParam, next.msg.lParam);
        } else {
            PostThreadMessageW(GetCurrentThreadId(), next.msg.message, next.msg.wParam, next.msg.lParam);
        }
    }
    QueueNextCarrier();
    return 0;
}

// Every carrier goes to this message-only window of the runtime's own, which
// lives as long as the thread, not to the input's own window: DestroyWindow
// flushes the thread's queue of a window's messages, so a carrier posted to
// a window that the input before it destroyed would vanish, and the input
// after it with it.
bool MakeCarrierWindow()
{
    if (t.carrierWindow) return true;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = CarrierWindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"SongLinkRuntime.HeldInput";
    RegisterClassW(&wc);  // fails harmlessly once registered
    t.carrierWindow =
        CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    return t.carrierWindow != nullptr;
}

// Messages the queue reports among posted ones that are not: a timer is
// generated only when nothing else waits, and a hot key or quit comes from
// a later moment than the held input.
bool IsPostedBeforeInput(const MSG& m)
{
    constexpr UINT kSysTimer = 0x0118;
    return m.message != WM_TIMER && m.message != kSysTimer && m.message != WM_HOTKEY && m.message != WM_QUIT &&
           !(m.hwnd == t.carrierWindow && m.message == CarrierMessage());
}

// Called by the system inside GetMessage and PeekMessage of whatever loop
// runs, before the retrieved message is returned (GetMsgProc: the hook may
// change the message). A removed carrier becomes the input it stands for,
// the key states are set to those the input was first retrieved with and
// the next carrier is queued. What was posted while the input
// before it was handled (the characters TranslateMessage makes of a key, a
// dead key's second character, a routine queued to run later) comes before
// it, as it would have with the input still in the system's queue: such a
// message is returned in the carrier's place and the carrier goes to the
// back of the queue again.
LRESULT CALLBACK RetrievalHook(int code, WPARAM removal, LPARAM lParam)
{
    auto* msg = reinterpret_cast<MSG*>(lParam);
    // Only a removal turns a carrier into its input: a loop that peeks and
    // then removes what it saw by window and message number must find the
    // carrier again, or the input would run twice or never.
    if (code == HC_ACTION && (removal & PM_REMOVE) && !t.inHook && msg->message == CarrierMessage() &&
        msg->hwnd == t.carrierWindow) {
        t.inHook = true;
        t.carrierQueued = false;
        DropInputForGoneWindows();
        MSG posted;
        if (t.replay.empty()) {
            // Nothing left to hand back: the carrier goes on to its window,
            // which has nothing to do.
        } else if (PeekMessageW(&posted, nullptr, 0, 0, PM_NOREMOVE | PM_QS_POSTMESSAGE) &&
                   IsPostedBeforeInput(posted) &&
                   PeekMessageW(&posted, posted.hwnd ? posted.hwnd : reinterpret_cast<HWND>(-1), posted.message,
                                posted.message, PM_REMOVE | PM_QS_POSTMESSAGE)) {
            *msg = posted;
        } else {
            HeldInput next = t.replay.front();
            t.replay.pop_front();
            SetKeyboardState(next.keys);
            *msg = next.msg;
        }
        QueueNextCarrier();
        t.inHook = false;
    }
    return CallNextHookEx(nullptr, code, removal, lParam);
}

// Hands the held input back to the queue. The thread's key states are set
// back to what they were before the first of it was retrieved, so that what
// runs before it sees them as if nothing had been taken out. A carrier that
// this wait took out is queued again even when no new input was held: the
// input it stands for is still first in line.
void PutBack()
{
    if (!t.held.empty() && !MakeCarrierWindow()) t.held.clear();  // nothing could carry it back
    if (!t.held.empty()) {
        SetKeyboardState(t.keysBefore);
        t.replay.insert(t.replay.end(), t.held.begin(), t.held.end());
        t.held.clear();
    }
    QueueNextCarrier();
}

// ---- the wait ----------------------------------------------------------------

// Handles what the wait answers: the messages sent to the thread's windows
// (delivered inside PeekMessage itself, whatever it is asked to look for),
// the calls into the apartment, the windows' paints, and, once the wait has
// lasted a moment, takes the input out. A paint is generated while a
// window's region is invalid, so it is dispatched without removing anything;
// a quit message, which PeekMessage reports whatever the range asked for,
// stays where it is.
void AnswerPending(bool takeInput)
{
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    AnswerComCalls();
    for (int i = 0; i < kPaintsPerPass; ++i) {
        if (!PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE | PM_QS_PAINT)) break;
        if (msg.message != WM_PAINT) break;
        DispatchMessageW(&msg);
    }
    if (takeInput) TakeOutInput();
}

uint32_t Wait(HANDLE handle, uint32_t timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (t.abandoned) return WAIT_TIMEOUT;
        const DWORD sinceOutermost = GetTickCount() - t.outermostStart;
        const bool takeInput = sinceOutermost >= kHoldInputAfterMs;
        // What arrived before this point is no longer "new" to the wait
        // below, which wakes only for what comes after: answer it first.
        AnswerPending(takeInput);
        if (t.abandoned) return WAIT_TIMEOUT;
        DWORD slice = takeInput ? kLongestSliceMs : kHoldInputAfterMs - sinceOutermost;
        if (timeoutMs != INFINITE) {
            DWORD elapsed = GetTickCount() - start;
            DWORD left = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
            if (left < slice) slice = left;
        }
        // Posted messages wake the wait for COM's calls; those for the
        // program's windows stay queued and, no longer new, wake it no more.
        // Input wakes it once it is taken out. MWMO_INPUTAVAILABLE is not
        // asked for: it would wake the wait again and again for the posted
        // messages that stay.
        const DWORD wakeFor = QS_SENDMESSAGE | QS_PAINT | QS_POSTMESSAGE | (takeInput ? kHeldKinds : 0);
        const DWORD woke = MsgWaitForMultipleObjectsEx(1, &handle, slice, wakeFor, 0);
        if (woke == WAIT_OBJECT_0 + 1) continue;  // answered on the next round
        if (woke != WAIT_TIMEOUT) return woke;
        if (timeoutMs != INFINITE && GetTickCount() - start >= timeoutMs) {
            // The last slice ended at the limit: one last look at the event.
            return WaitForSingleObject(handle, 0);
        }
    }
}

// The outermost wait has ended: what was kept for this point goes to the
// queue in the order it came, the held input last, after the messages
// posted for the held-back routines (those were raised before it was typed,
// or with it).
void ReleaseAtWaitEnd()
{
    if (t.abandoned && t.abandonedThen) {
        void (*then)() = t.abandonedThen;
        t.abandonedThen = nullptr;
        then();
    }
    std::vector<AtEnd> list;
    list.swap(t.atEnd);
    for (const AtEnd& e : list) {
        if (e.call)
            e.call();
        else
            PostMessageW(e.window, e.message, e.wParam, e.lParam);
    }
    PutBack();
}

}  // namespace

bool InAnsweringWait() { return t.depth > 0; }

bool AtOutermostWaitEnd(void (*call)())
{
    if (t.depth == 0) return false;
    t.atEnd.push_back(AtEnd{call, nullptr, 0, 0, 0});
    return true;
}

bool PostWhenWaitEnds(void* window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (t.depth == 0) return false;
    t.atEnd.push_back(AtEnd{nullptr, static_cast<HWND>(window), message, wParam, lParam});
    return true;
}

void AbandonWaits(void (*then)())
{
    t.abandoned = true;
    if (!t.abandonedThen) t.abandonedThen = then;
}

uint32_t AnsweringWait(void* event, uint32_t timeoutMs)
{
    const bool outermost = t.depth == 0;
    uint32_t result;
    {
        DepthScope scope;
        result = Wait(static_cast<HANDLE>(event), timeoutMs);
    }
    if (outermost) ReleaseAtWaitEnd();
    return result;
}
