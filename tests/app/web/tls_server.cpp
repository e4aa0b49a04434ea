#include "tests/app/web/tls_server.h"

// First: windows.h (through test_certificates.h) would bring the old winsock.h.
#include <winsock2.h>

#include <windows.h>

#include "tests/app/web/test_certificates.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace {

bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

struct WinsockInit {
    WinsockInit()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockInit() { WSACleanup(); }
};

// A Linux path as Wine's DOS view of it, and back; empty when Wine cannot
// say (or this is not Wine).
std::wstring DosPath(const char* unixPath)
{
    using ToDos = WCHAR*(CDECL*)(const char*);
    auto toDos = reinterpret_cast<ToDos>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name"));
    WCHAR* dos = toDos ? toDos(unixPath) : nullptr;
    if (!dos) return {};
    std::wstring path = dos;
    HeapFree(GetProcessHeap(), 0, dos);
    return path;
}

std::wstring UnixPath(const std::wstring& dosPath)
{
    using ToUnix = char*(CDECL*)(const WCHAR*);
    auto toUnix =
        reinterpret_cast<ToUnix>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
    char* unixPath = toUnix ? toUnix(dosPath.c_str()) : nullptr;
    if (!unixPath) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, unixPath, -1, nullptr, 0);
    std::wstring path(n > 0 ? n - 1 : 0, L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, unixPath, -1, path.data(), n);
    HeapFree(GetProcessHeap(), 0, unixPath);
    return path;
}

// The front's script, which the build puts beside each test program that uses it.
std::wstring FrontScript()
{
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (n == 0 || n == MAX_PATH) return {};
    std::wstring path(self, n);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"tls_proxy.py";
}

bool Exists(const std::wstring& path)
{
    return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A folder of this process's own under the temporary folder, deleted with
// what is in it when the object goes.
class TempFolder {
public:
    TempFolder()
    {
        wchar_t temp[MAX_PATH];
        DWORD n = GetTempPathW(MAX_PATH, temp);
        if (n == 0 || n >= MAX_PATH) return;
        std::wstring path = std::wstring(temp, n) + L"SongLink-tls-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(GetTickCount());
        if (CreateDirectoryW(path.c_str(), nullptr)) path_ = path;
    }
    ~TempFolder()
    {
        if (path_.empty()) return;
        for (const std::wstring& file : files_) DeleteFileW(file.c_str());
        RemoveDirectoryW(path_.c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Writes `text` to a new file in the folder; its path, or empty.
    std::wstring Write(const wchar_t* name, const std::string& text)
    {
        if (path_.empty() || text.empty()) return {};
        std::wstring file = path_ + L"\\" + name;
        HANDLE handle =
            CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return {};
        files_.push_back(file);
        DWORD written = 0;
        bool ok = WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                  written == text.size();
        CloseHandle(handle);
        return ok ? file : std::wstring();
    }

private:
    std::wstring path_;
    std::vector<std::wstring> files_;
};

}  // namespace

struct LoopbackTlsServer::State {
    WinsockInit winsock;
    SOCKET control = INVALID_SOCKET;
    std::thread reader;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    size_t connections = 0;
    bool ended = false;  // the proxy closed the control connection

    // Starts the proxy and reads its port from the control connection.
    uint16_t Start(uint16_t backendPort, const TestCertificates& certificates);
    void ReadEvents(std::string pending);
};

uint16_t LoopbackTlsServer::State::Start(uint16_t backendPort, const TestCertificates& certificates)
{
    // The front reads its certificate and key once, before it calls back:
    // the files go as soon as this returns.
    TempFolder folder;
    std::wstring cert = folder.Write(L"localhost.pem", certificates.LeafPem());
    std::wstring key = folder.Write(L"localhost.key", certificates.LeafKeyPem());
    if (cert.empty() || key.empty()) {
        std::printf("TLS front: cannot write the certificate for it (error %lu)\n", GetLastError());
        return 0;
    }
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (listener == INVALID_SOCKET || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 1) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(listener);
        return 0;
    }
    // /usr/bin/env finds python3 on the Linux side's PATH, which Wine passes
    // on to the Linux programs it starts.
    std::wstring env = DosPath("/usr/bin/env");
    std::wstring commandLine = L"\"" + env + L"\" python3 \"" + UnixPath(FrontScript()) + L"\" \"" + UnixPath(cert) +
                               L"\" \"" + UnixPath(key) + L"\" " + std::to_wstring(backendPort) + L" " +
                               std::to_wstring(ntohs(address.sin_port));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(env.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::printf("TLS front: cannot start /usr/bin/env python3 (error %lu)\n", GetLastError());
        closesocket(listener);
        return 0;
    }
    // For a Linux program Wine fills PROCESS_INFORMATION with leftovers, not
    // handles: closing them would close whatever handles of this process
    // those values happen to name (a server's socket, say). They stay alone.

    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listener, &readable);
    timeval wait{20, 0};
    if (select(0, &readable, nullptr, nullptr, &wait) == 1) control = accept(listener, nullptr, nullptr);
    closesocket(listener);
    if (control == INVALID_SOCKET) {
        std::printf("TLS front: tls_proxy.py did not call back (is python3 with ssl on the PATH?)\n");
        return 0;
    }
    // The first line is "port <n>".
    std::string pending;
    char buffer[256];
    while (pending.find('\n') == std::string::npos) {
        FD_ZERO(&readable);
        FD_SET(control, &readable);
        timeval lineWait{20, 0};
        int n = select(0, &readable, nullptr, nullptr, &lineWait) == 1 ? recv(control, buffer, sizeof buffer, 0) : -1;
        if (n <= 0) return 0;
        pending.append(buffer, static_cast<size_t>(n));
    }
    size_t end = pending.find('\n');
    std::string first = pending.substr(0, end);
    pending.erase(0, end + 1);
    if (first.rfind("port ", 0) != 0) return 0;
    uint16_t port = static_cast<uint16_t>(std::stoi(first.substr(5)));
    reader = std::thread([this, pending] { ReadEvents(pending); });
    return port;
}

void LoopbackTlsServer::State::ReadEvents(std::string pending)
{
    char buffer[256];
    for (;;) {
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            if (pending.compare(0, end, "connected") == 0) {
                std::lock_guard<std::mutex> lock(mutex);
                ++connections;
                changed.notify_all();
            }
            pending.erase(0, end + 1);
        }
        int n = recv(control, buffer, sizeof buffer, 0);
        if (n <= 0) {
            // The proxy ended (or the destructor gave up waiting for it).
            std::lock_guard<std::mutex> lock(mutex);
            ended = true;
            changed.notify_all();
            return;
        }
        pending.append(buffer, static_cast<size_t>(n));
    }
}

LoopbackTlsServer::LoopbackTlsServer(uint16_t backendPort, Certificate certificate) : state_(new State)
{
    std::string why = WhyUnavailable();
    if (!why.empty()) {
        std::printf("TLS front: %s\n", why.c_str());
        return;
    }
    port_ = state_->Start(backendPort, TestCertificates::ForProcess(certificate == Certificate::kTrusted));
}

LoopbackTlsServer::~LoopbackTlsServer()
{
    if (state_->control != INVALID_SOCKET) {
        // The end of the control connection is the proxy's signal to end.
        // Waiting for it to go means its connections close from its side,
        // before the backend server closes them from its own: a connection
        // closed from the backend's side first would hold the backend's port
        // (TIME_WAIT), and the next server on that fixed port could not bind.
        shutdown(state_->control, SD_SEND);
        {
            std::unique_lock<std::mutex> lock(state_->mutex);
            state_->changed.wait_for(lock, std::chrono::seconds(10), [&] { return state_->ended; });
        }
        closesocket(state_->control);
    }
    if (state_->reader.joinable()) state_->reader.join();
    delete state_;
}

std::string LoopbackTlsServer::WhyUnavailable()
{
    if (!UnderWine())
        return "the loopback TLS server of the HTTPS cases is a Python program on the Linux side of Wine (Wine's "
               "Schannel cannot serve TLS); Windows has none, and trusting a test CA there would ask the user to "
               "confirm a security warning, which an unattended run cannot answer";
    if (!Exists(FrontScript())) return "no tls_proxy.py beside the test program (the build puts it there)";
    if (!Exists(DosPath("/usr/bin/env"))) return "no /usr/bin/env on the Linux side to start tls_proxy.py with";
    return {};
}

std::string LoopbackTlsServer::Url(std::string_view path) const
{
    return "https://localhost:" + std::to_string(port_) + std::string(path);
}

size_t LoopbackTlsServer::Connections() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->connections;
}

bool LoopbackTlsServer::WaitForConnections(size_t n, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(state_->mutex);
    return state_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                    [&] { return state_->connections >= n; });
}
