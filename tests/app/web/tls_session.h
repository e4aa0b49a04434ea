// The server side of one TLS connection with Schannel, relaying the
// decrypted bytes to a plain backend connection and back.
#pragma once

#include <winsock2.h>

#include <windows.h>

#define SECURITY_WIN32
#include <security.h>

#include <atomic>
#include <string>

class TlsSession {
public:
    // `client` and `credentials` are borrowed: the caller closes the socket
    // after this object goes.
    TlsSession(CredHandle* credentials, SOCKET client) : credentials_(credentials), client_(client) {}
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // Completes the handshake; false when the client refused the
    // certificate, gave up or `stop` was set.
    bool Handshake(const std::atomic<bool>& stop);
    // Passes bytes both ways until both sides have finished or `stop` is set.
    void Relay(SOCKET backend, const std::atomic<bool>& stop);

private:
    // Waits up to 100 ms for `socket` to be readable and appends what came;
    // false at the end of the stream or on an error.
    bool ReadMore(SOCKET socket, std::string& into, bool* nothingYet);
    bool SendSealed(const char* data, size_t size);
    // Decrypts what is whole in received_ and sends it to `backend`; false
    // when the client closed the TLS session or sent something broken.
    bool Unseal(SOCKET backend);

    CredHandle* credentials_;  // borrowed
    SOCKET client_;            // borrowed
    CtxtHandle context_{};
    bool haveContext_ = false;
    std::string received_;  // from the client, not yet decrypted
};
