#include "tests/support/child_process.h"

#include <windows.h>

#include <mutex>
#include <thread>

void BringUpDesktop()
{
    static bool done = false;
    if (done) return;
    done = true;
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ShowWindow(probe, SW_SHOWNA);
    MSG msg;
    for (int i = 0; i < 20; ++i) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(10);
    }
    DestroyWindow(probe);
}

std::wstring CurrentExecutablePath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

ChildResult RunChild(const std::wstring& exe, const std::wstring& arguments, uint32_t timeoutMs,
                     void (*whileRunning)(uint32_t, void*), void* context)
{
    ChildResult result;
    ChildProcess child;
    if (!child.Start(exe, arguments)) return result;
    result.started = true;
    DWORD start = GetTickCount();
    while (!child.Wait(50)) {
        if (GetTickCount() - start > timeoutMs) {
            result.timedOut = true;
            child.Kill();
            break;
        }
        if (whileRunning) whileRunning(child.ProcessId(), context);
    }
    result.exitCode = child.ExitCode();
    child.Close();
    result.output = child.Output();
    return result;
}

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
    BringUpDesktop();
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

void ChildProcess::Close()
{
    if (!state_) return;
    if (state_->reader.joinable()) state_->reader.join();
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
