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
