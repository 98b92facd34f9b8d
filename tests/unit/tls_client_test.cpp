#include "pop3/tls_client.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "unit/fakes/toy_tls_port.h"

namespace zepho {
namespace {

using testing::DataRecord;
using testing::Record;
using testing::ToyTlsPort;
using Reason = TlsFailure::Reason;

const std::string kHello = Record(0x16, "CLIENT-HELLO");
const std::string kFinished = Record(0x16, "CLIENT-FINISHED");
const std::string kServerFlight = Record(0x16, "SERVER-HELLO") + Record(0x16, "CERTIFICATE") +
                                  Record(0x16, "FINISHED");

struct Stream {
  const char* name;
  std::string server;  // everything the server sends
  std::string sent;    // everything the client must send, ClientHello included
  std::string plain;   // what reaches the dialogue
  bool established;
  std::optional<Reason> failure;
  CertVerdict verdict = CertVerdict::Ok;
  bool pin_the_certificate = false;
};

std::vector<Stream> Streams() {
  const std::string biggest(kMaxTlsRecordBody, 'x');
  std::string too_big = Record(0x17, std::string(kMaxTlsRecordBody + 1, 'x'));
  return {
      {"greeting in the handshake's last flight", kServerFlight + DataRecord("+OK ready\r\n"),
       kHello + kFinished, "+OK ready\r\n", true, std::nullopt},
      {"greeting over two records", kServerFlight + DataRecord("+OK re") + DataRecord("ady\r\n"),
       kHello + kFinished, "+OK ready\r\n", true, std::nullopt},
      {"a handshake message over two records",
       Record(0x16, "PART") + Record(0x16, "REST") + Record(0x16, "FINISHED"), kHello + kFinished,
       "", true, std::nullopt},
      {"the largest record TLS allows", kServerFlight + DataRecord(biggest), kHello + kFinished,
       biggest, true, std::nullopt},
      {"an empty record and an alert give nothing", kServerFlight + DataRecord("") +
       Record(0x15, "\x01\x00"), kHello + kFinished, "", true, std::nullopt},
      {"peer stops in mid-record: nothing yet, no failure",
       kServerFlight + DataRecord("+OK ready\r\n").substr(0, 9), kHello + kFinished, "", true,
       std::nullopt},
      {"peer stops in mid-handshake", kServerFlight.substr(0, kServerFlight.size() - 3), kHello,
       "", false, std::nullopt},
      {"a record over the limit", kServerFlight + too_big, kHello + kFinished, "", true,
       Reason::Protocol},
      {"a handshake record over the limit", Record(0x16, std::string(kMaxTlsRecordBody + 1, 'h')),
       kHello, "", false, Reason::HandshakeFailed},
      {"a handshake alert", Record(0x16, "SERVER-HELLO") + Record(0x16, "BAD"), kHello, "", false,
       Reason::HandshakeFailed},
      {"a data record the cipher refuses", kServerFlight + Record(0x99, "??"), kHello + kFinished,
       "", true, Reason::Protocol},
      {"untrusted certificate: no data reaches the dialogue",
       kServerFlight + DataRecord("+OK ready\r\n"), kHello + kFinished, "", false,
       Reason::CertUntrusted, CertVerdict::Untrusted},
      {"expired certificate", kServerFlight, kHello + kFinished, "", false, Reason::CertExpired,
       CertVerdict::Expired},
      {"certificate for another name", kServerFlight, kHello + kFinished, "", false,
       Reason::CertNameMismatch, CertVerdict::NameMismatch},
      {"a pinned certificate passes whatever its chain",
       kServerFlight + DataRecord("+OK ready\r\n"), kHello + kFinished, "+OK ready\r\n", true,
       std::nullopt, CertVerdict::Untrusted, true},
  };
}

struct Result {
  std::string sent, plain;
  int established = 0;
  std::optional<TlsFailure> failure;
  int arrivals_after_failure_with_output = 0;
};

using Splitter = std::function<std::vector<std::string>(const std::string&)>;

Result Play(const Stream& s, const Splitter& split, ToyTlsPort& port) {
  port.verdict = s.verdict;
  std::optional<Sha256Digest> pin;
  if (s.pin_the_certificate) pin = Sha256(port.certificate);
  TlsClient tls(port);
  Result r;
  TlsClient::Output start = tls.Start("pop.example.jp", pin);
  r.sent += start.send;
  for (const std::string& piece : split(s.server)) {
    TlsClient::Output out = tls.OnReceived(piece);
    if (r.failure) {
      if (!out.send.empty() || !out.plain.empty() || out.established) ++r.arrivals_after_failure_with_output;
      continue;
    }
    r.sent += out.send;
    r.plain += out.plain;
    r.established += out.established;
    if (out.failure) r.failure = out.failure;
    EXPECT_LE(tls.pending(), kTlsRecordHeaderBytes + kMaxTlsRecordBody + piece.size());
  }
  return r;
}

void Expect(const Stream& s, const Result& r) {
  EXPECT_EQ(r.sent, s.sent);
  EXPECT_EQ(r.plain, s.plain);
  const bool established = s.established && !(s.failure && s.verdict != CertVerdict::Ok);
  EXPECT_EQ(r.established, established ? 1 : 0);
  EXPECT_EQ(r.failure.has_value(), s.failure.has_value());
  if (r.failure && s.failure) {
    EXPECT_EQ(r.failure->reason, *s.failure);
  }
  EXPECT_EQ(r.arrivals_after_failure_with_output, 0);
}

TEST(TlsClientStreams, Whole) {
  for (const Stream& s : Streams()) {
    SCOPED_TRACE(s.name);
    ToyTlsPort port;
    Expect(s, Play(s, [](const std::string& b) { return std::vector<std::string>{b}; }, port));
  }
}

TEST(TlsClientStreams, SplitAtEveryByte) {
  for (const Stream& s : Streams()) {
    if (s.server.size() > 4096) continue;  // the big records are cut below
    for (std::size_t cut = 1; cut < s.server.size(); ++cut) {
      SCOPED_TRACE(std::string(s.name) + " cut at " + std::to_string(cut));
      ToyTlsPort port;
      Expect(s, Play(s, [&](const std::string& b) {
        return std::vector<std::string>{b.substr(0, cut), b.substr(cut)};
      }, port));
      if (::testing::Test::HasFailure()) return;
    }
  }
}

TEST(TlsClientStreams, ByteByByte) {
  for (const Stream& s : Streams()) {
    SCOPED_TRACE(s.name);
    ToyTlsPort port;
    Expect(s, Play(s, [](const std::string& b) {
      std::vector<std::string> bytes;
      for (char c : b) bytes.emplace_back(1, c);
      return bytes;
    }, port));
    // Whole records only: the platform never sees a record's fragment.
    EXPECT_LE(port.decrypts, static_cast<int>(s.server.size() / kTlsRecordHeaderBytes));
  }
}

class TlsClientTest : public ::testing::Test {
 protected:
  void Open(std::optional<Sha256Digest> pin = std::nullopt) {
    tls.Start("pop.example.jp", pin);
    const TlsClient::Output out = tls.OnReceived(kServerFlight);
    ASSERT_TRUE(out.established);
  }
  ToyTlsPort port;
  TlsClient tls{port};
};

TEST_F(TlsClientTest, FailedCertificateNamesTheOfferedFingerprintAndServer) {
  port.verdict = CertVerdict::Expired;
  tls.Start("pop.example.jp", ParseFingerprint(std::string(64, '0')));  // another certificate
  const TlsClient::Output out = tls.OnReceived(kServerFlight);
  ASSERT_TRUE(out.failure);
  EXPECT_EQ(out.failure->fingerprint, FormatFingerprint(Sha256(port.certificate)));
  EXPECT_EQ(out.failure->detail, "chain says no");
  EXPECT_EQ(port.verified_name, "pop.example.jp");
  EXPECT_EQ(tls.state(), TlsClient::State::Failed);
  EXPECT_TRUE(tls.Encrypt("PASS secret\r\n").send.empty()) << "nothing goes out after a failure";
}

TEST_F(TlsClientTest, PinnedCertificateSkipsTheCheck) {
  Open(Sha256(port.certificate));
  EXPECT_TRUE(tls.pinned());
  EXPECT_EQ(port.verifies, 0);
  EXPECT_EQ(TlsEstablishedLogLine(tls),
            "TLS: TLS 1.2, TOY-XOR, CN=pop.example.jp, certificate accepted by its fingerprint\r\n");
}

TEST_F(TlsClientTest, NoCertificateIsRefused) {
  port.certificate.clear();
  tls.Start("pop.example.jp", std::nullopt);
  const TlsClient::Output out = tls.OnReceived(kServerFlight);
  ASSERT_TRUE(out.failure);
  EXPECT_EQ(out.failure->reason, Reason::CertUnchecked);
}

TEST_F(TlsClientTest, SystemWithoutTlsCannotStart) {
  port.can_begin = false;
  const TlsClient::Output out = tls.Start("pop.example.jp", std::nullopt);
  ASSERT_TRUE(out.failure);
  EXPECT_EQ(out.failure->reason, Reason::Unavailable);
  EXPECT_TRUE(out.send.empty());
}

TEST_F(TlsClientTest, EncryptCutsLongTextIntoRecords) {
  EXPECT_TRUE(tls.Encrypt("STAT\r\n").send.empty()) << "nothing before the handshake";
  Open();
  const std::string line = "USER a-rather-long-account-name\r\n";  // 33 bytes: 16 + 16 + 1
  EXPECT_EQ(tls.Encrypt(line).send,
            DataRecord(line.substr(0, 16)) + DataRecord(line.substr(16, 16)) +
                DataRecord(line.substr(32)));
}

TEST_F(TlsClientTest, CloseSendsCloseNotifyOnlyWhenOpen) {
  EXPECT_EQ(tls.Close(), "");
  Open();
  EXPECT_EQ(tls.Close(), Record(0x15, "\x01\x00"));
  EXPECT_EQ(tls.Close(), "");
  EXPECT_TRUE(tls.OnReceived(DataRecord("+OK\r\n")).plain.empty());
}

TEST_F(TlsClientTest, EndlessHandshakeEnds) {
  tls.Start("pop.example.jp", std::nullopt);
  const std::string record = Record(0x16, std::string(1000, 'h'));
  std::size_t fed = 0;
  TlsClient::Output out;
  while (!out.failure && fed <= 2 * kMaxHandshakeBytes) {
    out = tls.OnReceived(record);
    fed += record.size();
  }
  ASSERT_TRUE(out.failure);
  EXPECT_EQ(out.failure->reason, Reason::HandshakeFailed);
  EXPECT_GT(fed, kMaxHandshakeBytes);
  EXPECT_LE(fed, kMaxHandshakeBytes + record.size());
}

TEST_F(TlsClientTest, FloodOfEmptyRecordsEndsAndACommandResetsTheCount) {
  Open();
  const std::string empty = DataRecord("");
  std::size_t fed = 0;
  TlsClient::Output out;
  while (!out.failure && fed < kMaxRawPerReply / 2) {
    out = tls.OnReceived(empty);
    fed += empty.size();
  }
  ASSERT_FALSE(out.failure);
  tls.Encrypt("NOOP\r\n");  // a command: a new reply begins
  fed = 0;
  while (!out.failure && fed <= 2 * kMaxRawPerReply) {
    out = tls.OnReceived(empty);
    fed += empty.size();
  }
  ASSERT_TRUE(out.failure);
  EXPECT_EQ(out.failure->reason, Reason::Protocol);
  EXPECT_GT(fed, kMaxRawPerReply);
  EXPECT_LE(fed, kMaxRawPerReply + empty.size());
}

}  // namespace
}  // namespace zepho
