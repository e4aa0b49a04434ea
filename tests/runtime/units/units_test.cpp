// The units' own behaviour on a real window: gradient frames, the edit box's
// height rule, spin control and focus events, pictures on labels and buttons,
// the mouse pointer property and window titles.
#include "runtime/core/heap.h"
#include "runtime/forms/unit_properties.h"
#include "runtime/forms/window_set.h"
#include "runtime/units/property_rules.h"
#include "runtime/units/unit.h"
#include "runtime/units/unit_data.h"
#include "tests/runtime/pictures/picture_files.h"
#include "tests/runtime/units/window_fixture.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <string>

using namespace unit_test;
namespace pf = picture_files;

namespace {

constexpr UnitId kUnit = 0x16011EE1;
constexpr UnitId kOther = 0x16011EE2;

UnitSpec Window() { return {kWindowUnitId, kUnitTypeWindow, 50, 50, 415, 160}; }

class UnitsTest : public ::testing::Test {
protected:
    void TearDown() override { UnloadTestWindow(); }
};

std::vector<uint8_t> FontOfHeight(int32_t height)
{
    FontRecord60 f{};
    f.height = height;
    f.weight = 400;
    f.charSet = 134;
    SetFaceName(f, "SimSun");
    std::vector<uint8_t> bytes(sizeof f);
    std::memcpy(bytes.data(), &f, sizeof f);
    return bytes;
}

TEST_F(UnitsTest, GradientFrameNeedsTwoColoursAndThenShrinksTheTextArea)
{
    struct Case {
        uint32_t colors[3];
        bool frame;
    };
    const Case cases[] = {{{0x00FF0000, 0xFF000000, 0xFF000000}, false}, {{0x00FF0000, 0x0000FF00, 0xFF000000}, true}};
    for (const Case& c : cases) {
        LabelData d;
        d.caption = "";
        d.borderStyle = 6;
        d.gradientBorderWidth = 6;
        std::memcpy(d.borderColors, c.colors, sizeof d.borderColors);
        d.backColor = 0x00FFFFFF;
        ASSERT_TRUE(
            LoadTestWindow(Window(), {{kUnit, kUnitTypeLabel, 10, 10, 60, 30, kUnitVisible, WriteLabelData(d)}}));
        ClientPixels p(UnitWindow(kUnit));
        if (c.frame) {
            EXPECT_TRUE(Near(p.At(0, 15), RGB(0, 0, 255), 8)) << "outer edge: first colour";
            EXPECT_TRUE(Near(p.At(5, 15), RGB(0, 255, 0), 8)) << "inner edge: last colour";
            EXPECT_TRUE(Near(p.At(6, 15), RGB(255, 255, 255), 0)) << "inside the frame";
        } else {
            EXPECT_TRUE(Near(p.At(0, 15), RGB(255, 255, 255), 0)) << "no frame with one colour";
        }
        UnloadTestWindow();
    }
}

TEST_F(UnitsTest, SingleLineEditBoxIsMadeTallEnoughForItsFont)
{
    SL_SKIP_UNLESS_96_DPI();
    struct Case {
        std::vector<uint8_t> font;
        int storedHeight;
        int minimum;
    };
    const Case cases[] = {{FontOfHeight(-40), 20, 40}, {{}, 6, 12}};
    for (const Case& c : cases) {
        EditBoxData d;
        d.font = c.font;
        ASSERT_TRUE(LoadTestWindow(
            Window(), {{kUnit, kUnitTypeEditBox, 10, 10, 100, c.storedHeight, kUnitVisible, WriteEditBoxData(d)}}));
        RECT r;
        GetWindowRect(UnitWindow(kUnit), &r);
        EXPECT_GE(r.bottom - r.top, c.minimum);
        UnloadTestWindow();
    }
    // A tall enough box keeps its height.
    ASSERT_TRUE(
        LoadTestWindow(Window(), {{kUnit, kUnitTypeEditBox, 10, 10, 100, 60, kUnitVisible, WriteEditBoxData({})}}));
    RECT r;
    GetWindowRect(UnitWindow(kUnit), &r);
    EXPECT_EQ(r.bottom - r.top, 60);
}

// The control's text limit comes from the stored maximum length alone: 0
// means no limit, not the control's default of about 30000 characters that
// would cut a long pasted address short.
TEST_F(UnitsTest, EditBoxTextLimitComesFromTheStoredMaximumLength)
{
    // More than any default limit, in short words or lines, which the
    // control lays out quickly.
    auto Full = [](bool multiLine) {
        std::wstring text;
        while (text.size() < 32768) text += multiLine ? L"address\r\n" : L"address ";
        return text;
    };
    struct Case {
        int32_t maxLength;
        bool multiLine;
        bool filled;  // the box already holds a long text (set by the program: no limit applies)
        int kept;     // characters of a paste of ten the box keeps
    } const cases[] = {
        {0, false, true, 10},
        {0, true, true, 10},
        {5, false, false, 5},
    };
    for (const Case& c : cases) {
        EditBoxData d;
        d.maxLength = c.maxLength;
        d.multiLine = c.multiLine;
        ASSERT_TRUE(
            LoadTestWindow(Window(), {{kUnit, kUnitTypeEditBox, 10, 10, 100, 60, kUnitVisible, WriteEditBoxData(d)}}));
        HWND box = UnitWindow(kUnit);
        const std::wstring full = c.filled ? Full(c.multiLine) : std::wstring();
        const int before = static_cast<int>(full.size());
        SetWindowTextW(box, full.c_str());
        SendMessageW(box, EM_SETSEL, before, before);
        SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"0123456789"));
        EXPECT_EQ(GetWindowTextLengthW(box) - before, c.kept) << c.maxLength << " " << c.multiLine;
        UnloadTestWindow();
    }
}

TEST_F(UnitsTest, EditBoxSpinControlAndFocusEvents)
{
    static int focusGained = 0, focusLost = 0;
    focusGained = focusLost = 0;
    gRoutines[0] = [](const int32_t*, int32_t, int32_t*) { return ++focusGained, 0; };
    gRoutines[1] = [](const int32_t*, int32_t, int32_t*) { return ++focusLost, 0; };
    EditBoxData d;
    d.spin = 1;
    d.spinLower = 50;
    d.spinUpper = 5;
    d.content = "7";
    UnitSpec edit{
        kUnit, kUnitTypeEditBox, 10, 10, 100, 22, kUnitVisible | kUnitTabStop, WriteEditBoxData(d), {{-7, 0}, {-8, 1}}};
    ASSERT_TRUE(LoadTestWindow(
        Window(),
        {edit, {kOther, kUnitTypeButton, 150, 10, 60, 24, kUnitVisible | kUnitTabStop, WriteButtonData({})}}));
    HWND box = UnitWindow(kUnit);
    const int id = GetDlgCtrlID(box);
    HWND spin = GetDlgItem(GetParent(box), id + 4);
    ASSERT_NE(spin, nullptr);
    wchar_t cls[32] = {};
    GetClassNameW(spin, cls, 32);
    EXPECT_STREQ(cls, L"msctls_updown32");
    int lo = 0, hi = 0;
    SendMessageW(spin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lo), reinterpret_cast<LPARAM>(&hi));
    EXPECT_EQ(lo, 5);
    EXPECT_EQ(hi, 50);
    EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(spin, UDM_GETBUDDY, 0, 0)), box);

    SetFocus(box);
    Pump();
    EXPECT_EQ(focusGained, 1);
    SetFocus(UnitWindow(kOther));
    Pump();
    EXPECT_EQ(focusLost, 1);
}

TEST_F(UnitsTest, LabelAndButtonPictures)
{
    LabelData label;
    label.caption = "";
    label.pictureMode = 0;
    label.backColor = 0x00FFFFFF;
    label.picture = pf::Bmp(8, 8, 24, [](int x, int y) { return pf::Quadrants(x, y, 8, 8); });
    ButtonData button;
    button.picture = label.picture;
    ASSERT_TRUE(
        LoadTestWindow(Window(), {{kUnit, kUnitTypeLabel, 10, 10, 40, 20, kUnitVisible, WriteLabelData(label)},
                                  {kOther, kUnitTypeButton, 100, 10, 60, 30, kUnitVisible, WriteButtonData(button)}}));
    ClientPixels p(UnitWindow(kUnit));
    EXPECT_TRUE(Near(p.At(1, 1), RGB(255, 0, 0), 8)) << "natural size at the top left";
    EXPECT_TRUE(Near(p.At(7, 7), RGB(255, 255, 255), 8));
    EXPECT_TRUE(Near(p.At(20, 10), RGB(255, 255, 255), 0)) << "the rest is background";
    // Tiled: the picture repeats.
    WriteUnitProperty(kWindowId, kUnit, 8 + 11, -1, 1, 0);
    ClientPixels tiled(UnitWindow(kUnit));
    EXPECT_TRUE(Near(tiled.At(9, 1), RGB(255, 0, 0), 8));
    EXPECT_TRUE(Near(tiled.At(13, 9), RGB(0, 255, 0), 8));

    HWND b = UnitWindow(kOther);
    EXPECT_TRUE(GetWindowLongW(b, GWL_STYLE) & BS_BITMAP);
    EXPECT_NE(SendMessageW(b, BM_GETIMAGE, IMAGE_BITMAP, 0), 0);
}

TEST_F(UnitsTest, MousePointerIsStoredAsCursorNumberAndReadAsIndex)
{
    ASSERT_TRUE(LoadTestWindow(Window(), {{kUnit, kUnitTypeLabel, 10, 10, 40, 20, kUnitVisible, {}}}));
    WriteUnitProperty(kWindowId, kUnit, 7, -1, HeapBytes({2, 0, 0, 0}), 0);
    const UnitRecord* record = FindUnitRecord(kWindowId, kUnit);
    ASSERT_EQ(record->pointerData.size(), 4u);
    uint32_t stored;
    std::memcpy(&stored, record->pointerData.data(), 4);
    EXPECT_EQ(stored, 32515u) << "the cross";
    EXPECT_NE(record->cursor, nullptr);
    ByteSet back = reinterpret_cast<ByteSet>(static_cast<uintptr_t>(ReadUnitProperty(kWindowId, kUnit, 7, -1)));
    ASSERT_EQ(ByteSetLength(back), 4u);
    EXPECT_EQ(ByteSetData(back)[0], 2);
    RuntimeFree(back);
    // Unknown bytes are kept, with no cursor.
    WriteUnitProperty(kWindowId, kUnit, 7, -1, HeapBytes({99, 0, 0, 0}), 0);
    EXPECT_EQ(FindUnitRecord(kWindowId, kUnit)->cursor, nullptr);
}

TEST_F(UnitsTest, WindowTitleAndBorderStyleProperties)
{
    ASSERT_TRUE(LoadTestWindow(Window(), {}));
    HWND w = UnitWindow(0);
    WriteUnitProperty(kWindowId, 0, 8, -1, reinterpret_cast<uintptr_t>("\xb4\xb0\xbf\xda"), 0);  // 窗口
    EXPECT_EQ(WindowTextW(w), L"\u7a97\u53e3");
    EXPECT_TRUE(GetWindowLongW(w, GWL_STYLE) & WS_CAPTION);
    WriteUnitProperty(kWindowId, 0, 8 + 1, -1, 0, 0);
    EXPECT_FALSE(GetWindowLongW(w, GWL_STYLE) & WS_CAPTION) << "border style 0: no caption";
    WriteUnitProperty(kWindowId, 0, 8 + 1, -1, 77, 0);
    EXPECT_EQ(ReadUnitProperty(kWindowId, 0, 8 + 1, -1), 6) << "clamped to 0..6";
    EXPECT_TRUE(GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    Text title = reinterpret_cast<Text>(static_cast<uintptr_t>(ReadUnitProperty(kWindowId, 0, 8, -1)));
    ASSERT_NE(title, nullptr);
    EXPECT_STREQ(title, "\xb4\xb0\xbf\xda");
    RuntimeFree(title);
}

TEST_F(UnitsTest, FirstActivationThenActivationAndDeactivationEvents)
{
    static std::vector<int32_t> order;
    order.clear();
    gRoutines[0] = [](const int32_t*, int32_t, int32_t*) { return order.push_back(8), 0; };
    gRoutines[1] = [](const int32_t*, int32_t, int32_t*) { return order.push_back(5), 0; };
    gRoutines[2] = [](const int32_t*, int32_t, int32_t*) { return order.push_back(6), 0; };
    UnitSpec window = Window();
    window.bindings = {{8, 0}, {5, 1}, {6, 2}};
    ASSERT_TRUE(LoadTestWindow(window, {}));
    HWND ours = UnitWindow(0);
    ASSERT_FALSE(order.empty()) << "showing the loaded window activates it";
    EXPECT_EQ(order[0], 8);
    EXPECT_EQ(order[1], 5);

    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 100, 50, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    SetForegroundWindow(other);
    SetActiveWindow(other);
    Pump(50);
    SetForegroundWindow(ours);
    SetActiveWindow(ours);
    Pump(50);
    DestroyWindow(other);
    EXPECT_EQ(std::count(order.begin(), order.end(), 8), 1) << "event 8 only before the first activation";
    EXPECT_GE(std::count(order.begin(), order.end(), 6), 1);
    EXPECT_GE(std::count(order.begin(), order.end(), 5), 2);
}

}  // namespace
