/* A file planted beside a program under a system library's name. Its start-up
 * code leaves a mark beside it ("<its own file>.loaded") and refuses to load:
 * a test sees that it was tried even when the program then goes on with the
 * system's own library. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved)
{
    wchar_t path[MAX_PATH + 8] = {0};
    DWORD n;
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    n = GetModuleFileNameW(self, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        HANDLE mark;
        lstrcatW(path, L".loaded");
        mark = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
    }
    return FALSE;
}
