// What the error report and the exit sequence need from the platform. The
// Win32 build shows a real message box and runs the full exit sequence; the
// native build (sanitizers, fuzzing) writes the text to stderr and ends.
#pragma once

#include <cstdint>

// Shows the runtime error box (caption "错误", error icon, OK). GBK text.
void ShowRuntimeErrorBox(const char* gbkText);

// Runs the exit sequence with the code and terminates the process.
[[noreturn]] void ExitProcessService(int32_t code);
