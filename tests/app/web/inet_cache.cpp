#include "tests/app/web/inet_cache.h"

#include <shlobj.h>
#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <vector>

namespace {

// Deletes (or, with `remove` false, only counts) the files under `folder`
// named stem[N]...
int VisitUnder(const std::wstring& folder, const std::wstring& stem, bool remove)
{
    int count = 0;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring path = folder + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            count += VisitUnder(path, stem, remove);
        } else if (name.rfind(stem + L"[", 0) == 0) {
            ++count;
            if (remove) DeleteFileW(path.c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return count;
}

std::wstring CacheFolder()
{
    wchar_t cache[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_INTERNET_CACHE, nullptr, 0, cache) != S_OK) return {};
    return cache;
}

}  // namespace

void RemoveCachedDownloads(const std::wstring& stem)
{
    std::wstring cache = CacheFolder();
    if (!cache.empty()) VisitUnder(cache, stem, true);
}

int CachedDownloadCount(const std::wstring& stem)
{
    std::wstring cache = CacheFolder();
    return cache.empty() ? -1 : VisitUnder(cache, stem, false);
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
