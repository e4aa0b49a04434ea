// A child process for the runtime errors of event dispatch and the property
// services, which end the program: it prints what it saw and the error
// report's message (the box is suppressed by the error hook).
#include "runtime/core/heap.h"
#include "runtime/core/runtime_app.h"
#include "runtime/core/runtime_error.h"
#include "runtime/core/runtime_init.h"
#include "runtime/forms/unit_properties.h"
#include "tests/runtime/units/window_fixture.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

using namespace unit_test;

namespace {

constexpr UnitId kLabel = 0x16011EE1;

int32_t ReportError(int32_t code, const char* message)
{
    std::printf("error:%s\n", message);
    std::fflush(stdout);
    return 1;
}

int32_t RaiseDuringReport(int32_t code, const char* message)
{
    const bool ran = RaiseUnitEvent(kWindowId, kLabel, -1, {1, 2, 0});
    std::printf("during-report ran=%d\n", ran ? 1 : 0);
    std::fflush(stdout);
    return 1;
}

// A call into code that is no longer there (an unloaded library's window
// procedure, say): the fault is at the very address being run. Some platforms
// swallow a fault inside a window procedure called back during DestroyWindow,
// so it is noted the moment it is raised.
LONG CALLBACK NoteCallIntoNothing(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* e = info->ExceptionRecord;
    if (e->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && e->NumberParameters >= 2 &&
        e->ExceptionInformation[1] == reinterpret_cast<ULONG_PTR>(e->ExceptionAddress)) {
        std::printf("fault: no code at %p\n", e->ExceptionAddress);
        std::fflush(stdout);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

UnitSpec Window() { return {kWindowUnitId, kUnitTypeWindow, 50, 50, 415, 127}; }

// A byte set as large as the process can hold, with no room left for another
// block of its size: whoever copies it runs out of memory.
ByteSet LargestByteSet()
{
    uint32_t lo = 1u << 20, hi = 0x7FF00000u;
    while (hi - lo > (1u << 20)) {
        uint32_t mid = lo + (hi - lo) / 2;
        void* p = RuntimeTryAlloc(mid);
        RuntimeFree(p);
        (p ? lo : hi) = mid;
    }
    auto* block = static_cast<uint8_t*>(RuntimeTryAlloc(lo));
    if (!block) return nullptr;
    while (RuntimeTryAlloc(lo)) {
    }
    SetArrayWord(block, 0, 1);
    SetArrayWord(block, 1, lo - 8);
    std::printf("bytes=%u\n", lo - 8);
    std::fflush(stdout);
    return block;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* scenario = argc > 1 ? argv[1] : "";
    gRoutines[0] = [](const int32_t*, int32_t, int32_t*) {
        std::printf("handler\n");
        std::fflush(stdout);
        return 0;
    };
    UnitSpec label{kLabel, kUnitTypeLabel, 8, 8, 100, 20, kUnitVisible, {}, {{-1, 0}}};
    SetRuntimeErrorHook(&ReportError);
    if (std::strcmp(scenario, "not-loaded") == 0) {
        ReadTestForm(Window(), {label});
        std::printf("width=%d\n", static_cast<int>(ReadUnitProperty(kWindowId, kLabel, 2, -1)));
        ReadUnitProperty(kWindowId, kLabel, 8, -1);
    } else if (std::strcmp(scenario, "error-box") == 0) {
        LoadTestWindow(Window(), {label});
        RaiseUnitEvent(kWindowId, kLabel, -1, {1, 2, 0});
        SetRuntimeErrorHook(&RaiseDuringReport);
        RaiseRuntimeError("boom", 0);
    } else if (std::strcmp(scenario, "unknown-unit") == 0) {
        LoadTestWindow(Window(), {label});
        RaiseUnitEvent(kWindowId, 0x16019999, -1, {1, 2, 0});
    } else if (std::strcmp(scenario, "unknown-window") == 0) {
        LoadTestWindow(Window(), {label});
        RaiseUnitEvent(0x52019999, kLabel, -1, {1, 2, 0});
    } else if (std::strcmp(scenario, "viewer-exit") == 0) {
        // The control container the HTML viewer loaded goes with the exit
        // sequence, as the DLL commands' libraries do.
        LoadTestWindow(Window(), {{0x16011EE4, kUnitTypeHtmlViewer, 10, 40, 100, 40, kUnitTabStop, {}}});
        std::printf("atl before=%d\n", GetModuleHandleW(L"atl.dll") ? 1 : 0);
        std::fflush(stdout);
        UnloadTestWindow();
        // The fixture does not start the runtime; the exit sequence runs on
        // the thread it takes for the main one.
        App().mainThreadId = GetCurrentThreadId();
        RunExitSequence(0);
        std::printf("atl after=%d\n", GetModuleHandleW(L"atl.dll") ? 1 : 0);
        std::fflush(stdout);
        return 0;
    } else if (std::strcmp(scenario, "viewer-again") == 0) {
        // A viewer made after the exit sequence has freed the control
        // container: the container loads again, elsewhere when its old place
        // is taken, and its window class must lead into that new copy.
        AddVectoredExceptionHandler(1, NoteCallIntoNothing);
        const UnitSpec viewer{0x16011EE4, kUnitTypeHtmlViewer, 10, 40, 100, 40, kUnitTabStop, {}};
        LoadTestWindow(Window(), {viewer});
        auto first = reinterpret_cast<const uint8_t*>(GetModuleHandleW(L"atl.dll"));
        auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(first);
        const SIZE_T size =
            reinterpret_cast<const IMAGE_NT_HEADERS*>(first + dos->e_lfanew)->OptionalHeader.SizeOfImage;
        UnloadTestWindow();
        App().mainThreadId = GetCurrentThreadId();
        RunExitSequence(0);
        VirtualAlloc(const_cast<uint8_t*>(first), size, MEM_RESERVE, PAGE_NOACCESS);
        const bool loaded = LoadTestWindow(Window(), {viewer});
        const bool moved = reinterpret_cast<const uint8_t*>(GetModuleHandleW(L"atl.dll")) != first;
        const bool control = FindWindowExW(UnitWindow(viewer.id), nullptr, L"AtlAxWin", nullptr) != nullptr;
        std::printf("viewer again loaded=%d moved=%d control=%d\n", loaded, moved, control);
        std::fflush(stdout);
        UnloadTestWindow();
        return 0;
    } else if (std::strcmp(scenario, "viewer-error") == 0) {
        // The runtime started as a program's is, a window kept out of the
        // taskbar (so the hidden owner owns it) with its HTML viewer alive,
        // then a runtime error with its box: the exit sequence ends the
        // window and its hosted control on its way out.
        AddVectoredExceptionHandler(1, NoteCallIntoNothing);
        InitializeRuntime(nullptr);
        LoadTestWindow(Window(), {{0x16011EE4, kUnitTypeHtmlViewer, 10, 40, 100, 40, kUnitTabStop, {}}});
        WriteUnitProperty(kWindowId, kWindowUnitId, 8 + 18, -1, 0, 0);
        std::printf("owned=%d\n", GetWindow(UnitWindow(0), GW_OWNER) == App().hiddenOwner ? 1 : 0);
        std::fflush(stdout);
        SetRuntimeErrorHook(nullptr);
        RaiseRuntimeError("boom", 0);
    } else if (std::strcmp(scenario, "write-unknown-window") == 0) {
        ReadTestForm(Window(), {label});
        WriteUnitProperty(0x52019999, kLabel, 0, -1, 5, 0);
    } else if (std::strcmp(scenario, "picture-too-large") == 0) {
        // The window's background picture (own property 3): its copy cannot
        // be made.
        LoadTestWindow(Window(), {label});
        WriteUnitProperty(kWindowId, kWindowUnitId, 11, -1, reinterpret_cast<uintptr_t>(LargestByteSet()), 0);
    }
    std::printf("returned\n");
    return 0;
}
