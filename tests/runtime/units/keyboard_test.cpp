// The window from the keyboard, with real key strokes: Tab and Shift+Tab walk
// the visible, enabled tab stops in stored tab order and wrap; Space and Enter
// click the focused button; Enter elsewhere clicks the button stored as the
// default one, and without one Enter and Esc in an edit box click nothing,
// still reach the box's key event and are not given to the control (which
// would ring on them).
#include "runtime/forms/unit_properties.h"
#include "runtime/units/unit_data.h"
#include "tests/runtime/units/window_fixture.h"
#include "tests/support/key_input.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace unit_test;

namespace {

constexpr UnitId kFirstBox = 0x16011EE1;
constexpr UnitId kHiddenViewer = 0x16011EE2;
constexpr UnitId kSpaceButton = 0x16011EE3;
constexpr UnitId kDisabledButton = 0x16011EE4;
constexpr UnitId kPicture = 0x16011EE5;
constexpr UnitId kLabel = 0x16011EE6;
constexpr UnitId kEnterButton = 0x16011EE7;

int gSpaceClicks = 0, gEnterClicks = 0, gDisabledClicks = 0;
std::vector<int32_t> gBoxKeys;

// Real key strokes, through the system's input queue to the focused window;
// empty once the window acted on them, else why they were not sent.
std::string Press(std::initializer_list<WORD> keys)
{
    std::string why = SendKeyChord(UnitWindow(0), keys);
    Pump(150);
    return why;
}

// Dark pixels along the inner top edge of a button, where its dotted focus
// rectangle runs (above the caption).
int FocusDots(HWND button)
{
    ClientPixels p(button);
    int dots = 0;
    for (int y = 2; y <= 4; ++y)
        for (int x = 5; x < p.Width() - 5; ++x) dots += GetGValue(p.At(x, y)) < 100;
    return dots;
}

UnitSpec Unit(UnitId id, UnitTypeId type, int32_t left, uint32_t flags, uint32_t tabOrder,
              std::vector<uint8_t> data = {})
{
    UnitSpec u{id, type, left, 10, 40, 24, flags, std::move(data)};
    u.tabOrder = tabOrder;
    return u;
}

class KeyboardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Load();
        if (!notInFront_.empty()) GTEST_SKIP() << notInFront_;
    }
    // `enterType`: the stored type of the button bound to routine 1 (1: the
    // default button).
    void Load(uint32_t enterType = 0, uint32_t boxLines = 0)
    {
        gSpaceClicks = gEnterClicks = gDisabledClicks = 0;
        gBoxKeys.clear();
        gRoutines[0] = [](const int32_t*, int32_t, int32_t*) { return ++gSpaceClicks, 0; };
        gRoutines[1] = [](const int32_t*, int32_t, int32_t*) { return ++gEnterClicks, 0; };
        gRoutines[2] = [](const int32_t*, int32_t, int32_t*) { return ++gDisabledClicks, 0; };
        gRoutines[3] = [](const int32_t* args, int32_t, int32_t*) { return gBoxKeys.push_back(args[0]), 0; };
        constexpr uint32_t kShown = kUnitVisible | kUnitTabStop;
        // Stored order differs from tab order; the label is no tab stop.
        UnitSpec space = Unit(kSpaceButton, kUnitTypeButton, 100, kShown, 2, WriteButtonData({}));
        space.bindings = {{0, 0}};
        ButtonData enterData;
        enterData.type = enterType;
        UnitSpec enter = Unit(kEnterButton, kUnitTypeButton, 300, kShown, 5, WriteButtonData(enterData));
        enter.bindings = {{0, 1}};
        UnitSpec disabled = Unit(kDisabledButton, kUnitTypeButton, 150, kShown | kUnitDisabled, 3, WriteButtonData({}));
        disabled.bindings = {{0, 2}};
        EditBoxData boxData;
        boxData.multiLine = boxLines;
        UnitSpec box = Unit(kFirstBox, kUnitTypeEditBox, 10, kShown, 0, WriteEditBoxData(boxData));
        box.bindings = {{-9, 3}};
        ASSERT_TRUE(LoadTestWindow({kWindowUnitId, kUnitTypeWindow, 50, 50, 415, 160},
                                   {enter, Unit(kPicture, kUnitTypePicBox, 200, kShown, 4),
                                    Unit(kLabel, kUnitTypeLabel, 250, kUnitVisible, 1), disabled, space, box,
                                    Unit(kHiddenViewer, kUnitTypeHtmlViewer, 50, kUnitTabStop, 1)}));
        notInFront_ = BringToForeground(UnitWindow(0));
        Pump(100);
    }
    void TearDown() override { UnloadTestWindow(); }

    // Why the loaded window is not in the foreground (empty when it is); a
    // window loaded again in a test is checked by its first key instead.
    std::string notInFront_;
};

// The system's edit control procedure, and the characters it was given.
WNDPROC gEditClassProc = nullptr;
std::vector<WPARAM> gEditChars;

LRESULT CALLBACK CountingEditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_CHAR) gEditChars.push_back(wp);
    return CallWindowProcW(gEditClassProc, hwnd, msg, wp, lp);
}

// Edit controls made while it lives run CountingEditProc beneath whatever
// subclasses them: it sees what reaches the control itself.
class EditClassWatch {
public:
    EditClassWatch() : probe_(CreateWindowExW(0, L"EDIT", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr))
    {
        gEditChars.clear();
        gEditClassProc = reinterpret_cast<WNDPROC>(
            SetClassLongPtrW(probe_, GCLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountingEditProc)));
    }
    ~EditClassWatch()
    {
        SetClassLongPtrW(probe_, GCLP_WNDPROC, reinterpret_cast<LONG_PTR>(gEditClassProc));
        DestroyWindow(probe_);
    }
    EditClassWatch(const EditClassWatch&) = delete;
    EditClassWatch& operator=(const EditClassWatch&) = delete;

private:
    HWND probe_;
};

TEST_F(KeyboardTest, TabWalksTheTabStopsInTabOrderBothWaysAndWraps)
{
    EXPECT_EQ(GetFocus(), UnitWindow(kFirstBox)) << "the first tab stop has the focus once the window shows";
    const UnitId forward[] = {kSpaceButton, kPicture, kEnterButton, kFirstBox, kSpaceButton};
    for (UnitId expected : forward) {
        SL_KEYS_OR_SKIP(Press({VK_TAB}));
        EXPECT_EQ(GetFocus(), UnitWindow(expected)) << std::hex << expected;
    }
    const UnitId backward[] = {kFirstBox, kEnterButton, kPicture, kSpaceButton, kFirstBox};
    for (UnitId expected : backward) {
        SL_KEYS_OR_SKIP(Press({VK_SHIFT, VK_TAB}));
        EXPECT_EQ(GetFocus(), UnitWindow(expected)) << std::hex << expected;
    }
    // Tab, taken by navigation, raises no key event; Shift still does.
    EXPECT_EQ(std::count(gBoxKeys.begin(), gBoxKeys.end(), VK_TAB), 0);
    EXPECT_GT(std::count(gBoxKeys.begin(), gBoxKeys.end(), VK_SHIFT), 0);
}

TEST_F(KeyboardTest, SpaceAndEnterClickTheFocusedButtonAndShowItsFocus)
{
    SL_SKIP_UNLESS_96_DPI();
    // Moved there by the keyboard, the button shows its focus rectangle.
    SL_KEYS_OR_SKIP(Press({VK_TAB}));
    HWND button = UnitWindow(kSpaceButton);
    ASSERT_EQ(GetFocus(), button);
    EXPECT_GT(FocusDots(button), 8);
    SL_KEYS_OR_SKIP(Press({VK_SPACE}));
    EXPECT_EQ(gSpaceClicks, 1);
    // The focused button looks like the default one; its stored type stays.
    EXPECT_EQ(ReadUnitProperty(kWindowId, kSpaceButton, 8 + 1, -1), 0);
    SL_KEYS_OR_SKIP(Press({VK_TAB}));
    SL_KEYS_OR_SKIP(Press({VK_TAB}));
    ASSERT_EQ(GetFocus(), UnitWindow(kEnterButton));
    SL_KEYS_OR_SKIP(Press({VK_RETURN}));
    EXPECT_EQ(gEnterClicks, 1);
    EXPECT_EQ(gSpaceClicks, 1);
    // Focused as a click leaves it, not by navigation: Enter clicks it too.
    SetFocus(button);
    SL_KEYS_OR_SKIP(Press({VK_RETURN}));
    EXPECT_EQ(gSpaceClicks, 2);
    EXPECT_EQ(gEnterClicks, 1);
    EXPECT_EQ(gDisabledClicks, 0);
}

TEST_F(KeyboardTest, EnterAndEscInTheBoxClickNothingWhateverTheButtonsIdentifiers)
{
    // Identifiers of OK and Cancel, which dialog navigation sends for Enter
    // and Esc outside a push button.
    SetWindowLongPtrW(UnitWindow(kSpaceButton), GWLP_ID, IDOK);
    SetWindowLongPtrW(UnitWindow(kEnterButton), GWLP_ID, IDCANCEL);
    SL_KEYS_OR_SKIP(Press({VK_TAB}));
    SL_KEYS_OR_SKIP(Press({VK_SHIFT, VK_TAB}));
    ASSERT_EQ(GetFocus(), UnitWindow(kFirstBox));
    SL_KEYS_OR_SKIP(Press({VK_RETURN}));
    SL_KEYS_OR_SKIP(Press({VK_ESCAPE}));
    EXPECT_EQ(gSpaceClicks, 0);
    EXPECT_EQ(gEnterClicks, 0);
    EXPECT_EQ(gBoxKeys, (std::vector<int32_t>{VK_RETURN, VK_ESCAPE})) << "the box's key event as before";
    EXPECT_EQ(GetFocus(), UnitWindow(kFirstBox));
    EXPECT_NE(UnitWindow(0), nullptr);
}

TEST_F(KeyboardTest, EnterAndEscAreNotGivenToASingleLineBox)
{
    // Windows' single-line edit control rings on the characters of keys it
    // does not take; Wine's is silent, so what can be seen here is that the
    // control is not given them, while other characters still reach it.
    UnloadTestWindow();
    EditClassWatch watch;
    Load();
    ASSERT_EQ(GetFocus(), UnitWindow(kFirstBox));
    SL_KEYS_OR_SKIP(Press({VK_RETURN}));
    SL_KEYS_OR_SKIP(Press({VK_ESCAPE}));
    SL_KEYS_OR_SKIP(Press({'A'}));
    EXPECT_EQ(gEditChars, (std::vector<WPARAM>{'a'}));
    EXPECT_EQ(gBoxKeys, (std::vector<int32_t>{VK_RETURN, VK_ESCAPE, 'A'})) << "the key events as before";
    EXPECT_EQ(gEnterClicks + gSpaceClicks, 0);
}

TEST_F(KeyboardTest, EnterElsewhereClicksTheStoredDefaultButtonAndWmUserIsTheProgramsOwn)
{
    // WM_USER is the application's own: only the dialog navigation's own
    // question of that value is answered as such.
    SetFocus(UnitWindow(kEnterButton));
    EXPECT_EQ(SendMessageW(UnitWindow(0), WM_USER, 0, 0), 0);
    UnloadTestWindow();
    Load(1);
    ASSERT_EQ(GetFocus(), UnitWindow(kFirstBox));
    SL_KEYS_OR_SKIP(Press({VK_RETURN}));
    EXPECT_EQ(gEnterClicks, 1);
    SL_KEYS_OR_SKIP(Press({VK_ESCAPE}));
    EXPECT_EQ(gEnterClicks, 1);
    // A focused push button is still the one Enter clicks.
    SetFocus(UnitWindow(kSpaceButton));
    SL_KEYS_OR_SKIP(Press({VK_RETURN}));
    EXPECT_EQ(gSpaceClicks, 1);
    EXPECT_EQ(gEnterClicks, 1);
    EXPECT_EQ(SendMessageW(UnitWindow(0), WM_USER, 0, 0), 0);
}

TEST_F(KeyboardTest, EscInAMultiLineBoxReachedByTabLeavesTheWindowOpen)
{
    // Dialog navigation asks the control it moves to with the key's message;
    // an edit control told of one takes itself to be in a dialog box, and a
    // multi-line one then closes its parent window on Esc.
    UnloadTestWindow();
    Load(0, 1);
    SetFocus(UnitWindow(kEnterButton));
    SL_KEYS_OR_SKIP(Press({VK_TAB}));
    ASSERT_EQ(GetFocus(), UnitWindow(kFirstBox));
    SL_KEYS_OR_SKIP(Press({VK_ESCAPE}));
    Pump(200);
    EXPECT_NE(UnitWindow(0), nullptr);
    EXPECT_EQ(GetFocus(), UnitWindow(kFirstBox));
}

}  // namespace
