// Keys and certificates as PEM text, for a TLS server that reads OpenSSL's
// files: the test front (tls_proxy.py).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// `der` between "-----BEGIN <label>-----" and "-----END <label>-----".
std::string Pem(const char* label, const BYTE* der, DWORD size);

// PKCS #1 RSAPrivateKey (DER) from CryptoAPI's PRIVATEKEYBLOB; empty when the
// blob is too short for the key length it names.
std::vector<BYTE> RsaPrivateKeyDer(const std::vector<BYTE>& blob);
