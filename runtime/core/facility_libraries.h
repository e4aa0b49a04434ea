// Libraries a runtime facility loads for itself, outside the program's DLL
// command table (the HTML viewer's control container, for one). They stay
// loaded while the program runs and are freed by the exit sequence right
// after the DLL commands' modules.
#pragma once

// Keeps `module` (an HMODULE from LoadLibrary) until the exit sequence. Once
// it has been freed, `forget` (if given) is called so that the facility drops
// what it bound from it and loads it again should it be needed.
void KeepFacilityLibrary(void* module, void (*forget)());

// Exit sequence: frees every kept library, newest first, and empties the list.
void ReleaseFacilityLibraries();
