#include "app/test_probes.h"

#include "app/memory_census.h"
#include "app/program.h"
#include "app/unit_access.h"
#include "runtime/core/heap.h"
#include "runtime/forms/unit_properties.h"
#include "runtime/forms/window_loader.h"
#include "tests/support/class_stand_in.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// The address the unattended lookup asks about.
constexpr const char* kUnattendedAddress = "https://www.example.com/song/#hash=ABC&album_id=1";

struct Probes {
    bool unattended = false;
    long long failAllocation = 0;  // the lookup's allocation that fails; 0 none
    long long allocationsAtStart = 0;
    int depth = 0;  // a nested lookup is part of the outer one
} gProbes;

BOOL CALLBACK NoteMainWindow(HWND hwnd, LPARAM param)
{
    wchar_t cls[32] = {};
    GetClassNameW(hwnd, cls, 32);
    if (std::wcscmp(cls, L"WTWindow") != 0) return TRUE;
    *reinterpret_cast<HWND*>(param) = hwnd;
    return FALSE;
}

HWND MainWindow()
{
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), NoteMainWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Each "--without-class NAME" of the command line: that class is taken away
// from the process for its whole life, before the first lookup or warm-up
// step can make one, and a line says so.
void MakeNamedClassesUnavailable()
{
    constexpr std::wstring_view kOption = L"--without-class ";
    const std::wstring_view line = GetCommandLineW();
    for (size_t at = line.find(kOption); at != std::wstring_view::npos; at = line.find(kOption, at + 1)) {
        const size_t start = at + kOption.size();
        const std::wstring name(line.substr(start, line.find(L' ', start) - start));
        // Never released: the class stays away until the process ends.
        auto* unavailable = new ClassStandIn(name.c_str());
        const std::string ascii(name.begin(), name.end());  // class names are ASCII
        std::printf("without class %s: %s\n", ascii.c_str(), unavailable->InEffect() ? "yes" : "no");
    }
    std::fflush(stdout);
}

}  // namespace

void ProbeStartUnattendedLookup()
{
    MakeNamedClassesUnavailable();
    const wchar_t* option = std::wcsstr(GetCommandLineW(), L"--lookup ");
    if (!option) return;
    gProbes.unattended = true;
    gProbes.failAllocation = std::wcstoll(option + 9, nullptr, 10);
    WriteUnitText(kMainWindowId, kEditBoxUnitId, 8, kUnattendedAddress);
    HWND button = FindWindowExW(MainWindow(), nullptr, L"Button", nullptr);
    if (button) PostMessageW(button, BM_CLICK, 0, 0);
}

void ProbeBeforeLookup()
{
    if (gProbes.depth++ > 0) return;
    gProbes.allocationsAtStart = RuntimeAllocationCount();
    if (gProbes.unattended && gProbes.failAllocation > 0) RuntimeFailAllocationAfter(gProbes.failAllocation);
}

void ProbeAfterLookup()
{
    // Every lookup reports its end, a nested one too; the countdown and the
    // unattended close belong to the outermost.
    const bool outermost = --gProbes.depth == 0;
    if (outermost) RuntimeFailAllocationAfter(0);
    // The HTML viewer's Silent ("静默", own property 2): the lookup leaves it
    // as stored, so the browser may still ask the user what to do.
    if (IsWindowLoaded(kMainWindowId)) {
        std::printf("viewer silent %lld\n",
                    static_cast<long long>(ReadUnitProperty(kMainWindowId, kHtmlViewerUnitId, 10, -1)));
    }
    if (outermost) std::printf("%s\n", MemoryCensusLine().c_str());
    std::printf("lookup done: live blocks %lld allocations %lld\n", static_cast<long long>(RuntimeLiveBlocks()),
                static_cast<long long>(RuntimeAllocationCount() - gProbes.allocationsAtStart));
    std::fflush(stdout);
    if (outermost && gProbes.unattended) PostMessageW(MainWindow(), WM_CLOSE, 0, 0);
}
