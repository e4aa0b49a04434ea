// Runs one test program for run-tests.cmd with a time limit, so that a
// program stuck on a dialog nobody answers cannot hold up the whole run.
#pragma once

#include <string>

// What RunTestProgram returns for a program stopped at its time limit (the
// value of WAIT_TIMEOUT; GoogleTest programs end with 0 or 1).
constexpr long kTimedOutExitCode = 258;

// Starts `commandLine` with its output and errors written to `outputPath`
// (made anew) and no input, waits up to `seconds`, and returns its exit code.
// At the limit the program and every process it started are ended, a line
// saying so is added to the output, and kTimedOutExitCode is returned.
// Returns -1 (and says why on stderr) when it cannot be started.
long RunTestProgram(const std::wstring& commandLine, const std::wstring& outputPath, unsigned seconds);
