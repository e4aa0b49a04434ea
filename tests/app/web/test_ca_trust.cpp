#include "tests/app/web/test_ca_trust.h"

#include "tests/app/web/test_certificates.h"

#include <cstdio>
#include <vector>

namespace {

bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

struct RootStore {
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    ~RootStore()
    {
        if (store) CertCloseStore(store, 0);
    }
    PCCERT_CONTEXT Find(PCCERT_CONTEXT certificate) const
    {
        return store ? CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, certificate, nullptr)
                     : nullptr;
    }
};

// Takes `certificate` (a context of a RootStore that is still open) out of
// the current user's trusted roots, and frees it.
void DeleteFromRoot(PCCERT_CONTEXT certificate) { CertDeleteCertificateFromStore(certificate); }

}  // namespace

TestCaTrust::TestCaTrust()
{
    // Windows would show its security warning and wait for an answer.
    if (!UnderWine()) return;
    const TestCertificates& certificates = TestCertificates::ForProcess(true);
    RootStore root;
    if (!certificates.Ok() || !root.store) return;
    // The certificate alone, without the property that names its key.
    PCCERT_CONTEXT ca = certificates.Ca();
    ok_ = CertAddEncodedCertificateToStore(root.store, X509_ASN_ENCODING, ca->pbCertEncoded, ca->cbCertEncoded,
                                           CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
    if (!ok_) std::printf("test CA: not added to the trusted roots (error %lu)\n", GetLastError());
}

TestCaTrust::~TestCaTrust()
{
    if (!ok_) return;
    RootStore root;
    if (PCCERT_CONTEXT found = root.Find(TestCertificates::ForProcess(true).Ca())) DeleteFromRoot(found);
}

bool TestCaTrust::Trusted() const
{
    const TestCertificates& certificates = TestCertificates::ForProcess(true);
    RootStore root;
    PCCERT_CONTEXT found = certificates.Ok() ? root.Find(certificates.Ca()) : nullptr;
    if (found) CertFreeCertificateContext(found);
    return found != nullptr;
}

int TestCaTrust::RemoveLeftovers()
{
    TestCertificates::RemoveLeftoverKeys();
    // The store stays open until the deletions are done: Wine writes them
    // back to the registry when it closes.
    auto leftovers = [](const RootStore& root) {
        std::vector<PCCERT_CONTEXT> found;
        PCCERT_CONTEXT each = nullptr;
        while (root.store && (each = CertEnumCertificatesInStore(root.store, each)) != nullptr)
            if (TestCertificates::IsTestCa(each) && TestCertificates::MakerEnded(each))
                found.push_back(CertDuplicateCertificateContext(each));
        return found;
    };
    {
        RootStore root;
        for (PCCERT_CONTEXT certificate : leftovers(root)) DeleteFromRoot(certificate);
    }
    RootStore root;
    std::vector<PCCERT_CONTEXT> still = leftovers(root);
    for (PCCERT_CONTEXT certificate : still) CertFreeCertificateContext(certificate);
    return static_cast<int>(still.size());
}
