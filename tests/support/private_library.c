/* A program's own library: a name the system folder does not hold, kept
 * beside the program. */
#include <windows.h>

__declspec(dllexport) int WINAPI PrivateAnswer(int question) { return question + 1; }
