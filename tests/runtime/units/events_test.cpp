// Unit events through real input: clicks, characters, closing, idle time, and
// the property services they call back into.
#include "runtime/core/answering_wait.h"
#include "runtime/core/heap.h"
#include "runtime/core/runtime_app.h"
#include "runtime/core/runtime_init.h"
#include "runtime/core/services.h"
#include "runtime/forms/unit_properties.h"
#include "runtime/forms/window_set.h"
#include "runtime/forms/window_unit.h"
#include "runtime/units/property_rules.h"
#include "runtime/units/unit.h"
#include "runtime/units/unit_data.h"
#include "tests/runtime/units/window_fixture.h"
#include "tests/support/key_input.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <thread>

using namespace unit_test;

namespace {

constexpr UnitId kPicture = 0x16011EE3;
constexpr UnitId kEdit = 0x16011EE4;
constexpr UnitId kButton = 0x16011EE5;
constexpr UnitId kLabel = 0x16011EE6;
constexpr UnitId kLinkedPicture = 0x16011EE7;

// What the handlers saw: calls per (unit, event), the last arguments.
struct Seen {
    std::map<std::pair<UnitId, int32_t>, int> calls;
    std::vector<int32_t> lastArgs;
    std::map<std::pair<UnitId, int32_t>, std::vector<int32_t>> args;
    EventSource source{};
} gSeen;

int32_t Record(UnitId unit, int32_t event, const int32_t* args, int32_t n)
{
    ++gSeen.calls[{unit, event}];
    gSeen.lastArgs.assign(args, args + n);
    gSeen.args[{unit, event}] = gSeen.lastArgs;
    gSeen.source = CurrentEventSource();
    return 0;  // no value
}

// Routine table indexes.
enum {
    kOnPictureDown,
    kOnEditChanged,
    kOnEditChar,
    kOnButtonClick,
    kOnButtonDown,
    kOnButtonUp,
    kOnCloseQuery,
    kOnClose,
    kOnDestroy,
    kOnIdle
};

enum class CharAnswer { Zero, LetterA, Nothing } gCharAnswer = CharAnswer::Nothing;
bool gRefuseClose = true;

void InstallRoutines()
{
    gRoutines[kOnPictureDown] = [](const int32_t* a, int32_t n, int32_t*) {
        Record(kPicture, -1, a, n);
        // The application's clear picture: the edit box content becomes empty.
        WriteUnitProperty(kWindowId, kEdit, 8, -1, reinterpret_cast<uintptr_t>(""), 0);
        return 0;
    };
    gRoutines[kOnEditChanged] = [](const int32_t* a, int32_t n, int32_t*) { return Record(kEdit, 0, a, n); };
    gRoutines[kOnEditChar] = [](const int32_t* a, int32_t n, int32_t* result) {
        Record(kEdit, -11, a, n);
        if (gCharAnswer == CharAnswer::Nothing) return 0;
        *result = gCharAnswer == CharAnswer::Zero ? 0 : 65;
        return kRoutineReturnedValue;
    };
    gRoutines[kOnButtonClick] = [](const int32_t* a, int32_t n, int32_t*) { return Record(kButton, 0, a, n); };
    gRoutines[kOnButtonDown] = [](const int32_t* a, int32_t n, int32_t*) { return Record(kButton, -1, a, n); };
    gRoutines[kOnButtonUp] = [](const int32_t* a, int32_t n, int32_t*) { return Record(kButton, -2, a, n); };
    gRoutines[kOnCloseQuery] = [](const int32_t* a, int32_t n, int32_t* result) {
        Record(0, 12, a, n);
        *result = gRefuseClose ? 0 : 1;
        return kRoutineReturnedValue;
    };
    gRoutines[kOnClose] = [](const int32_t* a, int32_t n, int32_t*) { return Record(0, 1, a, n); };
    gRoutines[kOnDestroy] = [](const int32_t* a, int32_t n, int32_t*) { return Record(0, 2, a, n); };
    gRoutines[kOnIdle] = [](const int32_t* a, int32_t n, int32_t* result) {
        Record(0, 7, a, n);
        *result = 1;
        return kRoutineReturnedValue;
    };
}

int Calls(UnitId unit, int32_t event) { return gSeen.calls[{unit, event}]; }

class EventsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gSeen = Seen{};
        gCharAnswer = CharAnswer::Nothing;
        gRefuseClose = true;
        InstallRoutines();
        EditBoxData edit;
        edit.borderStyle = 5;
        edit.content = "abc";
        ButtonData button;
        button.caption = "\xcf\xc2\xd4\xd8";  // 下载
        PictureBoxData picture;
        UnitSpec window{kWindowUnitId, kUnitTypeWindow, 50, 50, 415, 127};
        window.bindings = {{12, kOnCloseQuery}, {1, kOnClose}, {2, kOnDestroy}, {7, kOnIdle}};
        ASSERT_TRUE(LoadTestWindow(window, {{kPicture,
                                             kUnitTypePicBox,
                                             8,
                                             8,
                                             16,
                                             16,
                                             kUnitVisible,
                                             WritePictureBoxData(picture),
                                             {{-1, kOnPictureDown}}},
                                            {kEdit,
                                             kUnitTypeEditBox,
                                             40,
                                             8,
                                             200,
                                             22,
                                             kUnitVisible | kUnitTabStop,
                                             WriteEditBoxData(edit),
                                             {{0, kOnEditChanged}, {-11, kOnEditChar}}},
                                            {kButton,
                                             kUnitTypeButton,
                                             250,
                                             8,
                                             80,
                                             24,
                                             kUnitVisible | kUnitTabStop,
                                             WriteButtonData(button),
                                             {{0, kOnButtonClick}, {-1, kOnButtonDown}, {-2, kOnButtonUp}}},
                                            {kLabel, kUnitTypeLabel, 8, 40, 100, 20, kUnitVisible, {}},
                                            // Bound to nothing itself: the picture box's bindings serve it.
                                            {kLinkedPicture,
                                             kUnitTypePicBox,
                                             120,
                                             40,
                                             16,
                                             16,
                                             kUnitVisible,
                                             WritePictureBoxData(picture),
                                             {},
                                             "",
                                             kPicture}}));
        gSeen = Seen{};
    }
    void TearDown() override
    {
        App().startRoutineFinished = false;
        UnloadTestWindow();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
};

TEST_F(EventsTest, ClickOnPictureBoxRaisesMinusOneAndItsHandlerEmptiesTheEditBoxOnce)
{
    HWND edit = UnitWindow(kEdit);
    ASSERT_EQ(WindowTextW(edit), L"abc");
    PostMessageW(UnitWindow(kPicture), WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL | MK_SHIFT, MAKELPARAM(5, 9));
    ASSERT_TRUE(PumpUntil([] { return Calls(kPicture, -1) == 1; }));
    Pump(50);
    EXPECT_EQ(Calls(kPicture, -1), 1);
    EXPECT_EQ(WindowTextW(edit), L"");
    EXPECT_EQ(Calls(kEdit, 0), 1) << "one content write, one event 0";
    // Clicking the label raises -1 for it, which has no binding: nothing runs.
    PostMessageW(UnitWindow(kLabel), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    Pump(50);
    EXPECT_EQ(Calls(kPicture, -1), 1);
}

TEST_F(EventsTest, PictureBoxClickCarriesPositionAndKeyState)
{
    gRoutines[kOnPictureDown] = [](const int32_t* a, int32_t n, int32_t*) { return Record(kPicture, -1, a, n); };
    struct Case {
        WPARAM keys;
        int x, y;
        int32_t state;
    };
    const Case cases[] = {{MK_LBUTTON, 1, 2, 0},
                          {MK_LBUTTON | MK_CONTROL, 15, 15, 1},
                          {MK_LBUTTON | MK_SHIFT, 7, 0, 2},
                          {MK_LBUTTON | MK_CONTROL | MK_SHIFT, 0, 7, 3}};
    for (const Case& c : cases) {
        gSeen = Seen{};
        PostMessageW(UnitWindow(kPicture), WM_LBUTTONDOWN, c.keys, MAKELPARAM(c.x, c.y));
        ASSERT_TRUE(PumpUntil([] { return Calls(kPicture, -1) == 1; }));
        EXPECT_EQ(gSeen.lastArgs, (std::vector<int32_t>{c.x, c.y, c.state}));
        EXPECT_EQ(gSeen.source.windowId, kWindowId);
        EXPECT_EQ(gSeen.source.unitId, kPicture) << "the event source seen by the handler";
    }
    EXPECT_EQ(CurrentEventSource().windowId, 0u) << "cleared after the handler";
}

TEST_F(EventsTest, EventSourceLinkLendsTheLinkedUnitsBindings)
{
    gRoutines[kOnPictureDown] = [](const int32_t* a, int32_t n, int32_t*) { return Record(kPicture, -1, a, n); };
    PostMessageW(UnitWindow(kLinkedPicture), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    ASSERT_TRUE(PumpUntil([] { return Calls(kPicture, -1) == 1; }));
    EXPECT_EQ(gSeen.source.unitId, kLinkedPicture) << "the handler still sees the unit that raised it";
    // A link to a unit of another type is not followed.
    UnitRecord* linked = FindUnitRecord(kWindowId, kLinkedPicture);
    linked->link = kLabel;
    PostMessageW(UnitWindow(kLinkedPicture), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    Pump(50);
    EXPECT_EQ(Calls(kPicture, -1), 1);
}

TEST_F(EventsTest, ButtonClickRaisesEventZeroAndItsMouseEvents)
{
    HWND button = UnitWindow(kButton);
    EXPECT_EQ(WindowTextW(button), L"\u4e0b\u8f7d");
    PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    ASSERT_TRUE(PumpUntil([] { return Calls(kButton, 0) == 1; }));
    EXPECT_EQ(Calls(kButton, -1), 1);
    EXPECT_EQ(Calls(kButton, -2), 1);
    EXPECT_TRUE(gSeen.lastArgs.empty()) << "event 0 has no arguments";
}

TEST_F(EventsTest, CharacterHandlerSwallowsReplacesOrLeavesTheCharacter)
{
    struct Case {
        CharAnswer answer;
        const wchar_t* expected;
    };
    const Case cases[] = {{CharAnswer::Zero, L""}, {CharAnswer::LetterA, L"A"}, {CharAnswer::Nothing, L"x"}};
    HWND edit = UnitWindow(kEdit);
    for (const Case& c : cases) {
        gCharAnswer = c.answer;
        SetWindowTextW(edit, L"");
        SetFocus(edit);
        gSeen = Seen{};
        PostMessageW(edit, WM_CHAR, 'x', 1);
        ASSERT_TRUE(PumpUntil([] { return Calls(kEdit, -11) == 1; }));
        Pump();
        EXPECT_EQ(gSeen.args[std::make_pair(kEdit, -11)], std::vector<int32_t>(1, int32_t{120}));
        EXPECT_EQ(WindowTextW(edit), c.expected) << static_cast<int>(c.answer);
    }
}

TEST_F(EventsTest, KeysAndWheelBecomeGenericEvents)
{
    // Rebind: the edit box's -9 swallows, the picture box's -12 records.
    UnitRecord* edit = FindUnitRecord(kWindowId, kEdit);
    UnitRecord* picture = FindUnitRecord(kWindowId, kPicture);
    gRoutines[kOnEditChar] = [](const int32_t* a, int32_t n, int32_t* result) {
        Record(kEdit, -9, a, n);
        *result = 0;
        return kRoutineReturnedValue;
    };
    gRoutines[kOnPictureDown] = [](const int32_t* a, int32_t n, int32_t*) { return Record(kPicture, -12, a, n); };
    for (EventBinding& b : edit->bindings)
        if (b.event == -11) b.event = -9;
    for (EventBinding& b : picture->bindings) b.event = -12;

    HWND box = UnitWindow(kEdit);
    SetWindowTextW(box, L"");
    SetFocus(box);
    gSeen = Seen{};
    PostMessageW(box, WM_KEYDOWN, 'Q', 1);
    ASSERT_TRUE(PumpUntil([] { return Calls(kEdit, -9) == 1; }));
    Pump(30);
    EXPECT_EQ(gSeen.args[std::make_pair(kEdit, -9)], (std::vector<int32_t>{'Q', 0}));
    EXPECT_EQ(WindowTextW(box), L"") << "a swallowed key makes no character";

    struct Case {
        int16_t delta;
        int32_t notches;
    };
    const Case cases[] = {{-240, -2}, {120, 1}, {60, 0}, {-359, -2}};
    for (const Case& c : cases) {
        gSeen = Seen{};
        PostMessageW(UnitWindow(kPicture), WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, static_cast<WORD>(c.delta)),
                     MAKELPARAM(100, 100));
        ASSERT_TRUE(PumpUntil([] { return Calls(kPicture, -12) == 1; }));
        EXPECT_EQ(gSeen.lastArgs, (std::vector<int32_t>{c.notches, 1})) << c.delta;
    }
}

TEST_F(EventsTest, PositionsAndSizesAreClampedInRecordAndWindow)
{
    struct Case {
        int32_t index, value, expected;
    };
    const Case cases[] = {{2, 40000, 32627}, {2, -5, 0}, {0, -40000, -32627}, {1, 40000, 32627}, {3, 77, 77}};
    for (const Case& c : cases) {
        WriteUnitProperty(kWindowId, kLabel, c.index, -1, static_cast<uintptr_t>(c.value), 0);
        const UnitRecord* record = FindUnitRecord(kWindowId, kLabel);
        const int32_t stored[] = {record->left, record->top, record->width, record->height};
        EXPECT_EQ(stored[c.index], c.expected) << c.index << " " << c.value;
        EXPECT_EQ(ReadUnitProperty(kWindowId, kLabel, c.index, -1), c.expected) << "live window";
    }
}

TEST_F(EventsTest, GenericPropertiesOfTheLiveWindowAndTag)
{
    HWND label = UnitWindow(kLabel);
    EXPECT_EQ(ReadUnitProperty(kWindowId, kLabel, 0, -1), 8);
    EXPECT_EQ(ReadUnitProperty(kWindowId, kLabel, 5, -1), 1);
    WriteUnitProperty(kWindowId, kLabel, 5, -1, 0, 0);
    EXPECT_FALSE(IsWindowVisible(label));
    EXPECT_EQ(ReadUnitProperty(kWindowId, kLabel, 5, -1), 0);
    WriteUnitProperty(kWindowId, kLabel, 6, -1, 1, 0);
    EXPECT_FALSE(IsWindowEnabled(label));
    EXPECT_EQ(ReadUnitProperty(kWindowId, kLabel, 6, -1), 1);
    WriteUnitProperty(kWindowId, kLabel, 4, -1, reinterpret_cast<uintptr_t>("tag!"), 0);
    Text tag = reinterpret_cast<Text>(static_cast<uintptr_t>(ReadUnitProperty(kWindowId, kLabel, 4, -1)));
    ASSERT_NE(tag, nullptr);
    EXPECT_STREQ(tag, "tag!");
    RuntimeFree(tag);
}

TEST_F(EventsTest, OwnPropertiesCrossTheServicesWithTheirTypes)
{
    // Edit box content (text) out as a new Text.
    WriteUnitProperty(kWindowId, kEdit, 8, -1, reinterpret_cast<uintptr_t>("\xc4\xe3\xba\xc3"), 0);  // 你好
    EXPECT_EQ(WindowTextW(UnitWindow(kEdit)), L"\u4f60\u597d");
    Text content = reinterpret_cast<Text>(static_cast<uintptr_t>(ReadUnitProperty(kWindowId, kEdit, 8, -1)));
    ASSERT_NE(content, nullptr);
    EXPECT_STREQ(content, "\xc4\xe3\xba\xc3");
    RuntimeFree(content);
    // Label gradient border width: below 5 becomes 5.
    WriteUnitProperty(kWindowId, kLabel, 8 + 3, -1, 3, 0);
    EXPECT_EQ(ReadUnitProperty(kWindowId, kLabel, 8 + 3, -1), 5);
    // Label horizontal alignment: clamped to 0..2.
    WriteUnitProperty(kWindowId, kLabel, 8 + 16, -1, 9, 0);
    EXPECT_EQ(ReadUnitProperty(kWindowId, kLabel, 8 + 16, -1), 2);
    // Edit box maximum length (a choice): negative becomes 0.
    WriteUnitProperty(kWindowId, kEdit, 8 + 6, -1, static_cast<uintptr_t>(-7), 0);
    EXPECT_EQ(ReadUnitProperty(kWindowId, kEdit, 8 + 6, -1), 0);
    // Font size and face through element indexes; the face rule applies.
    WriteUnitProperty(kWindowId, kLabel, 8 + 7, 5, 20, 0);
    WriteUnitProperty(kWindowId, kLabel, 8 + 7, 6, reinterpret_cast<uintptr_t>(""), 0);
    EXPECT_EQ(ReadUnitProperty(kWindowId, kLabel, 8 + 7, 5), 20);
    Text face = reinterpret_cast<Text>(static_cast<uintptr_t>(ReadUnitProperty(kWindowId, kLabel, 8 + 7, 6)));
    ASSERT_NE(face, nullptr);
    EXPECT_STREQ(face, kDefaultFaceName);
    RuntimeFree(face);
}

TEST_F(EventsTest, ChangingMultiLineRecreatesTheEditBoxWithItsContent)
{
    HWND before = UnitWindow(kEdit);
    WriteUnitProperty(kWindowId, kEdit, 8, -1, reinterpret_cast<uintptr_t>("keep"), 0);
    gSeen = Seen{};
    WriteUnitProperty(kWindowId, kEdit, 8 + 7, -1, 1, 0);
    HWND after = UnitWindow(kEdit);
    ASSERT_NE(after, nullptr);
    EXPECT_NE(after, before);
    EXPECT_FALSE(IsWindow(before));
    EXPECT_TRUE(GetWindowLongW(after, GWL_STYLE) & ES_MULTILINE);
    EXPECT_EQ(WindowTextW(after), L"keep");
    EXPECT_TRUE(IsWindowVisible(after));
    EXPECT_EQ(Calls(kEdit, 0), 0) << "no events while re-created";
    // Events reach the new box.
    WriteUnitProperty(kWindowId, kEdit, 8, -1, reinterpret_cast<uintptr_t>(""), 0);
    EXPECT_EQ(Calls(kEdit, 0), 1);
}

TEST_F(EventsTest, CloseRefusedByEventTwelveThenAcceptedEndsTheLoop)
{
    HWND window = UnitWindow(0);
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(Calls(0, 12), 1);
    EXPECT_EQ(Calls(0, 1), 0) << "event 1 comes only after an accepted event 12";
    gRefuseClose = false;
    App().startRoutineFinished = true;
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(Calls(0, 12), 2);
    EXPECT_EQ(Calls(0, 1), 1);
    EXPECT_EQ(Calls(0, 2), 1);
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "last window gone: quit";
    EXPECT_EQ(FindUnitRecord(kWindowId, kEdit)->object, nullptr);
}

TEST_F(EventsTest, NoQuitMessageBeforeTheStartRoutineHasFinished)
{
    gRefuseClose = false;
    DestroyWindow(UnitWindow(0));
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(EventsTest, IdleEventCarriesElapsedTimeAndAsksForMore)
{
    EXPECT_TRUE(WindowIdle(kWindowId, 123));
    EXPECT_EQ(gSeen.lastArgs, (std::vector<int32_t>{123}));
    gRoutines[kOnIdle] = [](const int32_t* a, int32_t n, int32_t*) { return Record(0, 7, a, n); };
    EXPECT_FALSE(WindowIdle(kWindowId, 5)) << "a handler without a value asks for no more";
    EXPECT_FALSE(WindowIdle(0x52019999, 5));
}

// While the window thread waits answering, what other threads send is
// answered at once, but no routine runs inside the wait: a bound event is
// raised from the queue afterwards, and a close waits there whole for the
// close events that decide it.
TEST_F(EventsTest, MessagesSentDuringAnAnsweringWaitRunTheirRoutinesFromTheQueue)
{
    // Calls from the queue go through the hidden owner window that the
    // runtime's start makes.
    if (!App().hiddenOwner) InitializeRuntime(nullptr);
    HWND window = UnitWindow(0);
    HWND edit = UnitWindow(kEdit);
    HANDLE answered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread other([&] {
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(edit), EN_CHANGE), reinterpret_cast<LPARAM>(edit));
        SendMessageW(window, WM_CLOSE, 0, 0);
        SetEvent(answered);
    });
    EXPECT_EQ(AnsweringWait(answered, 10000), static_cast<uint32_t>(WAIT_OBJECT_0));
    other.join();
    CloseHandle(answered);
    EXPECT_EQ(Calls(kEdit, 0), 0);
    EXPECT_EQ(Calls(0, 12), 0);
    Pump();
    EXPECT_EQ(Calls(kEdit, 0), 1);
    EXPECT_EQ(Calls(0, 12), 1);
    EXPECT_TRUE(IsWindow(window)) << "the close routine refused";
}

// Runs `work` on another thread while this, the window thread, waits
// answering for it; returns what the wait returned.
DWORD WaitAnsweringWhile(const std::function<void()>& work, DWORD timeoutMs)
{
    if (!App().hiddenOwner) InitializeRuntime(nullptr);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread other([&] {
        work();
        SetEvent(done);
    });
    const DWORD waited = AnsweringWait(done, timeoutMs);
    other.join();
    CloseHandle(done);
    return waited;
}

// Not 0 when key or button input is still queued on the window thread (by
// its status or a peek) as a message another thread sends reaches
// LookAtQueue; -1 until one does.
int gQueuedInput = -1;

LRESULT CALLBACK LookAtQueue(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg != WM_APP) return DefWindowProcW(hwnd, msg, wp, lp);
    MSG m;
    gQueuedInput = HIWORD(GetQueueStatus(QS_INPUT)) & (QS_KEY | QS_MOUSEBUTTON);
    gQueuedInput |= PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_INPUT) && m.message != WM_QUIT;
    return 0;
}

// The system's stand-in for a hung window: a "Ghost" window titled as it,
// with the system's mark of a hang after the title.
bool HasGhost(HWND window)
{
    wchar_t title[256] = {}, text[300] = {};
    const int n = GetWindowTextW(window, title, 256);
    for (HWND g = nullptr; (g = FindWindowExW(nullptr, g, L"Ghost", nullptr)) != nullptr;)
        if (GetWindowTextW(g, text, 300) >= n && wcsncmp(text, title, static_cast<size_t>(n)) == 0) return true;
    return false;
}

// The characters the keyboard layout in use gives for a key, Shift up or down.
std::wstring CharacterOf(WORD key, bool shift)
{
    BYTE keys[256] = {};
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    wchar_t out[4] = {};
    int n = ToUnicodeEx(key, MapVirtualKeyW(key, MAPVK_VK_TO_VSC), keys, out, 4, 0, GetKeyboardLayout(0));
    return std::wstring(out, static_cast<size_t>(std::max(n, 0)));
}

ProgramRoutine gClearPicture;
DWORD gClickWaitsMs = 0;

// A click and keys made during a wait of a few seconds: 1.5 s into it no
// input is left in the queue (the system takes input left there for 5 s for
// a hang), no routine runs inside it, and afterwards the click runs first (it
// empties the box), then the characters in the order typed with the case
// Shift gave them, though Shift was up again when the wait took them out. In
// the second row the click's routine waits 500 ms itself: the keys handed
// back after that wait still arrive once it ends.
TEST_F(EventsTest, InputMadeDuringAWaitIsTakenOutAndRunsAfterItInOrder)
{
    HWND window = UnitWindow(0);
    HWND edit = UnitWindow(kEdit);
    SL_KEYS_OR_SKIP(BringToForeground(window));
    SetFocus(edit);
    const std::wstring typed = CharacterOf('A', false) + CharacterOf('B', true);
    ASSERT_EQ(typed.size(), 2u) << "this keyboard layout types no characters with A and B";
    RECT r;
    GetWindowRect(UnitWindow(kPicture), &r);
    auto absolute = [](LONG at, int size) { return (at * 65536 + size / 2) / size; };
    INPUT click[3] = {{INPUT_MOUSE}, {INPUT_MOUSE}, {INPUT_MOUSE}};
    click[0].mi = {absolute((r.left + r.right) / 2, GetSystemMetrics(SM_CXSCREEN)),
                   absolute((r.top + r.bottom) / 2, GetSystemMetrics(SM_CYSCREEN)), 0,
                   MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE};
    click[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    click[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    gClearPicture = gRoutines[kOnPictureDown];
    gRoutines[kOnPictureDown] = [](const int32_t* a, int32_t n, int32_t* result) {
        static const HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        const int32_t cleared = gClearPicture(a, n, result);
        if (gClickWaitsMs) AnsweringWait(never, gClickWaitsMs);
        return cleared;
    };
    for (const DWORD clickWaitsMs : {0u, 500u}) {
        SCOPED_TRACE(clickWaitsMs);
        gClickWaitsMs = clickWaitsMs;
        gSeen = Seen{};
        gQueuedInput = -1;
        SetWindowTextW(edit, L"abc");
        HWND look = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        SetWindowLongPtrW(look, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LookAtQueue));
        bool hung = false;
        std::string whyNoKeys;
        auto work = [&] {
            const DWORD start = GetTickCount();
            SendInput(3, click, sizeof(INPUT));
            whyNoKeys = SendKeyChord(window, {'A'});
            if (whyNoKeys.empty()) whyNoKeys = SendKeyChord(window, {VK_SHIFT, 'B'});
            Sleep(1500 - std::min<DWORD>(GetTickCount() - start, 1500));
            SendMessageW(look, WM_APP, 0, 0);
            // Windows' own verdict after more than 5 s (Wine never ghosts a window).
            if (RunningUnderWine()) return;
            Sleep(6000 - std::min<DWORD>(GetTickCount() - start, 6000));
            hung = IsHungAppWindow(window) || HasGhost(window);
        };
        EXPECT_EQ(WaitAnsweringWhile(work, 20000), WAIT_OBJECT_0);
        DestroyWindow(look);
        if (!whyNoKeys.empty()) GTEST_SKIP() << whyNoKeys;
        EXPECT_EQ(gQueuedInput, 0) << "input left in the queue 1.5 s into the wait";
        EXPECT_FALSE(hung) << "the system took the window for hung, or ghosted it";
        EXPECT_EQ(Calls(kPicture, -1), 0) << "the click ran inside the wait";
        EXPECT_EQ(WindowTextW(edit), L"abc");
        Pump(300 + static_cast<int>(clickWaitsMs));
        EXPECT_EQ(Calls(kPicture, -1), 1);
        EXPECT_EQ(WindowTextW(edit), typed);
        EXPECT_EQ(GetKeyState(VK_SHIFT) & 0x8000, 0) << "Shift is up again once the keys have run";
    }
}

// Processor time this thread has used, in ms.
uint64_t BusyMs()
{
    FILETIME unused, kernel, user;
    GetThreadTimes(GetCurrentThread(), &unused, &unused, &kernel, &user);
    auto ticks = [](const FILETIME& f) { return uint64_t{f.dwHighDateTime} << 32 | f.dwLowDateTime; };
    return (ticks(kernel) + ticks(user)) / 10000;
}

// A modal loop that a sent message starts inside the wait (the system menu by
// keyboard, as another program can ask for) runs until it is cancelled,
// without the thread spinning; an event held back before the loop runs once,
// after the wait.
TEST_F(EventsTest, AModalLoopInsideAWaitCostsLittleAndHeldBackEventsRunOnceAfterIt)
{
    HWND window = UnitWindow(0);
    HWND edit = UnitWindow(kEdit);
    const DWORD windowThread = GetCurrentThreadId();
    bool inMenu = false;
    std::atomic<bool> menuOver{false};
    std::thread canceller;
    auto work = [&] {
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(edit), EN_CHANGE), reinterpret_cast<LPARAM>(edit));
        canceller = std::thread([&] {
            Sleep(1000);
            // Cancelled as the system cancels a menu (DefWindowProc's
            // WM_CANCELMODE), and by Esc should that leave it open; again
            // until the loop is over, which on a loaded machine may start late.
            for (int round = 0; round < 50 && !menuOver; ++round) {
                GUITHREADINFO info{sizeof info};
                if (GetGUIThreadInfo(windowThread, &info) && (info.flags & GUI_INMENUMODE)) inMenu = true;
                SendMessageW(window, WM_CANCELMODE, 0, 0);
                Sleep(200);
                if (menuOver) break;
                PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 1);
                PostMessageW(window, WM_KEYUP, VK_ESCAPE, 0xC0000001);
                Sleep(200);
            }
        });
        SendMessageW(window, WM_SYSCOMMAND, SC_KEYMENU, 0);
        menuOver = true;
    };
    const uint64_t busyBefore = BusyMs();
    const DWORD start = GetTickCount();
    EXPECT_EQ(WaitAnsweringWhile(work, 10000), WAIT_OBJECT_0);
    const DWORD waited = GetTickCount() - start;
    const uint64_t busy = BusyMs() - busyBefore;
    canceller.join();
    if (!inMenu) GTEST_SKIP() << "the system started no menu loop for SC_KEYMENU here";
    EXPECT_GE(waited, 900u);
    EXPECT_LT(busy * 10, waited) << busy << " ms of processor time in " << waited << " ms";
    EXPECT_EQ(Calls(kEdit, 0), 0);
    Pump(200);
    EXPECT_EQ(Calls(kEdit, 0), 1);
}

// An object of the window thread's apartment (on the test's stack) that
// another apartment asks for an interface it lacks: a call COM carries to the
// object's thread as a message.
struct Unknown : IUnknown {
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IPersist) askedInsideTheWait = InAnsweringWait();
        *out = iid == IID_IUnknown ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    int askedInsideTheWait = -1;
};

// A call into the apartment (as a screen reader's, for the window's
// accessible object) is carried out during the wait, not after it.
TEST_F(EventsTest, CallsIntoTheApartmentAreAnsweredDuringAWait)
{
    if (!App().hiddenOwner) InitializeRuntime(nullptr);
    Unknown object;
    IStream* marshalled = nullptr;
    ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IUnknown, &object, &marshalled), S_OK);
    auto work = [&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        IUnknown* proxy = nullptr;
        void* persist = nullptr;
        if (SUCCEEDED(CoGetInterfaceAndReleaseStream(marshalled, IID_IUnknown, reinterpret_cast<void**>(&proxy)))) {
            proxy->QueryInterface(IID_IPersist, &persist);
            proxy->Release();
        }
        CoUninitialize();
    };
    const DWORD start = GetTickCount();
    EXPECT_EQ(WaitAnsweringWhile(work, 5000), WAIT_OBJECT_0);
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_EQ(object.askedInsideTheWait, 1) << "-1: the call never reached the object";
}

TEST(EventsNotLoaded, GenericPropertiesOfAWindowNotLoadedComeFromTheRecord)
{
    ASSERT_TRUE(ReadTestForm({kWindowUnitId, kUnitTypeWindow, 50, 50, 415, 127},
                             {{kLabel, kUnitTypeLabel, 8, 40, 216, 32, kUnitVisible | kUnitDisabled, {}}}));
    EXPECT_EQ(ReadUnitProperty(kWindowId, kLabel, 0, -1), 8);
    EXPECT_EQ(ReadUnitProperty(kWindowId, kLabel, 2, -1), 216);
    EXPECT_EQ(ReadUnitProperty(kWindowId, kLabel, 5, -1), 1);
    EXPECT_EQ(ReadUnitProperty(kWindowId, kLabel, 6, -1), 1);
    WriteUnitProperty(kWindowId, kLabel, 2, -1, 50000, 0);
    EXPECT_EQ(ReadUnitProperty(kWindowId, kLabel, 2, -1), 32627);
    UnloadTestWindow();
}

}  // namespace
