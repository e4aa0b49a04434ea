#include "runtime/core/system_libraries.h"

#include <windows.h>

#include <vector>

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

bool IsFile(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// "C:\..." or "\\server\...": a folder that does not depend on the current one.
bool IsFullFolder(std::wstring_view folder)
{
    if (folder.size() >= 3 && folder[1] == L':' && (folder[2] == L'\\' || folder[2] == L'/')) return true;
    return folder.size() >= 2 && folder[0] == L'\\' && folder[1] == L'\\';
}

std::wstring Joined(std::wstring folder, const std::wstring& file)
{
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return folder + file;
}

}  // namespace

void RestrictLibrarySearch()
{
    // Everywhere: the current folder leaves the search order.
    SetDllDirectoryW(L"");
    // Where the system allows it: only the system folder is searched for a
    // library named without a path and for the dependencies of any library,
    // so the program's folder drops out too. The folders that other software
    // running in the process adds with AddDllDirectory for its own libraries
    // (an input method, a shell extension of the save dialog, a security
    // product's hook) stay searched: leaving them out would break that
    // software, not protect the program. The program adds none itself.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    auto setDefault =
        reinterpret_cast<SetDefaultDllDirectoriesFn>(GetProcAddress(Kernel32(), "SetDefaultDllDirectories"));
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS);
}

bool IsFullLibraryPath(std::wstring_view name)
{
    auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    if (name.find(L':') != std::wstring_view::npos) return true;
    return name.size() >= 2 && separator(name[0]) && separator(name[1]);
}

std::wstring LibraryFileName(std::wstring_view name)
{
    std::wstring file(name);
    if (file.empty()) return file;
    size_t lastPart = file.find_last_of(L"\\/");
    lastPart = lastPart == std::wstring::npos ? 0 : lastPart + 1;
    if (file.back() == L'.')
        file.pop_back();
    else if (file.find(L'.', lastPart) == std::wstring::npos)
        file += L".dll";
    return file;
}

std::wstring SystemLibraryPath(std::wstring_view name)
{
    if (name.empty() || HasFolderOrDrive(name)) return {};
    std::wstring file = LibraryFileName(name);
    if (file.empty()) return {};
    wchar_t folder[MAX_PATH] = {};
    UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::wstring path = Joined(std::wstring(folder, n), file);
    return IsFile(path) ? path : std::wstring();
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

void* LoadPrivateLibrary(std::wstring_view path)
{
    std::wstring file = LibraryFileName(path);
    if (file.empty()) return nullptr;
    // The folder flag needs a full path; a relative one would mean the
    // current folder.
    DWORD n = GetFullPathNameW(file.c_str(), 0, nullptr, nullptr);
    if (n == 0) return nullptr;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(file.c_str(), n, full.data(), nullptr);
    if (n == 0 || n >= full.size()) return nullptr;
    full.resize(n);
    if (!IsFile(full)) return nullptr;
    // The process-wide search (system folder only) would apply to this
    // library's own imports too, so a library of the program's that needs
    // another one beside it would not load: its own folder is searched for
    // them first. Without the flags, the altered search path does the same
    // for a library loaded by full path.
    DWORD flags = SearchFlagsSupported() ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                                         : LOAD_WITH_ALTERED_SEARCH_PATH;
    return LoadLibraryExW(full.c_str(), nullptr, flags);
}

std::wstring FindLibraryBeyondSystemFolder(std::wstring_view name)
{
    if (name.empty() || HasFolderOrDrive(name)) return {};
    std::wstring file = LibraryFileName(name);
    // The shared Windows folder: on a terminal server GetWindowsDirectory
    // gives a folder of the user's own (unless the program is marked aware of
    // terminal servers, which it is), where anyone could put a library.
    wchar_t windows[MAX_PATH] = {};
    UINT w = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (w > 0 && w < MAX_PATH) {
        for (const std::wstring& folder : {Joined(std::wstring(windows, w), L"System"), std::wstring(windows, w)}) {
            std::wstring path = Joined(folder, file);
            if (IsFile(path)) return path;
        }
    }
    DWORD n = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (n == 0) return {};
    std::vector<wchar_t> buffer(n);
    n = GetEnvironmentVariableW(L"PATH", buffer.data(), n);
    if (n == 0 || n >= buffer.size()) return {};
    std::wstring_view list(buffer.data(), n);
    while (!list.empty()) {
        size_t end = list.find(L';');
        std::wstring_view entry = list.substr(0, end);
        list = end == std::wstring_view::npos ? std::wstring_view() : list.substr(end + 1);
        if (entry.size() >= 2 && entry.front() == L'"' && entry.back() == L'"')
            entry = entry.substr(1, entry.size() - 2);
        if (!IsFullFolder(entry)) continue;
        std::wstring path = Joined(std::wstring(entry), file);
        if (IsFile(path)) return path;
    }
    return {};
}
