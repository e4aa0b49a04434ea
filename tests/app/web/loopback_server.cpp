#include "tests/app/web/loopback_server.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace {

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool SendAll(SOCKET s, const char* data, size_t size)
{
    while (size > 0) {
        int n = send(s, data, static_cast<int>(std::min<size_t>(size, 1 << 20)), 0);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
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

struct LoopbackServer::State {
    WinsockInit winsock;
    SOCKET listener = INVALID_SOCKET;
    std::thread acceptor;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::deque<LoopbackReply> replies;
    std::function<LoopbackReply(const LoopbackRequest&)> router;
    std::vector<LoopbackRequest> requests;
    std::vector<SOCKET> connections;
    std::vector<std::thread> workers;
    bool stopping = false;

    void Accept();
    void Serve(SOCKET s);
    // Reads one request from the connection; false when it closed first.
    bool ReadRequest(SOCKET s, std::string& pending, LoopbackRequest* request);
    bool Fill(SOCKET s, std::string& pending);
    // Waits `ms`; false when the server began to stop meanwhile.
    bool Pause(uint32_t ms);
};

bool LoopbackServer::State::Fill(SOCKET s, std::string& pending)
{
    // Waits in short slices, so that a connection the client keeps open in its
    // pool does not hold up the server's destruction.
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (stopping) return false;
        }
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval slice{0, 50000};
        int ready = select(0, &readable, nullptr, nullptr, &slice);
        if (ready < 0) return false;
        if (ready > 0) break;
    }
    char buf[16384];
    int n = recv(s, buf, sizeof buf, 0);
    if (n <= 0) return false;
    pending.append(buf, static_cast<size_t>(n));
    return true;
}

bool LoopbackServer::State::ReadRequest(SOCKET s, std::string& pending, LoopbackRequest* request)
{
    size_t end;
    while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
        if (!Fill(s, pending)) return false;
    }
    request->head = pending.substr(0, end + 4);
    pending.erase(0, end + 4);
    std::string length = request->Header("Content-Length");
    if (!length.empty()) {
        size_t n = std::strtoul(length.c_str(), nullptr, 10);
        while (pending.size() < n) {
            if (!Fill(s, pending)) return false;
        }
        request->body = pending.substr(0, n);
        pending.erase(0, n);
    } else if (Lower(request->Header("Transfer-Encoding")) == "chunked") {
        for (;;) {
            size_t lineEnd;
            while ((lineEnd = pending.find("\r\n")) == std::string::npos) {
                if (!Fill(s, pending)) return false;
            }
            size_t n = std::strtoul(pending.c_str(), nullptr, 16);
            while (pending.size() < lineEnd + 2 + n + 2) {
                if (!Fill(s, pending)) return false;
            }
            request->body.append(pending, lineEnd + 2, n);
            pending.erase(0, lineEnd + 2 + n + 2);
            if (n == 0) break;
        }
    }
    return true;
}

void LoopbackServer::State::Serve(SOCKET s)
{
    std::string pending;
    for (;;) {
        LoopbackRequest request;
        if (!ReadRequest(s, pending, &request)) break;
        LoopbackReply reply;
        {
            std::lock_guard<std::mutex> lock(mutex);
            requests.push_back(request);
            if (router) {
                reply = router(request);
            } else if (!replies.empty()) {
                reply = std::move(replies.front());
                replies.pop_front();
            } else {
                reply.bytes = Response(404, "Not Found", "", "");
            }
        }
        changed.notify_all();
        if (reply.silent) {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return stopping; });
            break;
        }
        if (reply.delayMs > 0 && !Pause(reply.delayMs)) break;
        bool whole = true;
        for (size_t at = 0; whole && at < reply.bytes.size();) {
            // A trickle sends the bytes one at a time, a pause before each.
            size_t n = reply.trickleIntervalMs > 0 ? 1 : reply.bytes.size();
            whole = (reply.trickleIntervalMs == 0 || Pause(reply.trickleIntervalMs)) &&
                    SendAll(s, reply.bytes.data() + at, n);
            at += n;
        }
        if (!whole) break;
        if (reply.generatedBodyBytes > 0) {
            std::vector<char> block(1 << 16);
            for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(GeneratedByte(i));
            for (uint64_t sent = 0; sent < reply.generatedBodyBytes;) {
                size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), reply.generatedBodyBytes - sent));
                if (!SendAll(s, block.data(), n)) break;
                sent += n;
            }
        }
        if (reply.dripIntervalMs > 0) {
            for (uint64_t i = 0;; ++i) {
                if (!Pause(reply.dripIntervalMs)) break;
                char c = static_cast<char>(GeneratedByte(i));
                if (!SendAll(s, &c, 1)) break;
            }
            break;
        }
        if (reply.closeAfter) break;
    }
    shutdown(s, SD_BOTH);
}

bool LoopbackServer::State::Pause(uint32_t ms)
{
    std::unique_lock<std::mutex> lock(mutex);
    return !changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping; });
}

void LoopbackServer::State::Accept()
{
    for (;;) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener, &readable);
        timeval slice{0, 50000};
        int ready = select(0, &readable, nullptr, nullptr, &slice);
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (stopping) return;
        }
        if (ready < 0) return;
        if (ready == 0) continue;
        SOCKET s = accept(listener, nullptr, nullptr);
        if (s == INVALID_SOCKET) return;
        std::lock_guard<std::mutex> lock(mutex);
        if (stopping) {
            closesocket(s);
            return;
        }
        connections.push_back(s);
        workers.emplace_back([this, s] { Serve(s); });
    }
}

LoopbackServer::LoopbackServer() : LoopbackServer(0) {}

LoopbackServer::LoopbackServer(uint16_t port) : state_(new State)
{
    state_->listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (port != 0) {
        // A fixed port is taken again by the next test while the last one's
        // connections linger in TIME_WAIT.
        BOOL reuse = TRUE;
        setsockopt(state_->listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
    }
    bind(state_->listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(state_->listener, 16);
    int len = sizeof addr;
    getsockname(state_->listener, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    state_->acceptor = std::thread([this] { state_->Accept(); });
}

LoopbackServer::~LoopbackServer()
{
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->stopping = true;
    }
    state_->changed.notify_all();
    state_->acceptor.join();
    closesocket(state_->listener);
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        for (SOCKET s : state_->connections) shutdown(s, SD_BOTH);
    }
    for (std::thread& t : state_->workers) t.join();
    for (SOCKET s : state_->connections) closesocket(s);
    delete state_;
}

std::string LoopbackServer::Url(std::string_view path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

void LoopbackServer::SetRouter(std::function<LoopbackReply(const LoopbackRequest&)> router)
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->router = std::move(router);
}

void LoopbackServer::Push(LoopbackReply reply)
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->replies.push_back(std::move(reply));
}

std::vector<LoopbackRequest> LoopbackServer::Requests() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->requests;
}

bool LoopbackServer::WaitForRequests(size_t n, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(state_->mutex);
    return state_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                    [&] { return state_->requests.size() >= n; });
}

std::string LoopbackServer::Response(int status, std::string_view reason, std::string_view headers,
                                     std::string_view body)
{
    std::string r = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
    r += headers;
    r += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    r += body;
    return r;
}

std::string LoopbackServer::ChunkedResponse(std::string_view headers, const std::vector<std::string>& pieces)
{
    std::string r = "HTTP/1.1 200 OK\r\n";
    r += headers;
    r += "Transfer-Encoding: chunked\r\n\r\n";
    char size[16];
    for (const std::string& piece : pieces) {
        std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
        r += size;
        r += piece;
        r += "\r\n";
    }
    r += "0\r\n\r\n";
    return r;
}

uint16_t LoopbackServer::ClosedPort()
{
    WinsockInit winsock;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    int len = sizeof addr;
    getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    closesocket(s);
    return ntohs(addr.sin_port);
}

std::string LoopbackRequest::Method() const { return head.substr(0, head.find(' ')); }

std::string LoopbackRequest::Target() const
{
    size_t a = head.find(' ');
    size_t b = head.find(' ', a + 1);
    if (a == std::string::npos || b == std::string::npos) return {};
    return head.substr(a + 1, b - a - 1);
}

std::vector<std::string> LoopbackRequest::HeaderLines() const
{
    std::vector<std::string> lines;
    size_t pos = head.find("\r\n");
    while (pos != std::string::npos) {
        size_t next = head.find("\r\n", pos + 2);
        if (next == std::string::npos || next == pos + 2) break;
        lines.push_back(head.substr(pos + 2, next - pos - 2));
        pos = next;
    }
    return lines;
}

std::string LoopbackRequest::Header(std::string_view name) const
{
    std::string want = Lower(name) + ":";
    for (const std::string& line : HeaderLines()) {
        if (Lower(line.substr(0, want.size())) == want) {
            size_t v = want.size();
            while (v < line.size() && line[v] == ' ') ++v;
            return line.substr(v);
        }
    }
    return {};
}

bool LoopbackRequest::HasHeader(std::string_view name) const
{
    std::string want = Lower(name) + ":";
    for (const std::string& line : HeaderLines()) {
        if (Lower(line.substr(0, want.size())) == want) return true;
    }
    return false;
}
