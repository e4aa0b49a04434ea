#include "tests/app/web/inet_cache.h"

#include <shlobj.h>
#include <windows.h>

namespace {

void RemoveUnder(const std::wstring& folder, const std::wstring& stem)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring path = folder + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveUnder(path, stem);
        else if (name.rfind(stem + L"[", 0) == 0)
            DeleteFileW(path.c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace

void RemoveCachedDownloads(const std::wstring& stem)
{
    wchar_t cache[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_INTERNET_CACHE, nullptr, 0, cache) != S_OK) return;
    RemoveUnder(cache, stem);
}
