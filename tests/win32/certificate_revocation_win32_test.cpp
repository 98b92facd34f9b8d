// What CertGetCertificateChain says of revocation under the platform, for a
// test root and leaves it signs: without a CRL distribution point, with one
// that refuses the connection, and with one that serves the root's CRL.
//
// Seen under Wine 8 and not tested here, since no program may rely on them:
// a CRL server (or, with no revocation flags at all, an issuer URL) that
// accepts the connection and never answers keeps CertGetCertificateChain
// waiting indefinitely, whatever dwUrlRetrievalTimeout says. And Wine keeps
// each result in a file of its own (in LocalLow\Microsoft\CryptnetUrlCache
// \Content), a revoked one as good, under names so short that certificates
// share them: after a first check, a revoked certificate passes, and so may
// another one, until the CRL's next update. The tests start each check with
// those files gone.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <string>

#include "crl_server.h"
#include "pop3/socket_transport_win32.h"
#include "test_certificates.h"

namespace zepho {
namespace {

constexpr DWORD kRevocationUnknown = CERT_TRUST_REVOCATION_STATUS_UNKNOWN;
constexpr DWORD kOffline = CERT_TRUST_IS_OFFLINE_REVOCATION;
constexpr DWORD kCheckExcludingRoot = CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT;
constexpr DWORD kAccumulativeTimeout = 0x08000000;  // CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT

using test::CrlServer;
using test::ExclusiveRootConfig;
using test::ForgetWineRevocationResults;
using test::FreshUrl;

struct Revocation : ::testing::Test {
  void SetUp() override {
    ASSERT_EQ(StartupSockets(), 0);
    ASSERT_TRUE(ca.ok());
  }
  void TearDown() override { CleanupSockets(); }

  // The chain's error bits for `leaf` under an engine that trusts only the test root.
  DWORD ChainErrors(PCCERT_CONTEXT leaf, DWORD flags) {
    ForgetWineRevocationResults();
    HCERTSTORE roots = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
    CertAddCertificateContextToStore(roots, ca.root(), CERT_STORE_ADD_ALWAYS, nullptr);
    ExclusiveRootConfig config{};
    config.base.cbSize = sizeof config;
    config.exclusive_root = roots;
    HCERTCHAINENGINE engine = nullptr;
    DWORD errors = 0xFFFFFFFF;
    if (CertCreateCertificateChainEngine(&config.base, &engine)) {
      CERT_CHAIN_PARA para{};
      para.cbSize = sizeof para;
      para.dwUrlRetrievalTimeout = 3000;
      PCCERT_CHAIN_CONTEXT chain = nullptr;
      if (CertGetCertificateChain(engine, leaf, nullptr, nullptr, &para, flags, nullptr, &chain)) {
        errors = chain->TrustStatus.dwErrorStatus;
        CertFreeCertificateChain(chain);
      }
      CertFreeCertificateChainEngine(engine);
    }
    CertCloseStore(roots, 0);
    return errors;
  }

  test::TestCa ca{L"CN=ZEPHO Revocation Test Root"};
};

TEST_F(Revocation, WithoutACrlPointTheStatusIsUnknown) {
  PCCERT_CONTEXT leaf = ca.Issue(0x1001, L"");
  ASSERT_TRUE(leaf);
  EXPECT_EQ(ChainErrors(leaf, 0), 0u) << "no revocation asked for";
  const DWORD errors = ChainErrors(leaf, kCheckExcludingRoot | kAccumulativeTimeout);
  EXPECT_NE(errors & (kRevocationUnknown | kOffline), 0u) << std::hex << errors;
  EXPECT_EQ(errors & ~(kRevocationUnknown | kOffline), 0u) << std::hex << errors;
  CertFreeCertificateContext(leaf);
}

TEST_F(Revocation, AnUnreachableCrlPointIsOffline) {
  unsigned short port;
  {
    test::LoopbackListener gone(Ipv4(127, 0, 0, 1));
    port = gone.port();
  }
  PCCERT_CONTEXT leaf = ca.Issue(0x1002, FreshUrl(port));
  ASSERT_TRUE(leaf);
  const DWORD start = GetTickCount();
  const DWORD errors = ChainErrors(leaf, kCheckExcludingRoot | kAccumulativeTimeout);
  EXPECT_LT(GetTickCount() - start, 5000u);
  // Wine sets only the offline bit; Windows both.
  EXPECT_NE(errors & kOffline, 0u) << std::hex << errors;
  EXPECT_EQ(errors & ~(kRevocationUnknown | kOffline), 0u) << std::hex << errors;
  CertFreeCertificateContext(leaf);
}

TEST_F(Revocation, AServedCrlTellsRevokedFromGood) {
  CrlServer server(ca.Crl({0x2001}));
  PCCERT_CONTEXT revoked = ca.Issue(0x2001, FreshUrl(server.port()));
  PCCERT_CONTEXT good = ca.Issue(0x2002, FreshUrl(server.port()) + L"x");
  ASSERT_TRUE(revoked && good);
  EXPECT_EQ(ChainErrors(revoked, 0), 0u);
  EXPECT_EQ(server.requests(), 0) << "without revocation flags nothing is fetched";
  // On a worker thread, as the program is to check: the same answer.
  DWORD errors = 0;
  std::thread worker([&] { errors = ChainErrors(revoked, kCheckExcludingRoot); });
  worker.join();
  EXPECT_EQ(errors, static_cast<DWORD>(CERT_TRUST_IS_REVOKED)) << std::hex << errors;
  EXPECT_EQ(ChainErrors(good, kCheckExcludingRoot), 0u);
  EXPECT_EQ(server.requests(), 2);
  CertFreeCertificateContext(revoked);
  CertFreeCertificateContext(good);
}

}  // namespace
}  // namespace zepho
