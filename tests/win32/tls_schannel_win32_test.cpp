// The SChannel adapter without a peer: what it sends first, what it makes of a
// server's refusal, and that nothing works on a connection it does not have.
// Whole handshakes against a real server are in tests/e2e/test_tls.py.
#include "net/tls_schannel_win32.h"

#include <gtest/gtest.h>

#include <string>

#include "net/tls_certificate.h"

namespace zepho {
namespace {

TEST(SchannelTls, ClientHelloNamesTheServerAndOffersTls12) {
  SchannelTls tls;
  std::string hello, error;
  ASSERT_TRUE(tls.Begin(TlsPeerOf(ParseServerAddress("pop.example.jp")), hello, error)) << error;
  ASSERT_GT(hello.size(), 43u);
  EXPECT_EQ(hello[0], 0x16) << "a handshake record";
  const std::size_t body = std::size_t{static_cast<unsigned char>(hello[3])} << 8 |
                           static_cast<unsigned char>(hello[4]);
  EXPECT_EQ(hello.size(), 5 + body) << "one whole record";
  EXPECT_EQ(hello[5], 0x01) << "a ClientHello";
  EXPECT_EQ(hello.substr(9, 2), std::string("\x03\x03", 2)) << "TLS 1.2 at most, nothing older asked for";
  EXPECT_NE(hello.find("pop.example.jp"), std::string::npos) << "the name goes out as SNI";
  // A second connection starts afresh.
  std::string again;
  ASSERT_TRUE(tls.Begin(TlsPeerOf(ParseServerAddress("other.example.jp")), again, error)) << error;
  EXPECT_NE(again.find("other.example.jp"), std::string::npos);
  tls.End();
}

// A server given as an address gets no server name (RFC 6066 names hosts only).
TEST(SchannelTls, AnAddressIsNotSent) {
  SchannelTls tls;
  for (const char* typed : {"127.0.0.1", "::1"}) {
    std::string hello, error;
    ASSERT_TRUE(tls.Begin(TlsPeerOf(ParseServerAddress(typed)), hello, error)) << error;
    EXPECT_EQ(hello[5], 0x01) << "a ClientHello all the same";
    EXPECT_EQ(hello.find(typed), std::string::npos) << typed;
    tls.End();
  }
}

TEST(SchannelTls, ServerAlertFailsTheHandshake) {
  SchannelTls tls;
  std::string hello, error;
  ASSERT_TRUE(tls.Begin(TlsPeerOf(ParseServerAddress("pop.example.jp")), hello, error)) << error;
  const std::string alert("\x15\x03\x03\x00\x02\x02\x28", 7);  // fatal handshake_failure
  const TlsStep step = tls.Handshake(alert);
  EXPECT_EQ(step.status, TlsStep::Status::Failed);
  EXPECT_FALSE(step.error.empty());
  tls.End();
}

TEST(SchannelTls, NothingWithoutAConnection) {
  SchannelTls tls;
  std::string record, detail;
  EXPECT_EQ(tls.MaxPlainPerRecord(), 0u);
  EXPECT_FALSE(tls.Encrypt("STAT\r\n", record));
  EXPECT_EQ(tls.Decrypt(std::string("\x17\x03\x03\x00\x01x", 6)).status, TlsStep::Status::Failed);
  EXPECT_EQ(tls.Handshake(std::string("\x16\x03\x03\x00\x00", 5)).status, TlsStep::Status::Failed);
  EXPECT_TRUE(tls.PeerCertificate().empty());
  EXPECT_FALSE(tls.StartVerify(detail)) << "no certificate to check";
  EXPECT_EQ(detail, "no certificate");
  EXPECT_TRUE(tls.Shutdown().empty());
}

}  // namespace
}  // namespace zepho
