#include "tests/app/web/pem_text.h"

#include <wincrypt.h>

#include <cstring>

namespace {

// DER: a length, and an INTEGER from an unsigned little-endian number.
void AppendLength(std::vector<BYTE>& out, size_t length)
{
    if (length < 0x80) {
        out.push_back(static_cast<BYTE>(length));
        return;
    }
    BYTE bytes[sizeof length];
    int n = 0;
    for (; length; length >>= 8) bytes[n++] = static_cast<BYTE>(length);
    out.push_back(static_cast<BYTE>(0x80 | n));
    while (n) out.push_back(bytes[--n]);
}

void AppendInteger(std::vector<BYTE>& out, const BYTE* littleEndian, size_t size)
{
    while (size > 1 && littleEndian[size - 1] == 0) --size;   // leading zeros
    bool pad = size == 0 || (littleEndian[size - 1] & 0x80);  // keep it positive
    out.push_back(0x02);
    AppendLength(out, size + (pad ? 1 : 0));
    if (pad) out.push_back(0);
    for (size_t i = size; i > 0; --i) out.push_back(littleEndian[i - 1]);
}

}  // namespace

std::string Pem(const char* label, const BYTE* der, DWORD size)
{
    DWORD chars = 0;
    if (!size || !CryptBinaryToStringA(der, size, CRYPT_STRING_BASE64, nullptr, &chars)) return {};
    std::string base64(chars, '\0');
    if (!CryptBinaryToStringA(der, size, CRYPT_STRING_BASE64, base64.data(), &chars)) return {};
    base64.resize(chars);
    return std::string("-----BEGIN ") + label + "-----\n" + base64 + "-----END " + label + "-----\n";
}

// By hand: Wine's crypt32 cannot encode PKCS_RSA_PRIVATE_KEY.
std::vector<BYTE> RsaPrivateKeyDer(const std::vector<BYTE>& blob)
{
    if (blob.size() < sizeof(BLOBHEADER) + sizeof(RSAPUBKEY)) return {};
    RSAPUBKEY header;
    memcpy(&header, blob.data() + sizeof(BLOBHEADER), sizeof header);
    size_t full = header.bitlen / 8, half = header.bitlen / 16;
    const BYTE* at = blob.data() + sizeof(BLOBHEADER) + sizeof(RSAPUBKEY);
    if (blob.size() < sizeof(BLOBHEADER) + sizeof(RSAPUBKEY) + 2 * full + 5 * half) return {};
    const BYTE *modulus = at, *p = at + full, *q = p + half, *dp = q + half, *dq = dp + half, *qinv = dq + half,
               *d = qinv + half;
    BYTE version = 0;
    std::vector<BYTE> body;
    AppendInteger(body, &version, 1);
    AppendInteger(body, modulus, full);
    AppendInteger(body, reinterpret_cast<const BYTE*>(&header.pubexp), sizeof header.pubexp);
    AppendInteger(body, d, full);
    for (const BYTE* part : {p, q, dp, dq, qinv}) AppendInteger(body, part, half);
    std::vector<BYTE> der{0x30};
    AppendLength(der, body.size());
    der.insert(der.end(), body.begin(), body.end());
    SecureZeroMemory(body.data(), body.size());
    return der;
}
