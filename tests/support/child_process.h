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

// Makes sure the session's desktop exists before a child that opens windows
// starts: under Wine a child started while the desktop is still being created
// can hang. Done once per process; ChildProcess::Start calls it.
void BringUpDesktop();

// The full path of the running test executable.
std::wstring CurrentExecutablePath();

// Starts `exe` with `arguments` (a command-line tail), waits at most
// `timeoutMs`, kills it on time-out. While it runs, `whileRunning` (if set) is
// called every 50 ms with the child's process id.
ChildResult RunChild(const std::wstring& exe, const std::wstring& arguments, uint32_t timeoutMs,
                     void (*whileRunning)(uint32_t processId, void* context) = nullptr, void* context = nullptr);

// A child process the test interacts with while it runs: started with its
// output captured, waited for (or killed) when the test is done.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(const std::wstring& exe, const std::wstring& arguments, const wchar_t* environment = nullptr);
    uint32_t ProcessId() const { return processId_; }
    bool Running() const;
    // Waits for the end; false on time-out (the child then still runs).
    bool Wait(uint32_t timeoutMs);
    uint32_t ExitCode() const;
    void Kill();
    // After the end: waits until everything the child wrote has been read.
    void Close();
    // What the child has written so far (stdout and stderr together).
    std::string Output() const;
    // Waits until the output contains `text` at least `count` times.
    bool WaitForOutput(const std::string& text, size_t count, uint32_t timeoutMs) const;

private:
    struct State;
    State* state_ = nullptr;  // owned
    uint32_t processId_ = 0;
};
