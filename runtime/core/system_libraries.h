// Where libraries come from. The program is one exe that people run from
// wherever they saved it (a downloads folder that a web page can drop files
// into), so a library the system holds is never looked for beside the program
// or in the current folder: a file planted there under a system library's
// name would run inside the program with the user's rights.
#pragma once

#include <string>
#include <string_view>

// Early at start: takes the program's and the current folder out of the
// search for every library loaded by bare name from now on, the ones the
// platform loads on the program's behalf included, where the system lets a
// process say so. Safe to call more than once.
void RestrictLibrarySearch();

// The full path of `name` in the system folder when the system folder holds a
// file of that name (".dll" added when the name has no extension, as the
// loader does); empty otherwise, and for any name with a folder or drive in it.
std::wstring SystemLibraryPath(std::wstring_view name);

// Loads `name` from the system folder, by full path, its own dependencies
// from there too. Null (an HMODULE) when the system folder holds no such file
// or it does not load. Never looks anywhere else.
void* LoadSystemLibrary(std::wstring_view name);
