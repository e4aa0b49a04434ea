// The runtime's start, error and exit paths in real child processes.
#include "runtime/core/runtime_error.h"
#include "tests/support/child_process.h"
#include "tests/support/message_box_probe.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

std::wstring ChildPath()
{
    std::wstring self = CurrentExecutablePath();
    return self.substr(0, self.find_last_of(L"\\/") + 1) + L"sl_core_child.exe";
}

struct BoxWatch {
    MessageBoxSeen seen;
};

void DismissErrorBox(uint32_t processId, void* context)
{
    auto* watch = static_cast<BoxWatch*>(context);
    if (watch->seen.found) return;
    watch->seen = FindAndDismissMessageBox(processId, FromGbk("错误"));
}

size_t Count(const std::string& haystack, const std::string& needle)
{
    size_t n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
    return n;
}

TEST(SpineProcess, NoWindowEndsWithCodeZeroAfterOneExitHandlerRun)
{
    ChildResult r = RunChild(ChildPath(), L"plain", 30000);
    ASSERT_TRUE(r.started);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(Count(r.output, "exit handler ran on the main thread"), 1u) << r.output;
    // Exit handlers run after the window descriptions are released and
    // before the bound DLLs are unloaded.
    size_t released = r.output.find("window descriptions released");
    size_t handler = r.output.find("exit handler saw bound DLLs still loaded");
    ASSERT_NE(released, std::string::npos) << r.output;
    ASSERT_NE(handler, std::string::npos) << r.output;
    EXPECT_LT(released, handler);
}

struct ErrorCase {
    const wchar_t* scenario;
    std::string expectedText;
};

TEST(SpineProcess, RuntimeErrorsShowTheBoxAndEndWithMinusOne)
{
    const ErrorCase cases[] = {
        {L"error", FormatRuntimeErrorText(RuntimeErrorMessage(6), 6)},
        {L"missing-dll", "运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件“nosuch.dll”中的输出命令“F”\r\n"},
        {L"missing-export", "运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件中的输出命令“NoSuchExportAnywhere”\r\n"},
        {L"stack", FormatRuntimeErrorText(RuntimeErrorMessage(6), 6)},
        {L"no-window", "运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "scenario " << std::string(c.scenario, c.scenario + wcslen(c.scenario)));
        BoxWatch watch;
        ChildResult r = RunChild(ChildPath(), c.scenario, 30000, DismissErrorBox, &watch);
        ASSERT_TRUE(r.started);
        EXPECT_FALSE(r.timedOut);
        EXPECT_TRUE(watch.seen.found);
        // The static control shows the text with line breaks as written.
        EXPECT_EQ(watch.seen.text, FromGbk(c.expectedText));
        EXPECT_EQ(r.exitCode, 0xFFFFFFFFu);
        EXPECT_EQ(r.output.find("exit handler ran"), std::string::npos) << r.output;
        EXPECT_EQ(r.output.find("went unnoticed"), std::string::npos);
    }
}

// An exit asked for from another thread runs on the main thread. Asked for
// while the main thread waits for a slow download, it ends the wait at once
// (the download is abandoned) and runs once the wait has unwound, well
// within a second, not nested inside the wait.
TEST(SpineProcess, ExitRequestedFromSecondThreadRunsOnMainThread)
{
    const struct Case {
        const wchar_t* scenario;
        uint32_t exitCode;
        bool duringWait;
    } cases[] = {{L"thread-exit", 7, false}, {L"thread-exit-in-wait", 0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.duringWait ? "during a wait" : "from the loop");
        ChildResult r = RunChild(ChildPath(), c.scenario, 20000);
        ASSERT_TRUE(r.started);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(Count(r.output, "exit handler ran on the main thread"), 1u) << r.output;
        EXPECT_EQ(r.output.find("not carried out"), std::string::npos);
        EXPECT_EQ(r.output.find("inside a wait"), std::string::npos) << r.output;
        if (!c.duringWait) continue;
        EXPECT_LT(r.output.find("wait given up"), r.output.find("exit handler ran")) << r.output;
        EXPECT_EQ(Count(r.output, "exit handler ran within a second"), 1u) << r.output;
    }
}

}  // namespace
