#include "runtime/commands/system_commands.h"

#include "runtime/commands/command_table.h"
#include "runtime/core/services.h"
#include "runtime/core/window_part.h"
#include "runtime/forms/unit_types.h"
#include "tests/runtime/commands/command_test_util.h"

namespace {

struct BoxSeen {
    int calls = 0;
    uintptr_t owner = 0;
    std::string text;
    std::string caption;
    uint32_t flags = 0;
    int32_t answer = 1;
};
BoxSeen gBox;

int32_t RecordBox(uintptr_t owner, const char* text, const char* caption, uint32_t flags)
{
    ++gBox.calls;
    gBox.owner = owner;
    gBox.text = text;
    gBox.caption = caption;
    gBox.flags = flags;
    return gBox.answer;
}

class SystemCommands : public CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        gBox = BoxSeen{};
        SetMessageBoxPresenter(RecordBox);
    }
    void TearDown() override
    {
        SetMessageBoxPresenter(nullptr);
        CommandTest::TearDown();
    }
};

TEST_F(SystemCommands, MessageBoxTextCaptionFlagsAndOwner)
{
    Call::Int(ShowMessageBox, "\xCE\xB4\xD5\xD2\xB5\xBD", 0x10);
    EXPECT_EQ(gBox.text, "\xCE\xB4\xD5\xD2\xB5\xBD");
    EXPECT_EQ(gBox.caption, "\xD0\xC5\xCF\xA2\xA3\xBA");  // default caption
    EXPECT_EQ(gBox.flags, 0x2010u);                        // task-modal added
    EXPECT_EQ(gBox.owner, 0u);

    Call::Int(ShowMessageBox, 42, 0x1004, "cap", 0x1234);
    EXPECT_EQ(gBox.text, "42");
    EXPECT_EQ(gBox.caption, "cap");
    EXPECT_EQ(gBox.flags, 0x1004u);  // system-modal kept as is
    EXPECT_EQ(gBox.owner, 0x1234u);

    Call::Int(ShowMessageBox, true, 0);
    EXPECT_EQ(gBox.text, "\xD5\xE6");
    Call::Int(ShowMessageBox, WindowArg{5}, 0);  // not a basic type
    EXPECT_EQ(gBox.text, "");

    std::string longText(300, 'a');
    OwnedBytes bytes(CopyBytesAsByteSet(longText.data(), longText.size()));
    Call::Int(ShowMessageBox, bytes, 0);
    EXPECT_EQ(gBox.text.size(), 99u);  // a non-text message fills a 100-byte buffer
}

TEST_F(SystemCommands, MessageBoxButtonMapping)
{
    const int32_t expected[] = {0, 0, 1, 2, 3, 4, 5, 6, 0, 0};
    for (int32_t platform = 0; platform < 10; ++platform) {
        gBox.answer = platform;
        EXPECT_EQ(Call::Int(ShowMessageBox, "x", 0), expected[platform]) << platform;
    }
}

class FakeWindowUnit : public LiveUnit {
public:
    void* Handle() const override { return reinterpret_cast<void*>(uintptr_t{0xBEEF}); }
};
FakeWindowUnit gLoadedWindow;

// The window part's notify: window 7 is loaded, every other one is not.
int64_t WindowNotify(int32_t code, uintptr_t windowId, uintptr_t)
{
    if (code != 2006 || windowId != 7) return 0;
    return static_cast<int64_t>(reinterpret_cast<uintptr_t>(static_cast<LiveUnit*>(&gLoadedWindow)));
}

TEST_F(SystemCommands, MessageBoxOwnerWindow)
{
    WindowPartEntries entries{};
    entries.notify = WindowNotify;
    RegisterWindowPart(&entries);
    Call::Int(ShowMessageBox, "x", 0, kOmitted, WindowArg{7});
    EXPECT_EQ(gBox.owner, 0xBEEFu);
    Call::Int(ShowMessageBox, "x", 0, kOmitted, WindowArg{8});  // not loaded: no owner
    EXPECT_EQ(gBox.owner, 0u);
    RegisterWindowPart(nullptr);
}

int gPumped = 0;
void CountPump() { ++gPumped; }

TEST_F(SystemCommands, ProcessEventsGoesThroughSystemNotify)
{
    SetProcessEventsHandler(CountPump);
    Call::Void(ProcessEvents);
    SetProcessEventsHandler(nullptr);
    EXPECT_EQ(gPumped, 1);
}

TEST(CommandTable, EveryCommandByName)
{
    const char* names[] = {"TextLength", "FindText", "FindTextReverse", "LeftText", "RightText", "MidText",
                           "Character", "ReplaceText", "SplitText", "TrimBoth", "RemoveAllSpaces", "ToUpper",
                           "ToLower", "SpaceText", "RepeatText", "CompareTextCase", "ToText", "ToInt", "ToDateTime",
                           "ToByteSet", "BitOr", "ByteSetLength", "LeftBytes", "ReplaceBytes", "NewByteSet",
                           "ReadFromByteSet", "PointerToByteSet", "Now", "TimeDifference", "ShowMessageBox",
                           "ProcessEvents"};
    for (const char* name : names) EXPECT_NE(FindCommand(name), nullptr) << name;
    uint32_t count = 0;
    CommandTable(&count);
    EXPECT_EQ(count, sizeof names / sizeof names[0]);
    EXPECT_EQ(FindCommand("findtext"), nullptr);
    EXPECT_EQ(FindCommand(""), nullptr);
    EXPECT_EQ(Call::Int(FindCommand("FindText"), "abc", "c"), 3);
}

}  // namespace
