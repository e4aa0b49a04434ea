// The real message box: GBK texts must read right whatever the system's code
// page (CTest runs it under code page 1252), and the pressed button maps to
// the command's result.
#include "runtime/commands/system_commands.h"

#include "app/call.h"
#include "tests/support/message_box_probe.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>

namespace {

constexpr char kMessage[] = "\xCE\xB4\xD5\xD2\xB5\xBD\xCF\xC2\xD4\xD8\xC1\xB4\xBD\xD3\xA3\xA1";  // 未找到下载链接！
constexpr char kDefaultCaption[] = "\xD0\xC5\xCF\xA2\xA3\xBA";                                  // 信息：

// Presses OK on the box with the caption once it appears (up to 20 s).
MessageBoxSeen DismissWhenShown(const std::wstring& caption)
{
    for (int i = 0; i < 400; ++i) {
        MessageBoxSeen seen = FindAndDismissMessageBox(GetCurrentProcessId(), caption);
        if (seen.found) return seen;
        Sleep(50);
    }
    return {};
}

TEST(MessageBoxWin32, GbkTextsShownThroughTheWideFunction)
{
    SetMessageBoxPresenter(nullptr);
    MessageBoxSeen seen;
    std::thread presser([&] { seen = DismissWhenShown(FromGbk(kDefaultCaption)); });
    const int32_t button = Call::Int(ShowMessageBox, kMessage, 0);
    presser.join();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, FromGbk(kMessage));
    EXPECT_EQ(seen.text, L"\u672A\u627E\u5230\u4E0B\u8F7D\u94FE\u63A5\uFF01");
    EXPECT_EQ(button, 0);  // OK
}

}  // namespace
