// WinInet keeps every download of a request that asks for a file in the
// prefix's cache, and an abandoned download leaves its part behind. Tests that
// download many megabytes remove what they left there.
#pragma once

#include <string>

// Deletes the cache files of downloads whose address ends in a file name
// starting with `stem` (the cache names them stem[N]), complete or not.
void RemoveCachedDownloads(const std::wstring& stem);
