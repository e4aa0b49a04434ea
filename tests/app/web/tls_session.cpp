#include "tests/app/web/tls_session.h"

#include <schannel.h>

#include <algorithm>
#include <chrono>
#include <vector>
#include <cstdio>

namespace {

constexpr ULONG kContextRequest = ASC_REQ_SEQUENCE_DETECT | ASC_REQ_REPLAY_DETECT | ASC_REQ_CONFIDENTIALITY |
                                  ASC_REQ_EXTENDED_ERROR | ASC_REQ_ALLOCATE_MEMORY | ASC_REQ_STREAM;

bool SendAll(SOCKET socket, const char* data, size_t size)
{
    while (size > 0) {
        int sent = send(socket, data, static_cast<int>(std::min<size_t>(size, 1 << 20)), 0);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool Readable(SOCKET socket, long microseconds)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval wait{0, microseconds};
    return select(0, &readable, nullptr, nullptr, &wait) == 1;
}

}  // namespace

TlsSession::~TlsSession()
{
    if (haveContext_) DeleteSecurityContext(&context_);
}

bool TlsSession::ReadMore(SOCKET socket, std::string& into, bool* nothingYet)
{
    *nothingYet = !Readable(socket, 100000);
    if (*nothingYet) return true;
    char buffer[16384];
    int got = recv(socket, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    into.append(buffer, static_cast<size_t>(got));
    return true;
}

bool TlsSession::Handshake(const std::atomic<bool>& stop)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool needInput = true;
    for (;;) {
        if (needInput) {
            bool nothingYet = false;
            if (stop || std::chrono::steady_clock::now() > deadline || !ReadMore(client_, received_, &nothingYet))
                return false;
            if (nothingYet) continue;
        }
        SecBuffer in[2] = {{static_cast<ULONG>(received_.size()), SECBUFFER_TOKEN, received_.data()},
                           {0, SECBUFFER_EMPTY, nullptr}};
        SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
        SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in}, outDesc{SECBUFFER_VERSION, 1, out};
        ULONG attributes = 0;
        SECURITY_STATUS status = AcceptSecurityContext(credentials_, haveContext_ ? &context_ : nullptr, &inDesc,
                                                       kContextRequest, 0, &context_, &outDesc, &attributes, nullptr);
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            needInput = true;
            continue;
        }
        if (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED) haveContext_ = true;
        // On success a reply to send; on failure perhaps an alert that tells
        // the client why (ASC_REQ_EXTENDED_ERROR).
        bool sent = true;
        if (out[0].pvBuffer) {
            sent = SendAll(client_, static_cast<const char*>(out[0].pvBuffer), out[0].cbBuffer);
            FreeContextBuffer(out[0].pvBuffer);
        }
        if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) { std::printf("DBG accept 0x%08lX\n", (unsigned long)status); return false; }
        if (!sent) return false;
        // Bytes after this handshake message belong to the next one (or to
        // the first record of data): they are the input's last cbBuffer.
        if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer > 0)
            received_.erase(0, received_.size() - in[1].cbBuffer);
        else
            received_.clear();
        if (status == SEC_E_OK) return true;
        needInput = received_.empty();
    }
}

bool TlsSession::SendSealed(const char* data, size_t size)
{
    SecPkgContext_StreamSizes sizes{};
    if (QueryContextAttributesW(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes) != SEC_E_OK) return false;
    std::vector<char> record(sizes.cbHeader + sizes.cbMaximumMessage + sizes.cbTrailer);
    while (size > 0) {
        ULONG chunk = static_cast<ULONG>(std::min<size_t>(size, sizes.cbMaximumMessage));
        std::copy(data, data + chunk, record.data() + sizes.cbHeader);
        SecBuffer parts[4] = {{sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                              {chunk, SECBUFFER_DATA, record.data() + sizes.cbHeader},
                              {sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes.cbHeader + chunk},
                              {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, parts};
        if (EncryptMessage(&context_, 0, &desc, 0) != SEC_E_OK) return false;
        // The trailer may come out shorter than the most it can be.
        if (!SendAll(client_, record.data(), parts[0].cbBuffer + parts[1].cbBuffer + parts[2].cbBuffer))
            return false;
        data += chunk;
        size -= chunk;
    }
    return true;
}

bool TlsSession::Unseal(SOCKET backend)
{
    while (!received_.empty()) {
        SecBuffer parts[4] = {{static_cast<ULONG>(received_.size()), SECBUFFER_DATA, received_.data()},
                              {0, SECBUFFER_EMPTY, nullptr},
                              {0, SECBUFFER_EMPTY, nullptr},
                              {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, parts};
        SECURITY_STATUS status = DecryptMessage(&context_, &desc, 0, nullptr);
        if (status == SEC_E_INCOMPLETE_MESSAGE) return true;
        // SEC_I_CONTEXT_EXPIRED: the client's close_notify.
        if (status != SEC_E_OK) return false;
        size_t extra = 0;
        for (const SecBuffer& part : parts) {
            if (part.BufferType == SECBUFFER_DATA && part.cbBuffer > 0 &&
                !SendAll(backend, static_cast<const char*>(part.pvBuffer), part.cbBuffer))
                return false;
            if (part.BufferType == SECBUFFER_EXTRA) extra = part.cbBuffer;
        }
        // Decrypted in place: what follows the record is the input's last bytes.
        received_.erase(0, received_.size() - extra);
    }
    return true;
}

void TlsSession::Relay(SOCKET backend, const std::atomic<bool>& stop)
{
    bool clientOpen = Unseal(backend);
    if (!clientOpen) shutdown(backend, SD_SEND);
    bool backendOpen = true;
    while (!stop && (clientOpen || backendOpen)) {
        fd_set readable;
        FD_ZERO(&readable);
        if (clientOpen) FD_SET(client_, &readable);
        if (backendOpen) FD_SET(backend, &readable);
        timeval wait{0, 100000};
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
        char buffer[16384];
        if (clientOpen && FD_ISSET(client_, &readable)) {
            int got = recv(client_, buffer, sizeof buffer, 0);
            if (got > 0) received_.append(buffer, static_cast<size_t>(got));
            if (got <= 0 || !Unseal(backend)) {
                clientOpen = false;
                shutdown(backend, SD_SEND);
            }
        }
        if (backendOpen && FD_ISSET(backend, &readable)) {
            int got = recv(backend, buffer, sizeof buffer, 0);
            if (got <= 0 || !SendSealed(buffer, static_cast<size_t>(got))) {
                backendOpen = false;
                shutdown(client_, SD_SEND);
            }
        }
    }
}
