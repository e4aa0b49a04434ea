// The process's start: the runtime's application object runs the program.
#include "app/program.h"
#include "runtime/core/runtime_app.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return RunRuntimeApp(ProgramEntry); }
