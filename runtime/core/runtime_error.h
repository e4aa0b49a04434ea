// The one way the runtime fails: a message box that says what went wrong,
// then the exit sequence with exit code -1. Nothing here returns.
#pragma once

#include <cstdint>
#include <string>

// Message texts 1..11 by index (the index is also the error code shown);
// null outside that range.
const char* RuntimeErrorMessage(int32_t index);

// ReportRuntimeError: by message index.
[[noreturn]] void ReportRuntimeError(int32_t index);

// The error report behind every runtime error: (message, code).
[[noreturn]] void RaiseRuntimeError(const char* message, int32_t code);

// "分配 %d 字节内存失败!" with the byte count.
[[noreturn]] void RaiseAllocationFailure(uint32_t size);

// The box text for (message, code), GBK.
std::string FormatRuntimeErrorText(const char* message, int32_t code);

// The error hook: called with (code, message) before the box; a non-zero
// result suppresses the box. The program ends either way.
using RuntimeErrorHook = int32_t (*)(int32_t code, const char* message);
void SetRuntimeErrorHook(RuntimeErrorHook hook);

// Number of runtime errors reported (also counted by each exit sequence).
int32_t RuntimeErrorCount();
void CountRuntimeError();
