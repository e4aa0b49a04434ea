// The seam between the runtime core (start-up, loop, exit) and the window
// part (form registry, window loading, units). The window part registers its
// entries once; a program with no window part still starts, loops and ends.
#pragma once

#include <cstddef>
#include <cstdint>

struct WindowPartEntries {
    // Start-up: read the stored window descriptions and relocate the event
    // handlers against the code base. False if the form data is damaged.
    bool (*readFormBlock)(const uint8_t* data, uint32_t size, const void* codeBase);
    // LoadWindowService: load and show a window by identifier.
    bool (*loadWindow)(uint32_t windowId);
    // True while at least one loaded window has a live window handle.
    bool (*anyWindowAlive)();
    // Loaded windows, for the idle phase: fills up to `max` identifiers and
    // returns how many there are.
    size_t (*loadedWindows)(uint32_t* ids, size_t max);
    // A window's idle routine; true while it has more work.
    bool (*windowIdle)(uint32_t windowId, uint32_t elapsedMs);
    // Offers a message (a MSG*) to the window objects from its target up
    // through the parents; true if one handled it.
    bool (*preTranslateMessage)(void* msg);
    // Exit sequence step 5: release every window description.
    void (*releaseWindowDescriptions)();
    // Exit sequence step 10: window unit resources, cursors, icons.
    void (*releaseResources)();
    // SystemNotify codes of the window part (1001..2017 and its own).
    int64_t (*notify)(int32_t code, uintptr_t arg1, uintptr_t arg2);
};

void RegisterWindowPart(const WindowPartEntries* entries);
const WindowPartEntries* WindowPart();  // null when none is registered
