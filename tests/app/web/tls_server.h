// HTTPS for tests: a TLS server on loopback in front of a LoopbackServer,
// and the trust in its test CA, held only while a test needs it.
//
//   LoopbackServer server;                         // plain HTTP, records requests
//   if (!TestCaTrust::Unattended()) GTEST_SKIP() << TestCaTrust::kCannotTrust;
//   TestCaTrust trust;                             // before the first TLS exchange
//   LoopbackTlsServer tls(server.Port());          // https://localhost:<port>/...
//   ... request tls.Url("/a") ...                  // arrives at server as GET /a
//
// The TLS server runs inside the test program with the system's own TLS
// (Schannel), on 127.0.0.1 and ::1 only, so the firewall asks nothing. Its
// certificates are made when first needed (test_certificates.h): "localhost"
// signed by a test CA made for this process, and "localhost" signed by a CA
// that nothing trusts; their keys go when the process ends.
//
// Trust: WinHttp, WinInet and URL monikers check a server's chain with
// crypt32, whose trusted roots include the current user's "Root" store.
// TestCaTrust adds this process's test CA there and deletes it again. On
// Windows adding a certificate to that store asks the user to confirm (a
// security warning), which an unattended run cannot answer, and removing one
// asks again: there the trusted cases are skipped and nothing is added.
// Wine asks nothing. A process's crypt32 reads the store when it first checks
// a chain: trust must be in place before the first TLS exchange of the
// process that makes it. The CTest entry "tls_trust_cleanup" runs
// RemoveLeftovers() after every test run, for a process that died before it
// could clean up.
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
    // Whether the current user's trusted roots hold this process's test CA.
    bool Trusted() const;

    // Whether a test CA can be trusted without asking anyone: under Wine.
    static bool Unattended();
    static const char kCannotTrust[];  // why not, for GTEST_SKIP()

    // Removes the test CAs and test keys of test processes that have ended;
    // returns how many such test CAs the trusted roots still hold.
    static int RemoveLeftovers();

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

    // False when the server could not be started (the reason is printed).
    bool Ready() const { return port_ != 0; }
    uint16_t Port() const { return port_; }
    // "https://localhost:<port>" followed by `path`.
    std::string Url(std::string_view path = "/") const;

    // TCP connections accepted so far, whether or not the client went on
    // after seeing the certificate.
    size_t Connections() const;
    bool WaitForConnections(size_t n, int timeoutMs) const;

private:
    struct State;
    State* state_;  // owned
    uint16_t port_ = 0;
};
