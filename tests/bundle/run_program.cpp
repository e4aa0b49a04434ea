#include "tests/bundle/run_program.h"

#include <windows.h>

#include <cstdio>

namespace {

struct Handle {
    HANDLE h = nullptr;  // owned
    Handle() = default;
    explicit Handle(HANDLE handle) : h(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    Handle(Handle&& other) noexcept : h(other.h) { other.h = nullptr; }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle()
    {
        if (h) CloseHandle(h);
    }
    HANDLE Get() const { return h; }
};

Handle OpenInheritable(const std::wstring& path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return Handle(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
}

// A job that ends its processes when its last handle closes: the program's
// own children (a program under test, a helper) end with it, also when this
// tool is stopped with Ctrl+C. A process of the job that crashes ends at
// once with its exception code, without the Windows Error Reporting dialog
// (the job forces SEM_NOGPFAULTERRORBOX on each), also a child its program
// started with CREATE_DEFAULT_ERROR_MODE.
Handle MakeTestJob()
{
    Handle job(CreateJobObjectW(nullptr, nullptr));
    if (!job.Get()) return job;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return job;
}

}  // namespace

long RunTestProgram(const std::wstring& commandLine, const std::wstring& outputPath, unsigned seconds)
{
    Handle output = OpenInheritable(outputPath, GENERIC_WRITE, CREATE_ALWAYS);
    Handle input = OpenInheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
    if (!output.Get() || !input.Get()) {
        std::fprintf(stderr, "bundle_tools: cannot open the output file (error %lu)\n", GetLastError());
        return -1;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.Get();
    startup.hStdOutput = output.Get();
    startup.hStdError = output.Get();
    // Nobody answers a dialog during a run: a crash must end the program and
    // count as a failure, not wait on the error-reporting dialog, and a
    // missing disk or file must come back as an error. The error mode is
    // inherited by the program and, unless one of them asks otherwise, by
    // everything it starts; this also covers a program the job could not take.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    PROCESS_INFORMATION started{};
    std::wstring line = commandLine;  // CreateProcessW may write into it
    // Suspended until it is in the job, so that nothing it starts escapes.
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                        &started)) {
        std::fprintf(stderr, "bundle_tools: cannot start the program (error %lu)\n", GetLastError());
        return -1;
    }
    Handle process(started.hProcess);
    Handle thread(started.hThread);
    // Before Windows 8 a process already in a job (one a service or a CI
    // runner started this tool in) cannot join another: the program then
    // runs outside one, and only it is ended at the limit.
    Handle job = MakeTestJob();
    const bool inJob = job.Get() && AssignProcessToJobObject(job.Get(), process.Get());
    ResumeThread(thread.Get());

    if (WaitForSingleObject(process.Get(), seconds * 1000u) == WAIT_TIMEOUT) {
        if (inJob) {
            TerminateJobObject(job.Get(), kTimedOutExitCode);
        } else {
            TerminateProcess(process.Get(), kTimedOutExitCode);
        }
        WaitForSingleObject(process.Get(), 10000);
        char note[96];
        const int length =
            std::snprintf(note, sizeof note, "\r\nrun-tests: stopped after %u s (the time limit)\r\n", seconds);
        SetFilePointer(output.Get(), 0, nullptr, FILE_END);
        DWORD written = 0;
        WriteFile(output.Get(), note, static_cast<DWORD>(length), &written, nullptr);
        return kTimedOutExitCode;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.Get(), &code);
    return static_cast<long>(code);
}
