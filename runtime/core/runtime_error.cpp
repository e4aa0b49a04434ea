#include "runtime/core/runtime_error.h"

#include "runtime/core/exit_handlers.h"
#include "runtime/core/process.h"

#include <atomic>
#include <cstdio>

namespace {

const char* const kMessages[] = {
    "数组成员引用下标超出定义范围",
    "未得到所需要的数值型数据",
    "引用数组成员时维数不为1且不等于该数组目前所具有的维数",
    "数组成员引用下标必须大于等于1",
    "数据或数组类型不匹配",
    "调用DLL命令后发现堆栈错误",
    "子语句参数未返回数据或者返回了非系统基本类型或数组型数据",
    "被比较数据只能使用等于或不等于命令比较",
    "“多项选择”命令的索引值参数小于零或超出了所提供参数表范围",
    "“重定义数组”命令的数组维定义参数值必须大于零或单维时大于等于零",
    "所提供参数的数据类型不符合要求",
};

RuntimeErrorHook gHook = nullptr;
bool gInHook = false;
std::atomic<int32_t> gErrorCount{0};

}  // namespace

const char* RuntimeErrorMessage(int32_t index)
{
    if (index < 1 || index > static_cast<int32_t>(std::size(kMessages))) return nullptr;
    return kMessages[index - 1];
}

std::string FormatRuntimeErrorText(const char* message, int32_t code)
{
    std::string text = "运行时出错!\r\n\r\n";
    if (code != 0) {
        text += "错误代码：";
        text += std::to_string(code);
        text += "\r\n\r\n";
    }
    if (message && *message) {
        text += "错误信息：";
        text += message;
        text += "\r\n";
    }
    return text;
}

void SetRuntimeErrorHook(RuntimeErrorHook hook) { gHook = hook; }

int32_t RuntimeErrorCount() { return gErrorCount.load(); }

void CountRuntimeError() { gErrorCount.fetch_add(1); }

void RaiseRuntimeError(const char* message, int32_t code)
{
    CountRuntimeError();
    bool suppressBox = false;
    // An error raised while the hook runs shows its box directly.
    if (gHook && !gInHook) {
        gInHook = true;
        suppressBox = gHook(code, message ? message : "") != 0;
        gInHook = false;
    }
    if (!suppressBox) ShowRuntimeErrorBox(FormatRuntimeErrorText(message, code).c_str());
    // After a runtime error the program's own exit handler must not run.
    ClearExitHandlers();
    ExitProcessService(-1);
}

void ReportRuntimeError(int32_t index)
{
    const char* message = RuntimeErrorMessage(index);
    RaiseRuntimeError(message ? message : "", index);
}

void RaiseAllocationFailure(uint32_t size)
{
    char message[64];
    std::snprintf(message, sizeof message, "分配 %d 字节内存失败!", static_cast<int>(size));
    RaiseRuntimeError(message, 0);
}
