#include "app/program.h"

#include "app/lookup_song_link.h"
#include "app/lookup_warm_up.h"
#include "app/unit_access.h"
#include "app/web/dll_declarations.h"
#include "runtime/core/heap.h"
#include "runtime/core/runtime_app.h"
#include "runtime/core/services.h"
#include "runtime/forms/events.h"
#include "runtime/units/window_part_entries.h"
#include "sl_app_form.h"
#ifdef SONGLINK_TEST_PROBES
#include "app/test_probes.h"
#endif

#include <cstdio>
#include <float.h>

namespace {

ProgramVariables gProgram;

// The program's static data: constants that may be handed around like heap
// values but are never freed.
struct StaticData {
    char emptyText[1] = "";
    uint32_t emptyByteSet[2] = {1, 0};
};
const StaticData kStaticData;

// Entries of the subroutine table that event bindings in the window
// description name by position (see the "subroutines" line there).
// Each entry takes the event's arguments as the runtime passes them and
// says whether it returned a value (neither routine does).
int32_t LookupSongLinkEntry(const int32_t*, int32_t, int32_t*)
{
#ifdef SONGLINK_TEST_PROBES
    ProbeBeforeLookup();
#endif
    LookupSongLink();
#ifdef SONGLINK_TEST_PROBES
    ProbeAfterLookup();
#endif
    return 0;
}
int32_t ClearAddressBoxEntry(const int32_t* args, int32_t argCount, int32_t*)
{
    ClearAddressBox(argCount > 0 ? args[0] : 0, argCount > 1 ? args[1] : 0, argCount > 2 ? args[2] : 0);
    return 0;
}
const ProgramRoutine kSubroutines[] = {LookupSongLinkEntry, ClearAddressBoxEntry};

// The core library's notify entry: at start-up it plugs the window part
// (window, label, picture box, edit box, button and, for library 3, the HTML
// viewer) into the runtime.
intptr_t CoreLibraryNotify(int32_t code, uintptr_t, uintptr_t)
{
    if (code == 1) RegisterWindowUnits();
    return 0;
}

// Library 1 is the core library, library 3 the HTML viewer's; their units are
// registered together, and library 2 has no notify entry of use here.
const SupportLibraryRecord kSupportLibraries[] = {
    {CoreLibraryNotify},
    {nullptr},
    {nullptr},
};

const ProgramHeader kHeader = {
    3,
    0,
    90324,
    kSubroutines,
    &kStaticData,
    sizeof kStaticData,
    kMainWindowForm,
    kMainWindowFormSize,
    3,
    kSupportLibraries,
    web::kDllCommandCount,
    web::kDllLibraryNames,
    web::kDllExportNames,
};

void Placeholder() {}

// A screen reader names an edit box after the static text just before it;
// the address box's label is a label unit, not a static control, and comes
// after it, so the box takes the label's caption as its name. The red cross
// that empties the box is announced as a push button saying what it does:
// clicking it acts at once, as a button does, and its picture says nothing
// to someone who cannot see it.
void AnnounceUnitsToScreenReaders()
{
    OwnedText label = ReadUnitText(kMainWindowId, kAddressLabelUnitId, 8);
    AnnounceUnitAs(kMainWindowId, kEditBoxUnitId, label.Get(), kAccessibleRoleOwn);
    AnnounceUnitAs(kMainWindowId, kPictureBoxUnitId, "清空网址", kAccessibleRolePushButton);
}

}  // namespace

ProgramVariables& Program() { return gProgram; }

const ProgramHeader& TheProgramHeader() { return kHeader; }

void ReleaseProgramVariables()
{
    int released = 0;
    if (gProgram.coverAddress) {
        RuntimeFree(gProgram.coverAddress);
        ++released;
    }
    gProgram.coverAddress = nullptr;
    if (gProgram.audioAddress) {
        RuntimeFree(gProgram.audioAddress);
        ++released;
    }
    gProgram.audioAddress = nullptr;
#ifdef SONGLINK_TEST_PROBES
    std::printf("released %d program texts\n", released);
    std::fflush(stdout);
#else
    (void)released;
#endif
}

void ClearAddressBox(int32_t, int32_t, int32_t)
{
    WriteUnitText(kMainWindowId, kEditBoxUnitId, 8, kStaticData.emptyText);
}

int32_t ProgramStart()
{
    Placeholder();
    return 0;
}

int ProgramEntry()
{
    RuntimeService(6, reinterpret_cast<uintptr_t>(&kHeader), 0);
    // Round to nearest, every exception masked: the floating arithmetic of the
    // program starts from a known control word.
    _fpreset();
    Placeholder();
    RuntimeService(3, reinterpret_cast<uintptr_t>(&ReleaseProgramVariables), 0);
    ProgramStart();
    LoadWindowService(kMainWindowId);
    AnnounceUnitsToScreenReaders();
    // Only once the window is shown: its start is not delayed by it.
    LookupWarmUp warmUp;
#ifdef SONGLINK_TEST_PROBES
    ProbeStartUnattendedLookup();
#endif
    EndProgram();
    return 0;
}
