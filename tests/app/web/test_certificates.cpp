#include "tests/app/web/test_certificates.h"

#include "tests/app/web/pem_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kProvider[] = MS_ENH_RSA_AES_PROV_W;  // SHA-256 signatures need the AES provider
constexpr DWORD kProviderType = PROV_RSA_AES;
constexpr wchar_t kCaPrefix[] = L"SongLink test CA ";
constexpr char kKeyPrefix[] = "SongLink test key ";

}  // namespace

// An RSA key pair of its own in a new key container of the current user;
// the container goes with the object. Exportable because Wine's Schannel
// hands the server's key to GnuTLS by exporting it; Windows does not need it.
class TestKeyContainer {
public:
    explicit TestKeyContainer(const std::wstring& name) : name_(name)
    {
        HCRYPTPROV gone = 0;
        CryptAcquireContextW(&gone, name.c_str(), kProvider, kProviderType, CRYPT_DELETEKEYSET);  // a stale one
        if (!CryptAcquireContextW(&provider_, name.c_str(), kProvider, kProviderType, CRYPT_NEWKEYSET)) {
            std::printf("test key: no key container (error %lu)\n", GetLastError());
            provider_ = 0;
            return;
        }
        HCRYPTKEY key = 0;
        if (!CryptGenKey(provider_, AT_KEYEXCHANGE, (2048u << 16) | CRYPT_EXPORTABLE, &key)) {
            std::printf("test key: no key pair (error %lu)\n", GetLastError());
            return;
        }
        CryptDestroyKey(key);
        ok_ = true;
    }
    ~TestKeyContainer()
    {
        if (provider_) CryptReleaseContext(provider_, 0);
        HCRYPTPROV gone = 0;
        CryptAcquireContextW(&gone, name_.c_str(), kProvider, kProviderType, CRYPT_DELETEKEYSET);
    }
    TestKeyContainer(const TestKeyContainer&) = delete;
    TestKeyContainer& operator=(const TestKeyContainer&) = delete;

    bool Ok() const { return ok_; }
    HCRYPTPROV Provider() const { return provider_; }
    // What a certificate context needs to find its private key again.
    CRYPT_KEY_PROV_INFO ProvInfo()
    {
        return {name_.data(), const_cast<wchar_t*>(kProvider), kProviderType, 0, 0, nullptr, AT_KEYEXCHANGE};
    }

private:
    std::wstring name_;
    HCRYPTPROV provider_ = 0;
    bool ok_ = false;
};

namespace {

std::vector<BYTE> Encode(LPCSTR type, const void* value)
{
    DWORD size = 0;
    if (!CryptEncodeObject(X509_ASN_ENCODING, type, value, nullptr, &size)) return {};
    std::vector<BYTE> bytes(size);
    if (!CryptEncodeObject(X509_ASN_ENCODING, type, value, bytes.data(), &size)) return {};
    bytes.resize(size);
    return bytes;
}

std::vector<BYTE> EncodeName(const std::wstring& x500)
{
    DWORD size = 0;
    if (!CertStrToNameW(X509_ASN_ENCODING, x500.c_str(), CERT_X500_NAME_STR, nullptr, nullptr, &size, nullptr))
        return {};
    std::vector<BYTE> bytes(size);
    if (!CertStrToNameW(X509_ASN_ENCODING, x500.c_str(), CERT_X500_NAME_STR, nullptr, bytes.data(), &size, nullptr))
        return {};
    bytes.resize(size);
    return bytes;
}

// A day either side of now: generous for clock skew, short-lived all the same.
FILETIME DaysFromNow(int days)
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
    t.QuadPart += static_cast<LONGLONG>(days) * 24 * 3600 * 10000000LL;
    return {t.LowPart, t.HighPart};
}

CERT_EXTENSION Extension(LPCSTR oid, BOOL critical, std::vector<BYTE>& value)
{
    return {const_cast<LPSTR>(oid), critical, {static_cast<DWORD>(value.size()), value.data()}};
}

// A running process's id and start time, which together name it for good:
// ids are used again (under Wine the first process of a session tends to get
// the same one every time).
std::wstring ProcessTag(HANDLE process, DWORD pid)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return {};
    wchar_t tag[40];
    swprintf(tag, 40, L"%lu-%08lX%08lX", pid, created.dwHighDateTime, created.dwLowDateTime);
    return tag;
}

// Whether the process a tag names has ended.
bool ProcessEnded(const std::wstring& tag)
{
    DWORD pid = wcstoul(tag.c_str(), nullptr, 10);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
    DWORD code = 0;
    bool ended = (GetExitCodeProcess(process, &code) && code != STILL_ACTIVE) ||
                 tag.compare(0, tag.find(L' '), ProcessTag(process, pid)) != 0;
    CloseHandle(process);
    return ended;
}

PCCERT_CONTEXT MakeCa(TestKeyContainer& key, const std::wstring& name)
{
    std::vector<BYTE> subject = EncodeName(L"CN=\"" + name + L"\"");
    CERT_NAME_BLOB subjectBlob{static_cast<DWORD>(subject.size()), subject.data()};
    CERT_BASIC_CONSTRAINTS2_INFO constraints{TRUE, FALSE, 0};
    std::vector<BYTE> basic = Encode(X509_BASIC_CONSTRAINTS2, &constraints);
    CERT_EXTENSION extensions[] = {Extension(szOID_BASIC_CONSTRAINTS2, TRUE, basic)};
    CERT_EXTENSIONS list{1, extensions};
    CRYPT_KEY_PROV_INFO provInfo = key.ProvInfo();
    CRYPT_ALGORITHM_IDENTIFIER sha256{const_cast<LPSTR>(szOID_RSA_SHA256RSA), {}};
    SYSTEMTIME from, to;
    FILETIME start = DaysFromNow(-1), end = DaysFromNow(1);
    FileTimeToSystemTime(&start, &from);
    FileTimeToSystemTime(&end, &to);
    PCCERT_CONTEXT ca =
        CertCreateSelfSignCertificate(key.Provider(), &subjectBlob, 0, &provInfo, &sha256, &from, &to, &list);
    if (!ca) std::printf("test CA: not made (error %lu)\n", GetLastError());
    return ca;
}

// A certificate for "localhost" fit for a TLS server, signed by `ca`.
PCCERT_CONTEXT MakeLeaf(TestKeyContainer& caKey, PCCERT_CONTEXT ca, TestKeyContainer& key)
{
    DWORD size = 0;
    CryptExportPublicKeyInfo(key.Provider(), AT_KEYEXCHANGE, X509_ASN_ENCODING, nullptr, &size);
    std::vector<BYTE> publicKey(size);
    auto* publicKeyInfo = reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(publicKey.data());
    if (!size || !CryptExportPublicKeyInfo(key.Provider(), AT_KEYEXCHANGE, X509_ASN_ENCODING, publicKeyInfo, &size))
        return nullptr;

    std::vector<BYTE> subject = EncodeName(L"CN=localhost");
    CERT_ALT_NAME_ENTRY dns{CERT_ALT_NAME_DNS_NAME, {}};
    dns.pwszDNSName = const_cast<wchar_t*>(L"localhost");
    CERT_ALT_NAME_INFO altNames{1, &dns};
    std::vector<BYTE> alt = Encode(X509_ALTERNATE_NAME, &altNames);
    LPSTR serverAuth = const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH);
    CERT_ENHKEY_USAGE usage{1, &serverAuth};
    std::vector<BYTE> eku = Encode(X509_ENHANCED_KEY_USAGE, &usage);
    CERT_BASIC_CONSTRAINTS2_INFO constraints{FALSE, FALSE, 0};
    std::vector<BYTE> basic = Encode(X509_BASIC_CONSTRAINTS2, &constraints);
    CERT_EXTENSION extensions[] = {Extension(szOID_SUBJECT_ALT_NAME2, FALSE, alt),
                                   Extension(szOID_ENHANCED_KEY_USAGE, FALSE, eku),
                                   Extension(szOID_BASIC_CONSTRAINTS2, TRUE, basic)};

    BYTE serial[16];
    CryptGenRandom(caKey.Provider(), sizeof serial, serial);
    serial[sizeof serial - 1] &= 0x7F;  // little-endian: the last byte is the sign's
    serial[sizeof serial - 1] |= 0x01;

    CERT_INFO info{};
    info.dwVersion = CERT_V3;
    info.SerialNumber = {sizeof serial, serial};
    info.SignatureAlgorithm.pszObjId = const_cast<LPSTR>(szOID_RSA_SHA256RSA);
    info.Issuer = ca->pCertInfo->Subject;
    info.NotBefore = DaysFromNow(-1);
    info.NotAfter = DaysFromNow(1);
    info.Subject = {static_cast<DWORD>(subject.size()), subject.data()};
    info.SubjectPublicKeyInfo = *publicKeyInfo;
    info.cExtension = 3;
    info.rgExtension = extensions;

    size = 0;
    if (!CryptSignAndEncodeCertificate(caKey.Provider(), AT_KEYEXCHANGE, X509_ASN_ENCODING, X509_CERT_TO_BE_SIGNED,
                                       &info, &info.SignatureAlgorithm, nullptr, nullptr, &size))
        return nullptr;
    std::vector<BYTE> der(size);
    if (!CryptSignAndEncodeCertificate(caKey.Provider(), AT_KEYEXCHANGE, X509_ASN_ENCODING, X509_CERT_TO_BE_SIGNED,
                                       &info, &info.SignatureAlgorithm, nullptr, der.data(), &size))
        return nullptr;
    PCCERT_CONTEXT leaf = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size);
    CRYPT_KEY_PROV_INFO provInfo = key.ProvInfo();
    if (leaf && !CertSetCertificateContextProperty(leaf, CERT_KEY_PROV_INFO_PROP_ID, 0, &provInfo)) {
        CertFreeCertificateContext(leaf);
        leaf = nullptr;
    }
    return leaf;
}

}  // namespace

TestCertificates::TestCertificates(const wchar_t* label)
{
    std::wstring tag = ProcessTag(GetCurrentProcess(), GetCurrentProcessId()) + L" " + label;
    std::wstring keyPrefix(kKeyPrefix, kKeyPrefix + sizeof kKeyPrefix - 1);
    caKey_ = std::make_unique<TestKeyContainer>(keyPrefix + tag + L" CA");
    leafKey_ = std::make_unique<TestKeyContainer>(keyPrefix + tag + L" localhost");
    if (!caKey_->Ok() || !leafKey_->Ok()) return;
    ca_ = MakeCa(*caKey_, kCaPrefix + tag);
    if (ca_) leaf_ = MakeLeaf(*caKey_, ca_, *leafKey_);
    if (ca_ && !leaf_) std::printf("test certificate for localhost: not made (error %lu)\n", GetLastError());
}

TestCertificates::~TestCertificates()
{
    if (leaf_) CertFreeCertificateContext(leaf_);
    if (ca_) CertFreeCertificateContext(ca_);
}

bool TestCertificates::IsTestCa(PCCERT_CONTEXT certificate)
{
    wchar_t name[128] = {};
    CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, const_cast<LPSTR>(szOID_COMMON_NAME), name, 128);
    return wcsncmp(name, kCaPrefix, wcslen(kCaPrefix)) == 0;
}

bool TestCertificates::MakerEnded(PCCERT_CONTEXT certificate)
{
    wchar_t name[128] = {};
    CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, const_cast<LPSTR>(szOID_COMMON_NAME), name, 128);
    if (wcsncmp(name, kCaPrefix, wcslen(kCaPrefix)) != 0) return false;
    return ProcessEnded(name + wcslen(kCaPrefix));
}

void TestCertificates::RemoveLeftoverKeys()
{
    HCRYPTPROV any = 0;
    if (!CryptAcquireContextW(&any, nullptr, kProvider, kProviderType, CRYPT_VERIFYCONTEXT)) return;
    std::vector<std::string> ended;
    char name[512];
    for (DWORD flags = CRYPT_FIRST;; flags = CRYPT_NEXT) {
        DWORD size = sizeof name;
        if (!CryptGetProvParam(any, PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(name), &size, flags)) break;
        if (strncmp(name, kKeyPrefix, sizeof kKeyPrefix - 1) != 0) continue;
        std::string tag = name + sizeof kKeyPrefix - 1;
        if (ProcessEnded(std::wstring(tag.begin(), tag.end()))) ended.push_back(name);
    }
    CryptReleaseContext(any, 0);
    for (const std::string& container : ended) {
        HCRYPTPROV gone = 0;
        CryptAcquireContextA(&gone, container.c_str(), nullptr, kProviderType, CRYPT_DELETEKEYSET);
    }
}

std::string TestCertificates::LeafPem() const
{
    return leaf_ ? Pem("CERTIFICATE", leaf_->pbCertEncoded, leaf_->cbCertEncoded) : std::string();
}

std::string TestCertificates::LeafKeyPem() const
{
    HCRYPTKEY key = 0;
    if (!leaf_ || !CryptGetUserKey(leafKey_->Provider(), AT_KEYEXCHANGE, &key)) return {};
    DWORD size = 0;
    std::vector<BYTE> blob;
    if (CryptExportKey(key, 0, PRIVATEKEYBLOB, 0, nullptr, &size)) {
        blob.resize(size);
        if (!CryptExportKey(key, 0, PRIVATEKEYBLOB, 0, blob.data(), &size)) blob.clear();
    }
    CryptDestroyKey(key);
    std::vector<BYTE> der = RsaPrivateKeyDer(blob);
    SecureZeroMemory(blob.data(), blob.size());
    std::string pem = Pem("RSA PRIVATE KEY", der.data(), static_cast<DWORD>(der.size()));
    SecureZeroMemory(der.data(), der.size());
    return pem;
}

const TestCertificates& TestCertificates::ForProcess(bool trusted)
{
    if (trusted) {
        static TestCertificates set(L"trusted");
        return set;
    }
    static TestCertificates set(L"untrusted");
    return set;
}
