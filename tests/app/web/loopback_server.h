// An HTTP server on 127.0.0.1 inside the test process, for tests that need
// real traffic: it answers with scripted replies and records every request as
// it arrived on the wire.
//
//   LoopbackServer server;                       // listens on a free port
//   server.Push(LoopbackServer::Response(200, "OK", "Content-Type: text/plain\r\n", "hi"));
//   ... request server.Url("/a?b=1") ...
//   server.Requests()[0].head                    // "GET /a?b=1 HTTP/1.1\r\n..."
//
// Each request takes the next scripted reply (or, once SetRouter was called,
// the router's answer); when none is left the server answers 404 with an
// empty body. Connections are served one thread each and
// kept open between requests unless the reply closes them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct LoopbackReply {
    // Sent first, byte for byte (status line, headers, and any body bytes).
    std::string bytes;
    // Then this many generated body bytes (a repeating pattern, never held in
    // memory whole), for large downloads.
    uint64_t generatedBodyBytes = 0;
    // Close the connection after the reply (a body cut off mid-way is a reply
    // whose Content-Length promises more than `bytes` holds).
    bool closeAfter = false;
    // Read the request and never answer; the connection stays open until the
    // server is destroyed.
    bool silent = false;
};

struct LoopbackRequest {
    std::string head;  // request line and header lines up to and including the blank line
    std::string body;  // by Content-Length, or the de-chunked body
    std::string Method() const;
    std::string Target() const;  // the object path as sent
    // The header lines, each without its CRLF, in the order sent.
    std::vector<std::string> HeaderLines() const;
    // The value of the first header of that name (case ignored), or empty.
    std::string Header(std::string_view name) const;
    bool HasHeader(std::string_view name) const;
};

class LoopbackServer {
public:
    LoopbackServer();
    // Listens on the given port of 127.0.0.1 (for a program built to call a
    // fixed address).
    explicit LoopbackServer(uint16_t port);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by `path`.
    std::string Url(std::string_view path = "/") const;

    void Push(LoopbackReply reply);
    // Answers every request by calling `router` (on the connection's thread)
    // instead of taking scripted replies.
    void SetRouter(std::function<LoopbackReply(const LoopbackRequest&)> router);
    void Push(std::string bytes) { Push(LoopbackReply{std::move(bytes)}); }

    // Requests received so far (a copy; safe while the server runs).
    std::vector<LoopbackRequest> Requests() const;
    // Waits until at least n requests have arrived; false on time-out.
    bool WaitForRequests(size_t n, int timeoutMs) const;

    // A complete response with Content-Length.
    static std::string Response(int status, std::string_view reason, std::string_view headers, std::string_view body);
    // A chunked response; the body is sent in the given pieces.
    static std::string ChunkedResponse(std::string_view headers, const std::vector<std::string>& pieces);
    // The byte at position i of a generated body: lower-case letters (no NUL, so the body reads whole as text); the
    // pattern repeats every 64 KiB and is sent from one prepared block.
    static uint8_t GeneratedByte(uint64_t i)
    {
        uint32_t k = static_cast<uint32_t>(i & 0xFFFF);
        return static_cast<uint8_t>('a' + (k * 131 + (k >> 8)) % 26);
    }

    // A port on 127.0.0.1 that nothing listens on (a refused connection).
    static uint16_t ClosedPort();

private:
    struct State;
    State* state_;  // owned
    uint16_t port_ = 0;
};
