// Trust in this process's test CA (test_certificates.h), held only while a
// test needs it.
//
// WinHttp, WinInet and URL monikers check a server's chain with crypt32,
// whose trusted roots include the current user's "Root" store (in the Wine
// prefix's registry). TestCaTrust adds this process's test CA there
// and deletes it again. On Windows adding a certificate to that store asks
// the user to confirm (a security warning), which an unattended run cannot
// answer: TestCaTrust adds nothing there. A process's crypt32 reads the store
// when it first checks a chain: trust must be in place before the first TLS
// exchange of the process that makes it. The CTest entry "tls_trust_cleanup"
// runs RemoveLeftovers() after every test run, for a test process that died
// before it could clean up.
#pragma once

class TestCaTrust {
public:
    TestCaTrust();
    ~TestCaTrust();
    TestCaTrust(const TestCaTrust&) = delete;
    TestCaTrust& operator=(const TestCaTrust&) = delete;

    bool Ok() const { return ok_; }
    // Whether the current user's trusted roots hold this process's test CA.
    bool Trusted() const;

    // Removes the test CAs and test keys of test processes that have ended;
    // returns how many such test CAs the trusted roots still hold.
    static int RemoveLeftovers();

private:
    bool ok_ = false;
};
