#include "runtime/core/system_libraries.h"

#include <windows.h>

namespace {

HMODULE Kernel32() { return GetModuleHandleW(L"kernel32.dll"); }

// The LOAD_LIBRARY_SEARCH_* flags and SetDefaultDllDirectories came with
// Windows 8 and with update KB2533623 for Windows 7; without them LoadLibraryEx
// refuses those flags. AddDllDirectory arrived with them, so its export tells.
bool SearchFlagsSupported()
{
    static const bool supported = GetProcAddress(Kernel32(), "AddDllDirectory") != nullptr;
    return supported;
}

bool HasFolderOrDrive(std::wstring_view name) { return name.find_first_of(L"\\/:") != std::wstring_view::npos; }

}  // namespace

void RestrictLibrarySearch()
{
    // Everywhere: the current folder leaves the search order.
    SetDllDirectoryW(L"");
    // Where the system allows it: only the system folder is searched for a
    // library named without a path and for the dependencies of any library,
    // so the program's folder drops out too.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    auto setDefault =
        reinterpret_cast<SetDefaultDllDirectoriesFn>(GetProcAddress(Kernel32(), "SetDefaultDllDirectories"));
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

std::wstring SystemLibraryPath(std::wstring_view name)
{
    if (name.empty() || HasFolderOrDrive(name)) return {};
    std::wstring file(name);
    // The loader's rule: no extension means ".dll"; a trailing dot means none.
    if (file.back() == L'.')
        file.pop_back();
    else if (file.find(L'.') == std::wstring::npos)
        file += L".dll";
    if (file.empty()) return {};
    wchar_t folder[MAX_PATH] = {};
    UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::wstring path(folder, n);
    if (path.back() != L'\\') path += L'\\';
    path += file;
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return {};
    return path;
}

void* LoadSystemLibrary(std::wstring_view name)
{
    std::wstring path = SystemLibraryPath(name);
    if (path.empty()) return nullptr;
    // The full path fixes the library itself; the flag decides where its own
    // dependencies come from: the system folder alone, or where the flag is
    // not known, the library's own folder (the system folder) first.
    DWORD flags = SearchFlagsSupported() ? LOAD_LIBRARY_SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH;
    return LoadLibraryExW(path.c_str(), nullptr, flags);
}
