#include "tests/support/child_process.h"

#include <windows.h>

#include <thread>

std::wstring CurrentExecutablePath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

namespace {

void DrainPipe(HANDLE pipe, std::string* out)
{
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) out->append(buffer, n);
}

}  // namespace

ChildResult RunChild(const std::wstring& exe, const std::wstring& arguments, uint32_t timeoutMs,
                     void (*whileRunning)(uint32_t, void*), void* context)
{
    ChildResult result;
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return result;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    PROCESS_INFORMATION pi = {};
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return result;
    }
    CloseHandle(writeEnd);
    result.started = true;
    std::thread reader(DrainPipe, readEnd, &result.output);

    DWORD start = GetTickCount();
    for (;;) {
        DWORD wait = WaitForSingleObject(pi.hProcess, 50);
        if (wait == WAIT_OBJECT_0) break;
        if (GetTickCount() - start > timeoutMs) {
            result.timedOut = true;
            TerminateProcess(pi.hProcess, 0xDEAD);
            WaitForSingleObject(pi.hProcess, 5000);
            break;
        }
        if (whileRunning) whileRunning(pi.dwProcessId, context);
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    result.exitCode = code;
    reader.join();
    CloseHandle(readEnd);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return result;
}

#include <mutex>

struct ChildProcess::State {
    HANDLE process = nullptr;
    HANDLE readEnd = nullptr;
    std::thread reader;
    mutable std::mutex mutex;
    std::string output;
};

ChildProcess::~ChildProcess()
{
    if (!state_) return;
    if (Running()) Kill();
    if (state_->reader.joinable()) state_->reader.join();
    if (state_->readEnd) CloseHandle(state_->readEnd);
    if (state_->process) CloseHandle(state_->process);
    delete state_;
}

bool ChildProcess::Start(const std::wstring& exe, const std::wstring& arguments, const wchar_t* environment)
{
    state_ = new State;
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&state_->readEnd, &writeEnd, &sa, 0)) return false;
    SetHandleInformation(state_->readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    PROCESS_INFORMATION pi = {};
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    DWORD flags = environment ? CREATE_UNICODE_ENVIRONMENT : 0;
    BOOL ok = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags,
                             const_cast<wchar_t*>(environment), nullptr, &si, &pi);
    CloseHandle(writeEnd);
    if (!ok) return false;
    CloseHandle(pi.hThread);
    state_->process = pi.hProcess;
    processId_ = pi.dwProcessId;
    State* s = state_;
    state_->reader = std::thread([s] {
        char buffer[4096];
        DWORD n = 0;
        while (ReadFile(s->readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) {
            std::lock_guard<std::mutex> lock(s->mutex);
            s->output.append(buffer, n);
        }
    });
    return true;
}

bool ChildProcess::Running() const
{
    return state_ && state_->process && WaitForSingleObject(state_->process, 0) == WAIT_TIMEOUT;
}

bool ChildProcess::Wait(uint32_t timeoutMs)
{
    return state_ && state_->process && WaitForSingleObject(state_->process, timeoutMs) == WAIT_OBJECT_0;
}

uint32_t ChildProcess::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (state_ && state_->process) GetExitCodeProcess(state_->process, &code);
    return code;
}

void ChildProcess::Kill()
{
    if (!state_ || !state_->process) return;
    TerminateProcess(state_->process, 0xDEAD);
    WaitForSingleObject(state_->process, 5000);
}

std::string ChildProcess::Output() const
{
    if (!state_) return std::string();
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->output;
}

bool ChildProcess::WaitForOutput(const std::string& text, size_t count, uint32_t timeoutMs) const
{
    DWORD start = GetTickCount();
    for (;;) {
        std::string out = Output();
        size_t n = 0;
        for (size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1)) ++n;
        if (n >= count) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
}
