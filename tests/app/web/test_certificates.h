// Certificates for loopback TLS, made at run time: a test CA and a
// certificate for "localhost" that it signs, each with its own RSA key in a
// CryptoAPI key container of the current user. Nothing is written anywhere
// else, and the object deletes its key containers when it goes.
//
// The names carry the process's id and start time ("SongLink test CA
// <pid>-<start> ...", key containers "SongLink test key <pid>-<start> ..."),
// so that the cleanup can tell what a process that died before cleaning up
// left behind from what a running test still uses.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <memory>
#include <string>

class TestKeyContainer;

class TestCertificates {
public:
    // `label` tells the CA apart from the other sets in the same process.
    explicit TestCertificates(const wchar_t* label);
    ~TestCertificates();  // frees the certificates, then deletes the key containers
    TestCertificates(const TestCertificates&) = delete;
    TestCertificates& operator=(const TestCertificates&) = delete;

    // False when something could not be made (the reason is printed).
    bool Ok() const { return ca_ && leaf_; }
    PCCERT_CONTEXT Ca() const { return ca_; }      // borrowed by callers
    PCCERT_CONTEXT Leaf() const { return leaf_; }  // with its private key

    // The leaf certificate and its private key (PKCS #1) as PEM text, for a
    // TLS server that reads files; empty when they cannot be had.
    std::string LeafPem() const;
    std::string LeafKeyPem() const;

    // The process's two sets, made when first asked for; their keys go when
    // the process ends. Only the "trusted" one's CA is ever trusted.
    static const TestCertificates& ForProcess(bool trusted);

    // Whether `certificate` is a test CA made by this or any other process.
    static bool IsTestCa(PCCERT_CONTEXT certificate);
    // Whether the process that made that test CA has ended.
    static bool MakerEnded(PCCERT_CONTEXT certificate);
    // Deletes the key containers of test processes that have ended.
    static void RemoveLeftoverKeys();

private:
    std::unique_ptr<TestKeyContainer> caKey_;
    std::unique_ptr<TestKeyContainer> leafKey_;
    PCCERT_CONTEXT ca_ = nullptr;    // owned
    PCCERT_CONTEXT leaf_ = nullptr;  // owned
};
