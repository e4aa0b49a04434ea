// What a test needs to know about the machine it runs on, so that the same
// program runs on real Windows and on the Wine bench: the tests adapt here at
// run time, never through settings the build or the test scripts provide.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

// True when the program runs under Wine (ntdll exports wine_get_version
// there and nowhere else).
bool RunningUnderWine();

// The DPI the system tells this process: the system's own in a DPI-aware
// process (the window tests, like the program, are), 96 in one that is not
// (Windows then scales its windows for it).
uint32_t SystemDpi();

// The names among `progIds` that no class is registered under, separated by
// ", " (empty when all are there): platform objects a test needs that this
// system lacks (a Windows component removed or not installed).
std::string MissingClasses(std::initializer_list<const wchar_t*> progIds);

// For a case whose pixels are laid out and measured at 96 DPI: skipped, with
// the reason, on a system at another DPI (DpiLayoutTest covers scaled layouts).
#define SL_SKIP_UNLESS_96_DPI()                                                                                        \
    if (const uint32_t slDpi = SystemDpi(); slDpi != 96)                                                               \
    GTEST_SKIP() << "measured in pixels at 96 DPI; this system is at " << slDpi                                        \
                 << " DPI (the layout at other DPIs is checked by DpiLayoutTest)"

// Wine loads its own library for a system name even when a file of that
// name lies beside the program; Windows loads the file for every library that
// is not a "known DLL" (winhttp, wininet and atl are not). Under Wine this
// tells processes of the program named `programName` (a file name such as
// "songlink.exe") started while it lives to take such files first, as Windows
// would, through the prefix's per-program setting, which it removes again.
// Wine takes the setting only when such a process starts (a process cannot
// change it for itself, nor pass it through its children's environment). On
// Windows it does nothing.
class NativeFirstUnderWine {
public:
    explicit NativeFirstUnderWine(const std::wstring& programName);
    ~NativeFirstUnderWine();
    NativeFirstUnderWine(const NativeFirstUnderWine&) = delete;
    NativeFirstUnderWine& operator=(const NativeFirstUnderWine&) = delete;

    // True in a process started under such a setting.
    static bool InEffect();

private:
    std::wstring key_;  // empty on Windows
};
