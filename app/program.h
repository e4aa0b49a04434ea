// The program itself: its entry routine, its two program-level texts, its
// event routines and the description it hands the runtime.
#pragma once

#include "runtime/core/program_header.h"
#include "runtime/core/values.h"

#include <cstdint>

constexpr uint32_t kMainWindowId = 0x52010001;
constexpr uint32_t kWindowUnitId = 0x06010000;
constexpr uint32_t kEditBoxUnitId = 0x16011EE7;
constexpr uint32_t kPictureBoxUnitId = 0x16011F16;
constexpr uint32_t kHtmlViewerUnitId = 0x16011EE4;
constexpr uint32_t kButtonUnitId = 0x16011EE1;
constexpr uint32_t kAddressLabelUnitId = 0x16011EE6;

// The address of the cover picture and of the audio of the last lookup. Each
// assignment releases the old value; ReleaseProgramVariables frees both.
struct ProgramVariables {
    Text coverAddress = nullptr;  // owned
    Text audioAddress = nullptr;  // owned
};
ProgramVariables& Program();

// Registered as the program's exit handler.
void ReleaseProgramVariables();

// The picture box's event -1 routine: empties the edit box.
void ClearAddressBox(int32_t x, int32_t y, int32_t keyState);

// Returns 0; the program does its work from the window's events.
int32_t ProgramStart();

// Called by the runtime's start-up; runs the program and returns 0.
int ProgramEntry();

const ProgramHeader& TheProgramHeader();
