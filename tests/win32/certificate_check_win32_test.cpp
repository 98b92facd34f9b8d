// The server certificate's check as the program makes it: the names and
// addresses a certificate is good for, the revocation policy (refused when
// known revoked, passed when it cannot be learnt), and the check's bound on
// its worker, a CRL server that never answers included.
//
// Wine's revocation results are not trusted beyond one check: each check here
// starts with the results Wine keeps removed, and uses certificates and CRL
// URLs made for this run.
#include "net/certificate_check_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "crl_server.h"
#include "pop3/socket_transport_win32.h"
#include "net/tls_certificate.h"
#include "test_certificates.h"

namespace zepho {
namespace {

constexpr UINT kVerdictMessage = WM_APP + 40;

TlsPeer Peer(const char* typed) { return TlsPeerOf(ParseServerAddress(typed)); }

struct CertificateCheckTest : ::testing::Test {
  void SetUp() override {
    ASSERT_EQ(StartupSockets(), 0);
    ASSERT_TRUE(ca.ok());
    engine = test::EngineTrusting(ca.root());
    ASSERT_TRUE(engine);
  }
  void TearDown() override {
    for (PCCERT_CONTEXT c : issued) CertFreeCertificateContext(c);
    if (engine) CertFreeCertificateChainEngine(engine);
    CleanupSockets();
  }
  PCCERT_CONTEXT Issue(DWORD serial, const std::wstring& crl_url = L"",
                       test::TestCa::AltNames alt = {}) {
    PCCERT_CONTEXT c = ca.Issue(serial, crl_url, std::move(alt));
    if (c) issued.push_back(c);
    return c;
  }

  // Runs a check through its window message, as the program does; the
  // verdict, the time it took, and the longest the thread was kept from pumping.
  std::optional<CertificateVerdict> Check(CertificateCheck& check, PCCERT_CONTEXT cert,
                                          const TlsPeer& peer, DWORD& elapsed, DWORD& longest) {
    test::ForgetWineRevocationResults();
    std::string error;
    const DWORD start = GetTickCount();
    if (!check.Start(cert, peer, error)) {
      ADD_FAILURE() << error;
      return std::nullopt;
    }
    longest = GetTickCount() - start;
    DWORD last = GetTickCount();
    std::optional<CertificateVerdict> got;
    while (!got && GetTickCount() - start < 30000) {
      MSG msg;
      while (!got && PeekMessageW(&msg, window.hwnd(), 0, 0, PM_REMOVE))
        if (msg.message == kVerdictMessage) got = check.Take(msg.wParam);
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
      longest = std::max(longest, GetTickCount() - last);
      last = GetTickCount();
    }
    elapsed = GetTickCount() - start;
    return got;
  }

  test::TestCa ca{L"CN=ZEPHO Check Test Root"};
  HCERTCHAINENGINE engine = nullptr;
  std::vector<PCCERT_CONTEXT> issued;
  test::SelectWindow window;
};

// A host name is matched by the platform, in either case; an address only by
// the certificate's IP entries, which the program compares itself.
TEST_F(CertificateCheckTest, NamesAndAddressesTheCertificateIsFor) {
  test::TestCa::AltNames both;
  both.dns = {L"pop.example.jp"};
  both.ip = {{127, 0, 0, 1}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}};
  PCCERT_CONTEXT with_ips = Issue(0x4001, L"", both);
  test::TestCa::AltNames names_only;
  names_only.dns = {L"pop.example.jp", L"localhost"};
  PCCERT_CONTEXT without_ips = Issue(0x4002, L"", names_only);
  ASSERT_TRUE(with_ips && without_ips);
  const struct {
    PCCERT_CONTEXT cert;
    const char* server;
    CertVerdict verdict;
  } cases[] = {
      {with_ips, "pop.example.jp", CertVerdict::Ok},
      {with_ips, "POP.Example.JP.", CertVerdict::Ok},
      {with_ips, "other.example.jp", CertVerdict::NameMismatch},
      {with_ips, "127.0.0.1", CertVerdict::Ok},
      {with_ips, "127.1", CertVerdict::Ok},
      {with_ips, "::1", CertVerdict::Ok},
      {with_ips, "[::1]", CertVerdict::Ok},
      {with_ips, "127.0.0.2", CertVerdict::NameMismatch},
      {with_ips, "::ffff:127.0.0.2", CertVerdict::NameMismatch},
      {without_ips, "localhost", CertVerdict::Ok},
      {without_ips, "127.0.0.1", CertVerdict::NameMismatch},
      {without_ips, "::1", CertVerdict::NameMismatch},
  };
  for (const auto& c : cases) {
    const CertificateVerdict v =
        VerifyCertificate(c.cert, Peer(c.server), ChainFetch::CacheOnly, engine);
    EXPECT_EQ(v.verdict, c.verdict) << c.server << ": " << v.detail;
  }
  // Trusted by no engine of the system: refused as such.
  EXPECT_EQ(VerifyCertificate(with_ips, Peer("pop.example.jp"), ChainFetch::CacheOnly).verdict,
            CertVerdict::Untrusted);
}

// Known revoked: refused with its own reason. Revocation that cannot be
// learnt (no CRL point, none reachable): passed.
TEST_F(CertificateCheckTest, RevokedIsRefusedAndUnknownPasses) {
  test::CrlServer server(ca.Crl({0x5001}));
  unsigned short gone_port;
  {
    test::LoopbackListener gone(Ipv4(127, 0, 0, 1));
    gone_port = gone.port();
  }
  const struct {
    PCCERT_CONTEXT cert;
    CertVerdict verdict;
    const char* what;
  } cases[] = {
      {Issue(0x5001, test::FreshUrl(server.port())), CertVerdict::Revoked, "listed in the CRL"},
      {Issue(0x5002, test::FreshUrl(server.port()) + L"x"), CertVerdict::Ok, "not listed"},
      {Issue(0x5003), CertVerdict::Ok, "no CRL point"},
      {Issue(0x5004, test::FreshUrl(gone_port)), CertVerdict::Ok, "CRL point refuses"},
  };
  CertificateCheck check(window.hwnd(), kVerdictMessage, kCertificateCheckBoundMs, engine);
  for (const auto& c : cases) {
    ASSERT_TRUE(c.cert) << c.what;
    DWORD elapsed = 0, longest = 0;
    const std::optional<CertificateVerdict> v = Check(check, c.cert, Peer("localhost"), elapsed, longest);
    ASSERT_TRUE(v) << c.what;
    EXPECT_EQ(v->verdict, c.verdict) << c.what << ": " << v->detail;
    EXPECT_LT(elapsed, 5000u) << c.what;
    EXPECT_LT(longest, 500u) << c.what << ": the window thread kept pumping";
    EXPECT_FALSE(check.busy());
  }
  EXPECT_GE(server.requests(), 2) << "the CRL was fetched";
}

TEST_F(CertificateCheckTest, ACheckLetGoIsNotTaken) {
  PCCERT_CONTEXT cert = Issue(0x6001);
  ASSERT_TRUE(cert);
  CertificateCheck check(window.hwnd(), kVerdictMessage, kCertificateCheckBoundMs, engine);
  std::string error;
  ASSERT_TRUE(check.Start(cert, Peer("localhost"), error)) << error;
  check.Cancel();
  EXPECT_FALSE(check.busy());
  Sleep(500);
  MSG msg;
  while (PeekMessageW(&msg, window.hwnd(), 0, 0, PM_REMOVE))
    if (msg.message == kVerdictMessage) {
      EXPECT_FALSE(check.Take(msg.wParam));
    }
  // A check replaced by the next: only the next one's verdict is taken.
  ASSERT_TRUE(check.Start(cert, Peer("other.example.jp"), error));
  ASSERT_TRUE(check.Start(cert, Peer("localhost"), error));
  DWORD elapsed = 0, longest = 0;
  const std::optional<CertificateVerdict> v = Check(check, cert, Peer("localhost"), elapsed, longest);
  ASSERT_TRUE(v);
  EXPECT_EQ(v->verdict, CertVerdict::Ok) << v->detail;
}

TEST_F(CertificateCheckTest, WithoutAWindowTheCallerWaits) {
  PCCERT_CONTEXT cert = Issue(0x7001);
  ASSERT_TRUE(cert);
  CertificateCheck check(nullptr, 0, kCertificateCheckBoundMs, engine);
  EXPECT_EQ(check.Wait().verdict, CertVerdict::Unchecked) << "nothing under way";
  std::string error;
  ASSERT_TRUE(check.Start(cert, Peer("other.example.jp"), error)) << error;
  const CertificateVerdict v = check.Wait();
  EXPECT_EQ(v.verdict, CertVerdict::NameMismatch) << v.detail;
}

// Kept last: the build it leaves hanging is the one the program allows at a
// time, and the checks after it in this process use what the machine has.
TEST_F(CertificateCheckTest, ACrlServerThatNeverAnswersCostsOnlyTheBound) {
  // It accepts (the system does), reads nothing and never answers.
  test::LoopbackListener silent(Ipv4(127, 0, 0, 1));
  ASSERT_TRUE(silent.ok());
  PCCERT_CONTEXT cert = Issue(0x8001, test::FreshUrl(silent.port()));
  ASSERT_TRUE(cert);
  CertificateCheck check(window.hwnd(), kVerdictMessage, 1500, engine);
  DWORD elapsed = 0, longest = 0;
  const std::optional<CertificateVerdict> v = Check(check, cert, Peer("localhost"), elapsed, longest);
  ASSERT_TRUE(v);
  // What the machine has says the chain is good and its revocation unknown: soft.
  EXPECT_EQ(v->verdict, CertVerdict::Ok) << v->detail;
  EXPECT_GE(elapsed, 1400u) << "the build with the network was waited for";
  EXPECT_LT(elapsed, 3000u);
  EXPECT_LT(longest, 500u) << "the window thread kept pumping";
  // While that build hangs, the next check does without the network: at once.
  PCCERT_CONTEXT other = Issue(0x8002, test::FreshUrl(silent.port()) + L"y");
  ASSERT_TRUE(other);
  const std::optional<CertificateVerdict> next = Check(check, other, Peer("localhost"), elapsed, longest);
  ASSERT_TRUE(next);
  EXPECT_EQ(next->verdict, CertVerdict::Ok) << next->detail;
  EXPECT_LT(elapsed, 1000u);
  // And a certificate for another name is still refused.
  const std::optional<CertificateVerdict> name =
      Check(check, other, Peer("pop.example.jp"), elapsed, longest);
  ASSERT_TRUE(name);
  EXPECT_EQ(name->verdict, CertVerdict::NameMismatch);
}

}  // namespace
}  // namespace zepho
