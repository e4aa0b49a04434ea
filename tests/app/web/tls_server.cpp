#include "tests/app/web/tls_server.h"

#include "tests/app/web/test_certificates.h"
#include "tests/app/web/tls_session.h"

#include <ws2tcpip.h>

#include <schannel.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace {

bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// Made once per process when first needed; their keys go at exit.
const TestCertificates& Certificates(LoopbackTlsServer::Certificate which)
{
    if (which == LoopbackTlsServer::Certificate::kTrusted) {
        static TestCertificates trusted(L"trusted");
        return trusted;
    }
    static TestCertificates untrusted(L"untrusted");
    return untrusted;
}

struct RootStore {
    HCERTSTORE store =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    ~RootStore()
    {
        if (store) CertCloseStore(store, 0);
    }
    PCCERT_CONTEXT Find(PCCERT_CONTEXT certificate) const
    {
        return store ? CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, certificate,
                                                  nullptr)
                     : nullptr;
    }
};

// Takes `certificate` (a context of a RootStore) out of the current user's
// trusted roots, and frees it.
void DeleteFromRoot(PCCERT_CONTEXT certificate)
{
    BYTE hash[20];
    DWORD size = sizeof hash;
    bool hashed = CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID, hash, &size) && size == 20;
    CertDeleteCertificateFromStore(certificate);
    // Wine only: a deletion through the store API is not written back to the
    // registry, so the key, named by the SHA-1 thumbprint, goes directly.
    // Windows does not need this.
    if (!hashed || !UnderWine()) return;
    std::wstring key = L"Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\";
    wchar_t hex[3];
    for (BYTE b : hash) {
        swprintf(hex, 3, L"%02X", b);
        key += hex;
    }
    RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}

struct WinsockInit {
    WinsockInit()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockInit() { WSACleanup(); }
};

SOCKET Listen(int family, uint16_t port)
{
    SOCKET s = socket(family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return s;
    sockaddr_storage address{};
    int length = 0;
    if (family == AF_INET) {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        v4->sin_family = AF_INET;
        v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        v4->sin_port = htons(port);
        length = sizeof *v4;
    } else {
        DWORD only = 1;
        setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&only), sizeof only);
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        v6->sin6_addr = in6addr_loopback;
        v6->sin6_port = htons(port);
        length = sizeof *v6;
    }
    if (bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(s, SOMAXCONN) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

uint16_t PortOf(SOCKET s)
{
    sockaddr_in address{};
    int length = sizeof address;
    return getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0 ? ntohs(address.sin_port) : 0;
}

SOCKET ConnectToBackend(uint16_t port)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (s != INVALID_SOCKET && connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

}  // namespace

const char TestCaTrust::kCannotTrust[] =
    "Windows asks the user to confirm every certificate added to the current user's trusted roots (a security "
    "warning), which an unattended run cannot answer; this case needs a test CA trusted and runs under Wine only";

bool TestCaTrust::Unattended() { return UnderWine(); }

TestCaTrust::TestCaTrust()
{
    if (!Unattended()) {
        std::printf("test CA: not trusted: %s\n", kCannotTrust);
        return;
    }
    const TestCertificates& certificates = Certificates(LoopbackTlsServer::Certificate::kTrusted);
    RootStore root;
    if (!certificates.Ok() || !root.store) return;
    // The certificate alone, without the property that names its key.
    PCCERT_CONTEXT ca = certificates.Ca();
    ok_ = CertAddEncodedCertificateToStore(root.store, X509_ASN_ENCODING, ca->pbCertEncoded, ca->cbCertEncoded,
                                           CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
    if (!ok_) std::printf("test CA: not added to the trusted roots (error %lu)\n", GetLastError());
}

TestCaTrust::~TestCaTrust()
{
    if (!ok_) return;
    RootStore root;
    if (PCCERT_CONTEXT found = root.Find(Certificates(LoopbackTlsServer::Certificate::kTrusted).Ca()))
        DeleteFromRoot(found);
}

bool TestCaTrust::Trusted() const
{
    const TestCertificates& certificates = Certificates(LoopbackTlsServer::Certificate::kTrusted);
    RootStore root;
    PCCERT_CONTEXT found = certificates.Ok() ? root.Find(certificates.Ca()) : nullptr;
    if (found) CertFreeCertificateContext(found);
    return found != nullptr;
}

int TestCaTrust::RemoveLeftovers()
{
    TestCertificates::RemoveLeftoverKeys();
    auto leftovers = [] {
        RootStore root;
        std::vector<PCCERT_CONTEXT> found;
        PCCERT_CONTEXT each = nullptr;
        while (root.store && (each = CertEnumCertificatesInStore(root.store, each)) != nullptr)
            if (TestCertificates::IsTestCa(each) && TestCertificates::MakerEnded(each))
                found.push_back(CertDuplicateCertificateContext(each));
        return found;
    };
    for (PCCERT_CONTEXT certificate : leftovers()) DeleteFromRoot(certificate);
    std::vector<PCCERT_CONTEXT> still = leftovers();
    for (PCCERT_CONTEXT certificate : still) CertFreeCertificateContext(certificate);
    return static_cast<int>(still.size());
}

struct LoopbackTlsServer::State {
    WinsockInit winsock;
    uint16_t backendPort = 0;
    CredHandle credentials{};
    bool haveCredentials = false;
    std::vector<SOCKET> listeners;
    std::atomic<bool> stop{false};
    std::thread acceptor;
    std::vector<std::thread> sessions;  // started by the acceptor only
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    size_t connections = 0;

    uint16_t Start(const TestCertificates& certificates);
    void Accept();
    void Serve(SOCKET client);
};

uint16_t LoopbackTlsServer::State::Start(const TestCertificates& certificates)
{
    if (!certificates.Ok()) return 0;
    PCCERT_CONTEXT leaf = certificates.Leaf();
    SCHANNEL_CRED schannel{};
    schannel.dwVersion = SCHANNEL_CRED_VERSION;
    schannel.cCreds = 1;
    schannel.paCred = &leaf;
    SECURITY_STATUS status =
        AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_INBOUND, nullptr,
                                  &schannel, nullptr, nullptr, &credentials, nullptr);
    if (status != SEC_E_OK) {
        std::printf("TLS server: no Schannel credentials (0x%08lX)\n", static_cast<unsigned long>(status));
        return 0;
    }
    haveCredentials = true;
    // "localhost" may resolve to either loopback address: both listen, on
    // one port (the IPv6 one where the machine has it).
    SOCKET v4 = Listen(AF_INET, 0);
    uint16_t port = v4 == INVALID_SOCKET ? 0 : PortOf(v4);
    if (port == 0) {
        std::printf("TLS server: cannot listen (error %d)\n", WSAGetLastError());
        if (v4 != INVALID_SOCKET) closesocket(v4);
        return 0;
    }
    listeners.push_back(v4);
    SOCKET v6 = Listen(AF_INET6, port);
    if (v6 != INVALID_SOCKET) listeners.push_back(v6);
    acceptor = std::thread([this] { Accept(); });
    return port;
}

void LoopbackTlsServer::State::Accept()
{
    while (!stop) {
        fd_set readable;
        FD_ZERO(&readable);
        for (SOCKET s : listeners) FD_SET(s, &readable);
        timeval wait{0, 100000};
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
        for (SOCKET s : listeners) {
            if (!FD_ISSET(s, &readable)) continue;
            SOCKET client = accept(s, nullptr, nullptr);
            if (client == INVALID_SOCKET) continue;
            std::lock_guard<std::mutex> lock(mutex);
            ++connections;
            changed.notify_all();
            sessions.emplace_back([this, client] { Serve(client); });
        }
    }
}

void LoopbackTlsServer::State::Serve(SOCKET client)
{
    {
        TlsSession session(&credentials, client);
        // A client that refuses the certificate ends here: what the
        // untrusted-certificate tests provoke.
        if (session.Handshake(stop)) {
            SOCKET backend = ConnectToBackend(backendPort);
            if (backend != INVALID_SOCKET) {
                session.Relay(backend, stop);
                // This side closes first, so that TIME_WAIT holds this
                // side's passing port and not the backend's fixed one.
                closesocket(backend);
            }
        }
    }
    closesocket(client);
}

LoopbackTlsServer::LoopbackTlsServer(uint16_t backendPort, Certificate certificate) : state_(new State)
{
    state_->backendPort = backendPort;
    port_ = state_->Start(Certificates(certificate));
}

LoopbackTlsServer::~LoopbackTlsServer()
{
    state_->stop = true;
    if (state_->acceptor.joinable()) state_->acceptor.join();
    for (std::thread& session : state_->sessions) session.join();
    for (SOCKET s : state_->listeners) closesocket(s);
    if (state_->haveCredentials) FreeCredentialsHandle(&state_->credentials);
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
