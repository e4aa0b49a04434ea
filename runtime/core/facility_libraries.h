// Libraries a runtime facility loads for itself, outside the program's DLL
// command table (the HTML viewer's control container, for one). They stay
// loaded while the program runs and are freed at the very end of the exit
// sequence, after the windows' end and OLE's: their code may run until then.
#pragma once

#include <string>
#include <vector>

// Keeps `module` (an HMODULE from LoadLibrary) until the exit sequence. Once
// it has been freed, `forget` (if given) is called so that the facility drops
// what it bound from it and loads it again should it be needed. `inUse` (if
// given) says whether a window or object of the library's still exists; such
// a library is never freed, the process's end takes it. `windowClasses` names
// the window classes the library may register for its own windows: Windows
// keeps a library's classes registered when the library is unloaded, so a
// class whose window procedure is the library's is unregistered before it is
// freed, and a library whose class cannot be unregistered stays loaded.
void KeepFacilityLibrary(void* module, void (*forget)(), bool (*inUse)() = nullptr,
                         std::vector<std::wstring> windowClasses = {});

// Exit sequence: frees every kept library no longer in use, newest first, and
// empties the list.
void ReleaseFacilityLibraries();
