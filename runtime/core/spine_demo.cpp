// Walks the runtime's spine with no window: initialisation, an exit handler,
// EndProgram with nothing to loop for, and the normal exit with code 0.
#include "runtime/core/program_header.h"
#include "runtime/core/runtime_app.h"
#include "runtime/core/services.h"

#include <windows.h>

#include <cstdio>

namespace {

const char kStaticData[] = "";

void SayGoodbye()
{
    std::printf("spine: exit handler ran; ending with exit code 0\n");
    std::fflush(stdout);
}

const ProgramHeader kHeader = {
    3, 0, 90324, nullptr, kStaticData, sizeof kStaticData, nullptr, 0, 0, nullptr, 0, nullptr, nullptr,
};

int ProgramEntry()
{
    RuntimeService(6, reinterpret_cast<uintptr_t>(&kHeader), 0);
    RuntimeService(3, reinterpret_cast<uintptr_t>(&SayGoodbye), 0);
    RuntimeService(3, reinterpret_cast<uintptr_t>(&SayGoodbye), 0);
    std::printf("spine: runtime initialised in %s; no window to show yet\n", App().programDirectory.c_str());
    std::fflush(stdout);
    EndProgram();
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return RunRuntimeApp(ProgramEntry); }
