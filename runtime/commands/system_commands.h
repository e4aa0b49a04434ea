// System commands of the core support library: the message box and letting
// waiting window messages through.
#pragma once

#include "runtime/core/values.h"

#include <cstdint>

// message (any basic type), button-and-icon flags, [caption, default "信息："],
// [owner: a window or a window handle] -> int: OK 0, Cancel 1, Abort 2,
// Retry 3, Ignore 4, Yes 5, No 6.
void ShowMessageBox(CommandResult* result, int32_t argc, ArgRecord* args);
// Dispatches every message already waiting (a quit message stays queued).
void ProcessEvents(CommandResult* result, int32_t argc, ArgRecord* args);

// Shows a box: (owner window handle, GBK text, GBK caption, flags) -> the
// platform's button code (1 OK, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore, 6 Yes,
// 7 No). The Win32 build converts both texts with code page 936 and calls the
// wide MessageBox; the native build shows nothing and answers OK.
int32_t PlatformMessageBox(uintptr_t owner, const char* text, const char* caption, uint32_t flags);

// Replaces how boxes are shown, for tests that must not block on a real box;
// null restores PlatformMessageBox.
using MessageBoxPresenter = int32_t (*)(uintptr_t owner, const char* text, const char* caption, uint32_t flags);
void SetMessageBoxPresenter(MessageBoxPresenter presenter);
