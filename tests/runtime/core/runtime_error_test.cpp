// The error box's words and the error hook's contract.
#include "runtime/core/exit_handlers.h"
#include "runtime/core/runtime_error.h"

#include <gtest/gtest.h>

namespace {

TEST(RuntimeErrorText, ComposedFromCodeAndMessage)
{
    struct Case {
        const char* message;
        int32_t code;
        const char* expected;
    } cases[] = {
        {RuntimeErrorMessage(6), 6, "运行时出错!\r\n\r\n错误代码：6\r\n\r\n错误信息：调用DLL命令后发现堆栈错误\r\n"},
        {"", 0, "运行时出错!\r\n\r\n"},
        {nullptr, 0, "运行时出错!\r\n\r\n"},
        {"载入启动窗口失败", 0, "运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n"},
        {"", 11, "运行时出错!\r\n\r\n错误代码：11\r\n\r\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatRuntimeErrorText(c.message, c.code), c.expected);
}

TEST(RuntimeErrorText, MessageTableIsIndexedFromOne)
{
    EXPECT_EQ(RuntimeErrorMessage(0), nullptr);
    EXPECT_STREQ(RuntimeErrorMessage(1), "数组成员引用下标超出定义范围");
    EXPECT_STREQ(RuntimeErrorMessage(5), "数据或数组类型不匹配");
    EXPECT_STREQ(RuntimeErrorMessage(11), "所提供参数的数据类型不符合要求");
    EXPECT_EQ(RuntimeErrorMessage(12), nullptr);
}

int gHandlerRuns = 0;
void CountingHandler() { ++gHandlerRuns; }

TEST(ExitHandlers, RegisteredTwiceRunsOnceAndListEmpties)
{
    gHandlerRuns = 0;
    RegisterExitHandler(CountingHandler);
    RegisterExitHandler(CountingHandler);
    RunExitHandlers();
    EXPECT_EQ(gHandlerRuns, 1);
    RunExitHandlers();
    EXPECT_EQ(gHandlerRuns, 1);
}

#if !defined(_WIN32)
int32_t SuppressingHook(int32_t code, const char*) { return code == 5 ? 1 : 0; }

// A hook that suppresses the box still ends the program, and a runtime error
// never runs the program's exit handler.
TEST(RuntimeErrorDeathTest, HookSuppressesBoxButProgramEnds)
{
    EXPECT_EXIT(
        {
            SetRuntimeErrorHook(SuppressingHook);
            RegisterExitHandler([] { std::fputs("handler ran", stderr); });
            ReportRuntimeError(5);
        },
        testing::ExitedWithCode(255), "^$");
}
#endif

}  // namespace
