// HTTPS for tests: a TLS front on loopback for a LoopbackServer, and the trust
// in its test CA, held only while a test needs it.
//
//   LoopbackServer server;                         // plain HTTP, records requests
//   TestCaTrust trust;                             // before the first TLS exchange
//   LoopbackTlsServer tls(server.Port());          // https://localhost:<port>/...
//   ... request tls.Url("/a") ...                  // arrives at server as GET /a
//
// The front is tests/app/web/tls_proxy.py, a Python program on the Linux side
// of Wine that the test starts itself (Wine runs a Linux executable named in
// CreateProcess, without giving back a handle); it ends when the test closes
// its control connection or dies. It listens on 127.0.0.1 and ::1 only.
//
// The certificates are generated at build time (make_test_certificates.sh):
// "localhost" signed by a fresh test CA, and "localhost" signed by a CA that
// nothing trusts. Wine's WinHttp, WinInet and URL monikers check a server's
// chain with crypt32, whose trusted roots include the current user's "Root"
// store in the prefix's registry (HKCU\Software\Microsoft\SystemCertificates
// \Root\Certificates) besides the host's own CA bundle. TestCaTrust adds the
// test CA there and deletes it again, and the CTest cleanup entry
// "tls_trust_cleanup" deletes it after every test run whatever happened to
// the tests, so the shared prefix is not left trusting it. Each build
// directory has its own CA and touches only that one, so test runs of other
// build directories on the same prefix are not disturbed. A process's crypt32
// reads the store when it first checks a chain: trust must be in place
// before the first TLS exchange of the process that makes it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class TestCaTrust {
public:
    TestCaTrust();
    ~TestCaTrust();
    TestCaTrust(const TestCaTrust&) = delete;
    TestCaTrust& operator=(const TestCaTrust&) = delete;

    bool Ok() const { return ok_; }

    // Deletes this build's test CA from the current user's trusted roots.
    static void Remove();
    // Whether the current user's trusted roots hold this build's test CA.
    static bool Trusted();

private:
    bool ok_ = false;
};

class LoopbackTlsServer {
public:
    enum class Certificate { kTrusted, kUntrusted };

    // Passes every connection on to 127.0.0.1:backendPort once the TLS
    // handshake is done.
    explicit LoopbackTlsServer(uint16_t backendPort, Certificate certificate = Certificate::kTrusted);
    ~LoopbackTlsServer();
    LoopbackTlsServer(const LoopbackTlsServer&) = delete;
    LoopbackTlsServer& operator=(const LoopbackTlsServer&) = delete;

    // False when the front could not be started (the reason is printed).
    bool Ready() const { return port_ != 0; }
    uint16_t Port() const { return port_; }
    // "https://localhost:<port>" followed by `path`.
    std::string Url(std::string_view path = "/") const;

    // TCP connections the front has accepted so far, whether or not the
    // client went on after seeing the certificate.
    size_t Connections() const;
    bool WaitForConnections(size_t n, int timeoutMs) const;

private:
    struct State;
    State* state_;  // owned
    uint16_t port_ = 0;
};
