/* A program's own library that imports another of the program's own
 * (songlink_inner.dll, built from private_library.c), kept beside it: it
 * loads only when its own folder is searched for what it imports. */
#include <windows.h>

__declspec(dllimport) int WINAPI PrivateAnswer(int question);

__declspec(dllexport) int WINAPI OuterAnswer(int question) { return 2 * PrivateAnswer(question); }
