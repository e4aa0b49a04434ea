// WinInet keeps every download of a request that asks for a file in the
// prefix's cache, and an abandoned download leaves its part behind. Tests that
// download many megabytes remove what they left there.
#pragma once

#include <string>

// Deletes the cache files of downloads whose address ends in a file name
// starting with `stem` (the cache names them stem[N]), complete or not.
void RemoveCachedDownloads(const std::wstring& stem);

// Deletes the user's URL cache entries (and their files) whose address starts
// with `prefix`, as a test or benchmark that made many of them leaves the
// cache: Wine's WinInet keeps an entry for every download that asked for a
// file, even with INTERNET_FLAG_NO_CACHE_WRITE, and every later request of
// the prefix gets slower as the cache grows. Returns how many went.
size_t ForgetCachedAddresses(const std::wstring& prefix);
