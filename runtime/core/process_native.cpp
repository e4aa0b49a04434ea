// The native build's platform side: no windows, no DLLs, no OLE. The error
// box becomes a line on stderr; the exit sequence keeps the parts that have
// meaning here (exit handlers, the static range).
#include "runtime/core/exit_handlers.h"
#include "runtime/core/heap.h"
#include "runtime/core/process.h"
#include "runtime/core/program_header.h"
#include "runtime/core/runtime_init.h"

#include <cstdio>
#include <cstdlib>

void ShowRuntimeErrorBox(const char* gbkText)
{
    std::fprintf(stderr, "错误: %s\n", gbkText);
    std::fflush(stderr);
}

void ExitProcessService(int32_t code)
{
    RunExitHandlers();
    ClearStaticDataRange();
    std::fflush(nullptr);
    std::_Exit(code);
}

void InitializeRuntime(const ProgramHeader* header)
{
    if (header) SetStaticDataRange(header->staticDataStart, header->staticDataSize);
}
