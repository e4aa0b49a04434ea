#include "tests/app/web/tls_server.h"

// In this order: windows.h would bring the old winsock.h, and wincrypt.h
// needs windows.h.
#include <winsock2.h>

#include <windows.h>

#include <wincrypt.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

// Set by the build (tests/app/web/CMakeLists.txt): Linux paths.
#ifndef SL_TLS_PYTHON
#error "SL_TLS_PYTHON (a Python 3 interpreter with ssl) must be defined"
#endif

namespace {

constexpr wchar_t kRootKey[] = L"Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\";

// A Linux path as Wine's DOS view of it (Z: by default).
std::wstring DosPath(const std::string& unixPath)
{
    using ToDos = WCHAR*(CDECL*)(const char*);
    auto toDos = reinterpret_cast<ToDos>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name"));
    if (toDos) {
        if (WCHAR* dos = toDos(unixPath.c_str())) {
            std::wstring path = dos;
            HeapFree(GetProcessHeap(), 0, dos);
            return path;
        }
    }
    std::wstring path = L"Z:";
    for (char c : unixPath) path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return path;
}

std::string ReadWholeFile(const std::wstring& path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

std::vector<BYTE> TestCaDer()
{
    std::string pem = ReadWholeFile(DosPath(SL_TLS_CERT_DIR "/test_ca.pem"));
    DWORD size = 0;
    if (pem.empty() || !CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                                             nullptr, &size, nullptr, nullptr))
        return {};
    std::vector<BYTE> der(size);
    if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size,
                              nullptr, nullptr))
        return {};
    der.resize(size);
    return der;
}

// The registry key under which the current user's trusted roots hold the
// test CA: crypt32 names each certificate's key by its SHA-1 thumbprint.
std::wstring TestCaRootKey(const std::vector<BYTE>& der)
{
    BYTE hash[20];
    DWORD size = sizeof hash;
    if (der.empty() || !CryptHashCertificate(0, CALG_SHA1, 0, der.data(), static_cast<DWORD>(der.size()), hash, &size))
        return {};
    std::wstring key = kRootKey;
    wchar_t hex[3];
    for (BYTE b : hash) {
        swprintf(hex, 3, L"%02X", b);
        key += hex;
    }
    return key;
}

struct WinsockInit {
    WinsockInit()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockInit() { WSACleanup(); }
};

}  // namespace

TestCaTrust::TestCaTrust()
{
    std::vector<BYTE> der = TestCaDer();
    if (der.empty()) {
        std::printf("test CA: cannot read %s/test_ca.pem\n", SL_TLS_CERT_DIR);
        return;
    }
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    if (!store) return;
    // On Windows itself this would ask the user first; under Wine it does not.
    ok_ = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                           CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
    CertCloseStore(store, 0);
    if (!ok_) std::printf("test CA: not added to the trusted roots (error %lu)\n", GetLastError());
}

TestCaTrust::~TestCaTrust() { Remove(); }

// Deleting through the store API is not written back to the registry on
// Wine, so the key goes directly.
void TestCaTrust::Remove()
{
    std::wstring key = TestCaRootKey(TestCaDer());
    if (!key.empty()) RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}

bool TestCaTrust::Trusted()
{
    std::wstring key = TestCaRootKey(TestCaDer());
    HKEY opened = nullptr;
    if (key.empty() || RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

struct LoopbackTlsServer::State {
    WinsockInit winsock;
    SOCKET control = INVALID_SOCKET;
    std::thread reader;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    size_t connections = 0;
    bool ended = false;  // the proxy closed the control connection

    // Starts the proxy and reads its port from the control connection.
    uint16_t Start(uint16_t backendPort, const char* certName);
    void ReadEvents(std::string pending);
};

uint16_t LoopbackTlsServer::State::Start(uint16_t backendPort, const char* certName)
{
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
    std::string dir = SL_TLS_CERT_DIR;
    std::string args = std::string(" \"") + SL_TLS_PROXY_SCRIPT + "\" \"" + dir + "/" + certName + ".pem\" \"" + dir +
                       "/" + certName + ".key\" " + std::to_string(backendPort) + " " +
                       std::to_string(ntohs(address.sin_port));
    std::wstring python = DosPath(SL_TLS_PYTHON);
    std::wstring commandLine = L"\"" + python + L"\"" + std::wstring(args.begin(), args.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(python.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::printf("TLS front: cannot start %s (error %lu)\n", SL_TLS_PYTHON, GetLastError());
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
        std::printf("TLS front: %s did not call back\n", SL_TLS_PROXY_SCRIPT);
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
    port_ = state_->Start(backendPort, certificate == Certificate::kTrusted ? "localhost" : "untrusted");
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
