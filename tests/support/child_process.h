// Runs a program as a real child process and waits for it, with a time limit,
// so that tests can check exit codes and what the child showed.
#pragma once

#include <cstdint>
#include <string>

struct ChildResult {
    bool started = false;
    bool timedOut = false;
    uint32_t exitCode = 0;
    std::string output;  // what the child wrote to stdout and stderr
};

// The full path of the running test executable.
std::wstring CurrentExecutablePath();

// Starts `exe` with `arguments` (a command-line tail), waits at most
// `timeoutMs`, kills it on time-out. While it runs, `whileRunning` (if set) is
// called every 50 ms with the child's process id.
ChildResult RunChild(const std::wstring& exe, const std::wstring& arguments, uint32_t timeoutMs,
                     void (*whileRunning)(uint32_t processId, void* context) = nullptr, void* context = nullptr);
