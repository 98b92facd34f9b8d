// Which server names the SSL chain policy finds in a certificate under the
// platform. Host names, in either case. An address among the certificate's IP
// alternative names Wine 8 does not find (CERT_E_CN_NO_MATCH for "127.0.0.1"
// and "::1"): for a server given as an address the program compares those
// names itself, which the decoded extension allows.
#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_certificates.h"

namespace zepho {
namespace {

// The engine configuration from Windows 7 on: its exclusive root is the only one trusted.
struct ExclusiveRootConfig {
  CERT_CHAIN_ENGINE_CONFIG base;
  HCERTSTORE exclusive_root;
  HCERTSTORE exclusive_trusted_people;
};

// The SSL policy's verdict on `leaf` for the server `name` (0 when it passes).
DWORD PolicyError(const test::TestCa& ca, PCCERT_CONTEXT leaf, const wchar_t* name) {
  HCERTSTORE roots = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
  CertAddCertificateContextToStore(roots, ca.root(), CERT_STORE_ADD_ALWAYS, nullptr);
  ExclusiveRootConfig config{};
  config.base.cbSize = sizeof config;
  config.exclusive_root = roots;
  HCERTCHAINENGINE engine = nullptr;
  DWORD error = 0xFFFFFFFF;
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  if (CertCreateCertificateChainEngine(&config.base, &engine) &&
      CertGetCertificateChain(engine, leaf, nullptr, nullptr, &para, 0, nullptr, &chain)) {
    std::wstring server = name;
    HTTPSPolicyCallbackData ssl{};
    ssl.cbStruct = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = server.data();
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status))
      error = status.dwError;
    CertFreeCertificateChain(chain);
  }
  if (engine) CertFreeCertificateChainEngine(engine);
  CertCloseStore(roots, 0);
  return error;
}

TEST(CertificateName, HostNamesAndAddressesAsTheCertificateNamesThem) {
  test::TestCa ca(L"CN=ZEPHO Name Test Root");
  ASSERT_TRUE(ca.ok());
  test::TestCa::AltNames alt;
  alt.dns = {L"pop.example.jp"};
  alt.ip = {{127, 0, 0, 1}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}};
  PCCERT_CONTEXT leaf = ca.Issue(0x3001, L"", alt);
  ASSERT_TRUE(leaf);
  const struct {
    const wchar_t* name;
    DWORD want;
  } cases[] = {
      {L"pop.example.jp", 0},
      {L"POP.Example.JP", 0},
      {L"other.example.jp", static_cast<DWORD>(CERT_E_CN_NO_MATCH)},
      {L"127.0.0.2", static_cast<DWORD>(CERT_E_CN_NO_MATCH)},
      {L"::2", static_cast<DWORD>(CERT_E_CN_NO_MATCH)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PolicyError(ca, leaf, c.name), c.want) << std::hex << c.name;
  }
  // Found or not found; no other verdict.
  for (const wchar_t* address : {L"127.0.0.1", L"::1"}) {
    const DWORD error = PolicyError(ca, leaf, address);
    EXPECT_TRUE(error == 0 || error == static_cast<DWORD>(CERT_E_CN_NO_MATCH)) << std::hex << error;
  }
  // The names as the program would compare them itself.
  const CERT_EXTENSION* ext = CertFindExtension(
      szOID_SUBJECT_ALT_NAME2, leaf->pCertInfo->cExtension, leaf->pCertInfo->rgExtension);
  ASSERT_TRUE(ext);
  CERT_ALT_NAME_INFO* names = nullptr;
  DWORD size = 0;
  ASSERT_TRUE(CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, ext->Value.pbData,
                                  ext->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names,
                                  &size));
  std::vector<std::vector<BYTE>> ips;
  for (DWORD i = 0; i < names->cAltEntry; ++i) {
    const CERT_ALT_NAME_ENTRY& e = names->rgAltEntry[i];
    if (e.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS)
      ips.emplace_back(e.IPAddress.pbData, e.IPAddress.pbData + e.IPAddress.cbData);
  }
  LocalFree(names);
  EXPECT_EQ(ips, alt.ip);
  CertFreeCertificateContext(leaf);
}

}  // namespace
}  // namespace zepho
