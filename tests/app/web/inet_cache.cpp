#include "tests/app/web/inet_cache.h"

#include <shlobj.h>
#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <vector>

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

size_t ForgetCachedAddresses(const std::wstring& prefix)
{
    // The entries are gathered first and deleted after the enumeration ends.
    std::vector<std::wstring> matching;
    std::vector<uint64_t> storage(4096 / 8);
    auto entry = [&storage] { return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(storage.data()); };
    DWORD size = static_cast<DWORD>(storage.size() * 8);
    HANDLE find = FindFirstUrlCacheEntryW(nullptr, entry(), &size);
    if (!find && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        storage.resize(size / 8 + 1);
        size = static_cast<DWORD>(storage.size() * 8);
        find = FindFirstUrlCacheEntryW(nullptr, entry(), &size);
    }
    if (!find) return 0;
    for (;;) {
        if (entry()->lpszSourceUrlName && std::wstring(entry()->lpszSourceUrlName).rfind(prefix, 0) == 0)
            matching.emplace_back(entry()->lpszSourceUrlName);
        size = static_cast<DWORD>(storage.size() * 8);
        if (FindNextUrlCacheEntryW(find, entry(), &size)) continue;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
        storage.resize(size / 8 + 1);
        size = static_cast<DWORD>(storage.size() * 8);
        if (!FindNextUrlCacheEntryW(find, entry(), &size)) break;
    }
    FindCloseUrlCache(find);
    size_t deleted = 0;
    for (const std::wstring& address : matching) deleted += DeleteUrlCacheEntryW(address.c_str()) ? 1 : 0;
    return deleted;
}
