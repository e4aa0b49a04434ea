// Where libraries come from. The program is one exe that people run from
// wherever they saved it (a downloads folder that a web page can drop files
// into), so a library the system holds is never looked for beside the program
// or in the current folder: a file planted there under a system library's
// name would run inside the program with the user's rights. The program's own
// libraries are loaded by full path, and their own dependencies are looked for
// beside them and in the system folder.
#pragma once

#include <string>
#include <string_view>

// Early at start: takes the program's and the current folder out of the
// search for every library loaded by bare name from now on, the ones the
// platform loads on the program's behalf included, where the system lets a
// process say so. Folders that other software in the process (input methods,
// shell extensions, security products) adds for its own libraries stay in.
// Safe to call more than once.
void RestrictLibrarySearch();

// The loader's rule for a library's file name: no extension means ".dll",
// a trailing dot means none. Empty for an empty name.
std::wstring LibraryFileName(std::wstring_view name);

// Whether a declared library name is a path of its own, loaded by that path
// alone: one with a drive ("C:\libs\x.dll"), or one on a network share or in
// the system's own namespaces ("\\server\share\x.dll", "\\?\UNC\...",
// "\\.\..."); none of them depends on a folder of the program's.
bool IsFullLibraryPath(std::wstring_view name);

// The full path of `name` in the system folder when the system folder holds a
// file of that name (".dll" added as above); empty otherwise, and for any
// name with a folder or drive in it.
std::wstring SystemLibraryPath(std::wstring_view name);

// Loads `name` from the system folder, by full path, its own dependencies
// from there too. Null (an HMODULE) when the system folder holds no such file
// or it does not load. Never looks anywhere else.
void* LoadSystemLibrary(std::wstring_view name);

// Loads a library of the program's own from `path` (made full first; ".dll"
// added as above) when a file is there: the libraries it imports are looked
// for in its own folder first, then in the system folder. Null when there is
// no such file or it does not load.
void* LoadPrivateLibrary(std::wstring_view path);

// Where the system's standard search goes after the system folder, less the
// current folder: the 16-bit system folder, the Windows folder, then the
// folders named in PATH (full paths only: a relative entry would mean the
// current folder). The full path of the first file there named `name`
// (".dll" added as above); empty when none holds it or `name` has a folder or
// drive in it.
std::wstring FindLibraryBeyondSystemFolder(std::wstring_view name);
