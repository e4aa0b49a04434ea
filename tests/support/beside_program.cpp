#include "tests/support/beside_program.h"

#ifdef _WIN32
#include <windows.h>

#include <vector>

std::string BesideProgram(const char* name)
{
    // Folders deeper than MAX_PATH are legal: grow until the path fits.
    std::vector<wchar_t> path(MAX_PATH);
    DWORD n = 0;
    while ((n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) == path.size())
        path.resize(path.size() * 2);
    std::wstring folder(path.data(), n);
    folder.erase(folder.find_last_of(L'\\') + 1);
    const int size =
        WideCharToMultiByte(936, 0, folder.c_str(), static_cast<int>(folder.size()), nullptr, 0, nullptr, nullptr);
    std::string gbk(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(936, 0, folder.c_str(), static_cast<int>(folder.size()), gbk.data(), size, nullptr, nullptr);
    return gbk + name;
}

#else
#include <unistd.h>

#include <climits>

std::string BesideProgram(const char* name)
{
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path);
    std::string folder(path, n > 0 ? static_cast<size_t>(n) : 0);
    folder.erase(folder.find_last_of('/') + 1);
    return folder + name;
}
#endif
