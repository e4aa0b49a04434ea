// The user's WinInet cache folder. A request that asks for a file gets one
// there (and Wine's WinInet keeps it even when asked not to cache); tests that
// download many megabytes remove whatever was left there, and others check
// that nothing is.
#pragma once

#include <string>

// Deletes the cache files of downloads whose address ends in a file name
// starting with `stem` (the cache names them stem[N]), complete or not.
void RemoveCachedDownloads(const std::wstring& stem);

// How many such files there are (-1 when the cache folder is unknown).
int CachedDownloadCount(const std::wstring& stem);

// Deletes the user's URL cache entries (and their files) whose address starts
// with `prefix`, as a test or benchmark that made many of them leaves the
// cache: Wine's WinInet keeps an entry for every download that asked for a
// file, even with INTERNET_FLAG_NO_CACHE_WRITE, and every later request of
// the prefix gets slower as the cache grows. Returns how many went.
size_t ForgetCachedAddresses(const std::wstring& prefix);
