// HTTPS for tests: a TLS front on loopback for a LoopbackServer, with the
// trust in its test CA (test_ca_trust.h) held only while a test needs it.
//
//   LoopbackServer server;                         // plain HTTP, records requests
//   std::string why = LoopbackTlsServer::WhyUnavailable();
//   if (!why.empty()) GTEST_SKIP() << why;
//   TestCaTrust trust;                             // before the first TLS exchange
//   LoopbackTlsServer tls(server.Port());          // https://localhost:<port>/...
//   ... request tls.Url("/a") ...                  // arrives at server as GET /a
//
// The front is tls_proxy.py, a Python program on the Linux side of Wine that
// the build puts beside each test program using it; the test starts it
// itself through /usr/bin/env python3 (Wine runs a Linux executable named in
// CreateProcess, without giving back a handle), and it ends when the test
// closes its control connection or dies. It listens on 127.0.0.1 and ::1
// only. The system's own TLS cannot take its place on the bench: Wine's
// Schannel has no server side (AcceptSecurityContext answers
// SEC_E_UNSUPPORTED_FUNCTION). On Windows, and wherever the front is missing,
// the HTTPS cases are skipped with WhyUnavailable()'s reason.
//
// The certificates are made at run time (test_certificates.h): "localhost"
// signed by a test CA made for this process, and "localhost" signed by a CA
// that nothing trusts. The front gets its certificate and key as files in a
// temporary folder of the test's own, deleted as soon as it has read them;
// the keys' containers go when the process ends.
#pragma once

#include "tests/app/web/test_ca_trust.h"

#include <cstdint>
#include <string>
#include <string_view>

class LoopbackTlsServer {
public:
    enum class Certificate { kTrusted, kUntrusted };

    // Passes every connection on to 127.0.0.1:backendPort once the TLS
    // handshake is done.
    explicit LoopbackTlsServer(uint16_t backendPort, Certificate certificate = Certificate::kTrusted);
    ~LoopbackTlsServer();
    LoopbackTlsServer(const LoopbackTlsServer&) = delete;
    LoopbackTlsServer& operator=(const LoopbackTlsServer&) = delete;

    // Why the server cannot run here (empty when it can): for GTEST_SKIP().
    static std::string WhyUnavailable();

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
