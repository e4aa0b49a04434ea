// The description of the compiled program that start-up hands the runtime.
#pragma once

#include <cstdint>

// A support library's notify entry: code 1 at start-up with the address of
// SystemNotify, code 6 at exit with the library's state word.
using LibraryNotifyFn = intptr_t (*)(int32_t code, uintptr_t arg1, uintptr_t arg2);

struct SupportLibraryRecord {
    LibraryNotifyFn notify;  // may be null
};

struct ProgramHeader {
    uint32_t runMode;  // 3 in this program
    uint32_t reserved;
    uint32_t buildNumber;  // the runtime keeps this value plus 1
    // Base to which the event-handler offsets of the form data are relative.
    // Our handlers are C++ functions, so the base is the program's table of
    // subroutine addresses and an offset selects an entry of it.
    const void* codeBase;
    const void* staticDataStart;
    uint32_t staticDataSize;
    const uint8_t* formDataStart;
    uint32_t formDataSize;
    uint32_t supportLibraryCount;
    const SupportLibraryRecord* supportLibraries;
    uint32_t dllCommandCount;
    const char* const* dllLibraryNames;
    const char* const* dllExportNames;
};
