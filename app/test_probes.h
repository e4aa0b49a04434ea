// What the end-to-end tests' build of the program adds (SONGLINK_TEST_PROBES):
// a line on stdout after each lookup, and an unattended lookup started from
// its command line. The program proper reads no command line; none of this is
// in it.
#pragma once

// After the start-up window is shown: each class named with "--without-class
// NAME" on the command line is made unavailable to the process (a Windows
// without that component); with "--lookup N", fills the address box and
// clicks "下载" as a person would.
void ProbeStartUnattendedLookup();

// Around the lookup routine: the unattended lookup's N-th runtime allocation
// (counted from the start of the outermost lookup; 0 none) fails. Every
// lookup, a nested one too, ends with the line "lookup done: live blocks B
// allocations A": the live heap blocks, and the allocations asked for since
// the outermost lookup began; while the window is there, a line "viewer
// silent S" (the HTML viewer's Silent property, 0 or 1) comes just before it. Once the outermost is over, an unattended run
// closes its window.
void ProbeBeforeLookup();
void ProbeAfterLookup();
