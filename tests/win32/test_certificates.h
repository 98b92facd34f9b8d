// Certificates made on the spot for the tests, with CryptoAPI: a root, leaves
// it signs (with a CRL distribution point when asked) and the root's CRL.
// Made per run, so every URL they name is new to the system's URL cache.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

namespace zepho::test {

class TestCa {
 public:
  explicit TestCa(const wchar_t* subject) {
    if (!CryptAcquireContextW(&prov_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return;
    if (!CryptGenKey(prov_, AT_SIGNATURE, 2048u << 16, &key_)) return;
    DWORD len = 0;
    CryptExportPublicKeyInfo(prov_, AT_SIGNATURE, X509_ASN_ENCODING, nullptr, &len);
    public_key_.resize(len);
    if (!CryptExportPublicKeyInfo(prov_, AT_SIGNATURE, X509_ASN_ENCODING,
                                  reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(public_key_.data()),
                                  &len))
      return;
    // The leaves get a key of their own: one that signed itself would look self-signed.
    if (!CryptGenKey(prov_, AT_KEYEXCHANGE, 2048u << 16, &leaf_key_)) return;
    len = 0;
    CryptExportPublicKeyInfo(prov_, AT_KEYEXCHANGE, X509_ASN_ENCODING, nullptr, &len);
    leaf_public_key_.resize(len);
    if (!CryptExportPublicKeyInfo(prov_, AT_KEYEXCHANGE, X509_ASN_ENCODING,
                                  reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(leaf_public_key_.data()),
                                  &len))
      return;
    name_ = Name(subject);
    CERT_BASIC_CONSTRAINTS2_INFO ca{TRUE, FALSE, 0};
    BYTE usage_bits = CERT_KEY_CERT_SIGN_KEY_USAGE | CERT_CRL_SIGN_KEY_USAGE;
    CRYPT_BIT_BLOB usage{1, &usage_bits, 0};
    std::vector<BYTE> bc = Encode(X509_BASIC_CONSTRAINTS2, &ca);
    std::vector<BYTE> ku = Encode(X509_KEY_USAGE, &usage);
    CERT_EXTENSION ext[2] = {
        {const_cast<char*>(szOID_BASIC_CONSTRAINTS2), TRUE, {static_cast<DWORD>(bc.size()), bc.data()}},
        {const_cast<char*>(szOID_KEY_USAGE), TRUE, {static_cast<DWORD>(ku.size()), ku.data()}}};
    root_ = Sign(name_, 1, public_key_, ext, 2);
  }
  ~TestCa() {
    if (root_) CertFreeCertificateContext(root_);
    if (leaf_key_) CryptDestroyKey(leaf_key_);
    if (key_) CryptDestroyKey(key_);
    if (prov_) CryptReleaseContext(prov_, 0);
  }
  TestCa(const TestCa&) = delete;
  TestCa& operator=(const TestCa&) = delete;

  bool ok() const { return root_ != nullptr; }
  PCCERT_CONTEXT root() const { return root_; }

  // What a leaf's subject alternative name holds: host names and addresses
  // (4 or 16 bytes, network order).
  struct AltNames {
    std::vector<std::wstring> dns;
    std::vector<std::vector<BYTE>> ip;
  };

  // A certificate for CN=localhost with `serial`, naming `crl_url` as its CRL
  // distribution point unless it is empty, and `alt` as its other names. The
  // caller frees it.
  PCCERT_CONTEXT Issue(DWORD serial, const std::wstring& crl_url, AltNames alt = {}) {
    const std::vector<BYTE> subject = Name(L"CN=localhost");
    CERT_BASIC_CONSTRAINTS2_INFO leaf{FALSE, FALSE, 0};
    std::vector<BYTE> bc = Encode(X509_BASIC_CONSTRAINTS2, &leaf);
    CERT_EXTENSION ext[3] = {
        {const_cast<char*>(szOID_BASIC_CONSTRAINTS2), FALSE, {static_cast<DWORD>(bc.size()), bc.data()}},
        {},
        {}};
    DWORD count = 1;
    std::vector<CERT_ALT_NAME_ENTRY> names;
    for (std::wstring& dns : alt.dns) {
      CERT_ALT_NAME_ENTRY e{};
      e.dwAltNameChoice = CERT_ALT_NAME_DNS_NAME;
      e.pwszDNSName = dns.data();
      names.push_back(e);
    }
    for (std::vector<BYTE>& ip : alt.ip) {
      CERT_ALT_NAME_ENTRY e{};
      e.dwAltNameChoice = CERT_ALT_NAME_IP_ADDRESS;
      e.IPAddress = {static_cast<DWORD>(ip.size()), ip.data()};
      names.push_back(e);
    }
    CERT_ALT_NAME_INFO alt_info{static_cast<DWORD>(names.size()), names.data()};
    std::vector<BYTE> san;
    if (!names.empty()) {
      san = Encode(X509_ALTERNATE_NAME, &alt_info);
      ext[count++] = {const_cast<char*>(szOID_SUBJECT_ALT_NAME2), FALSE,
                      {static_cast<DWORD>(san.size()), san.data()}};
    }
    std::vector<BYTE> cdp;
    std::wstring url = crl_url;
    CERT_ALT_NAME_ENTRY entry{};
    CRL_DIST_POINT point{};
    CRL_DIST_POINTS_INFO points{1, &point};
    if (!url.empty()) {
      entry.dwAltNameChoice = CERT_ALT_NAME_URL;
      entry.pwszURL = url.data();
      point.DistPointName.dwDistPointNameChoice = CRL_DIST_POINT_FULL_NAME;
      point.DistPointName.FullName = {1, &entry};
      cdp = Encode(X509_CRL_DIST_POINTS, &points);
      ext[count++] = {const_cast<char*>(szOID_CRL_DIST_POINTS), FALSE,
                      {static_cast<DWORD>(cdp.size()), cdp.data()}};
    }
    return Sign(subject, serial, leaf_public_key_, ext, count);
  }

  // The root's CRL (DER), listing `revoked` serials; valid from a day ago for a month.
  std::string Crl(const std::vector<DWORD>& revoked) {
    std::vector<DWORD> serials = revoked;
    std::vector<CRL_ENTRY> entries(serials.size());
    const FILETIME now = Now(0);
    for (std::size_t i = 0; i < serials.size(); ++i) {
      entries[i].SerialNumber = {sizeof(DWORD), reinterpret_cast<BYTE*>(&serials[i])};
      entries[i].RevocationDate = now;
    }
    CRL_INFO info{};
    info.dwVersion = CRL_V2;
    info.SignatureAlgorithm.pszObjId = const_cast<char*>(szOID_RSA_SHA256RSA);
    info.Issuer = {static_cast<DWORD>(name_.size()), name_.data()};
    info.ThisUpdate = Now(-1);
    info.NextUpdate = Now(30);
    info.cCRLEntry = static_cast<DWORD>(entries.size());
    info.rgCRLEntry = entries.data();
    const std::vector<BYTE> der = SignStruct(X509_CERT_CRL_TO_BE_SIGNED, &info);
    return std::string(der.begin(), der.end());
  }

 private:
  static std::vector<BYTE> Name(const wchar_t* x500) {
    DWORD len = 0;
    CertStrToNameW(X509_ASN_ENCODING, x500, CERT_X500_NAME_STR, nullptr, nullptr, &len, nullptr);
    std::vector<BYTE> out(len);
    CertStrToNameW(X509_ASN_ENCODING, x500, CERT_X500_NAME_STR, nullptr, out.data(), &len, nullptr);
    return out;
  }
  static std::vector<BYTE> Encode(LPCSTR type, const void* what) {
    DWORD len = 0;
    CryptEncodeObject(X509_ASN_ENCODING, type, what, nullptr, &len);
    std::vector<BYTE> out(len);
    if (!CryptEncodeObject(X509_ASN_ENCODING, type, what, out.data(), &len)) out.clear();
    out.resize(len);
    return out;
  }
  // `days` from now, in either direction.
  static FILETIME Now(int days) {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER t{{ft.dwLowDateTime, ft.dwHighDateTime}};
    t.QuadPart += static_cast<ULONGLONG>(static_cast<LONGLONG>(days) * 864000000000LL);
    return {t.LowPart, t.HighPart};
  }
  std::vector<BYTE> SignStruct(LPCSTR type, const void* what) {
    CRYPT_ALGORITHM_IDENTIFIER alg{const_cast<char*>(szOID_RSA_SHA256RSA), {0, nullptr}};
    DWORD len = 0;
    CryptSignAndEncodeCertificate(prov_, AT_SIGNATURE, X509_ASN_ENCODING, type, what, &alg,
                                  nullptr, nullptr, &len);
    std::vector<BYTE> out(len);
    if (!CryptSignAndEncodeCertificate(prov_, AT_SIGNATURE, X509_ASN_ENCODING, type, what, &alg,
                                       nullptr, out.data(), &len))
      out.clear();
    out.resize(len);
    return out;
  }
  PCCERT_CONTEXT Sign(const std::vector<BYTE>& subject, DWORD serial,
                      const std::vector<BYTE>& public_key, CERT_EXTENSION* ext, DWORD count) {
    std::vector<BYTE> subject_copy = subject;
    CERT_INFO info{};
    info.dwVersion = CERT_V3;
    info.SerialNumber = {sizeof serial, reinterpret_cast<BYTE*>(&serial)};
    info.SignatureAlgorithm.pszObjId = const_cast<char*>(szOID_RSA_SHA256RSA);
    info.Issuer = {static_cast<DWORD>(name_.size()), name_.data()};
    info.NotBefore = Now(-1);
    info.NotAfter = Now(30);
    info.Subject = {static_cast<DWORD>(subject_copy.size()), subject_copy.data()};
    info.SubjectPublicKeyInfo = *reinterpret_cast<const CERT_PUBLIC_KEY_INFO*>(public_key.data());
    info.cExtension = count;
    info.rgExtension = ext;
    const std::vector<BYTE> der = SignStruct(X509_CERT_TO_BE_SIGNED, &info);
    if (der.empty()) return nullptr;
    return CertCreateCertificateContext(X509_ASN_ENCODING, der.data(),
                                        static_cast<DWORD>(der.size()));
  }

  HCRYPTPROV prov_ = 0;
  HCRYPTKEY key_ = 0, leaf_key_ = 0;
  std::vector<BYTE> public_key_, leaf_public_key_;
  std::vector<BYTE> name_;
  PCCERT_CONTEXT root_ = nullptr;
};

}  // namespace zepho::test
