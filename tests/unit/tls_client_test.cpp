#include "net/tls_client.h"

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

const TlsPeer kPeer = TlsPeerOf(ParseServerAddress("pop.example.jp"));

struct Result {
  std::string sent, plain;
  int established = 0;
  std::optional<TlsFailure> failure;
  int arrivals_after_failure_with_output = 0;
  bool verifying = false;  // a verdict is awaited
  void Add(const TlsClient::Output& out) {
    if (failure) {
      if (!out.send.empty() || !out.plain.empty() || out.established) ++arrivals_after_failure_with_output;
      return;
    }
    sent += out.send;
    plain += out.plain;
    established += out.established;
    verifying = verifying || out.verifying;
    if (out.failure) failure = out.failure;
  }
};

using Splitter = std::function<std::vector<std::string>(const std::string&)>;

// When the certificate's verdict comes: as soon as it is asked for, or only
// after every byte of the server (which the layer must keep meanwhile).
enum class Verdict { AtOnce, AfterAllBytes };

Result Play(const Stream& s, const Splitter& split, ToyTlsPort& port,
            Verdict when = Verdict::AtOnce) {
  port.verdict = s.verdict;
  std::optional<Sha256Digest> pin;
  if (s.pin_the_certificate) pin = Sha256(port.certificate);
  TlsClient tls(port);
  Result r;
  const auto verdict = [&] {
    if (!r.verifying) return;
    r.verifying = false;
    r.Add(tls.OnVerdict(port.verdict, port.Detail()));
  };
  r.Add(tls.Start(kPeer, pin));
  for (const std::string& piece : split(s.server)) {
    r.Add(tls.OnReceived(piece));
    if (when == Verdict::AtOnce) verdict();
    // Kept: a record not yet whole, or all that came while the check ran.
    EXPECT_LE(tls.pending(), (r.verifying ? kMaxHandshakeBytes
                                          : kTlsRecordHeaderBytes + kMaxTlsRecordBody) +
                                 piece.size());
  }
  if (r.verifying) {
    EXPECT_EQ(port.decrypts, 0) << "nothing is decrypted before the verdict";
  }
  verdict();
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
  for (const Verdict when : {Verdict::AtOnce, Verdict::AfterAllBytes}) {
    for (const Stream& s : Streams()) {
      SCOPED_TRACE(s.name);
      ToyTlsPort port;
      Expect(s, Play(s, [](const std::string& b) { return std::vector<std::string>{b}; }, port,
                     when));
    }
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
    }, port, Verdict::AfterAllBytes));
    // Whole records only: the platform never sees a record's fragment.
    EXPECT_LE(port.decrypts, static_cast<int>(s.server.size() / kTlsRecordHeaderBytes));
  }
}

class TlsClientTest : public ::testing::Test {
 protected:
  void Open(std::optional<Sha256Digest> pin = std::nullopt) {
    tls.Start(kPeer, pin);
    TlsClient::Output out = tls.OnReceived(kServerFlight);
    if (out.verifying) out = tls.OnVerdict(port.verdict, port.Detail());
    ASSERT_TRUE(out.established);
  }
  ToyTlsPort port;
  TlsClient tls{port};
};

TEST_F(TlsClientTest, FailedCertificateNamesTheOfferedFingerprintAndServer) {
  port.verdict = CertVerdict::Expired;
  tls.Start(kPeer, ParseFingerprint(std::string(64, '0')));  // another certificate
  ASSERT_TRUE(tls.OnReceived(kServerFlight).verifying);
  EXPECT_EQ(tls.state(), TlsClient::State::Verifying);
  const TlsClient::Output out = tls.OnVerdict(port.verdict, port.Detail());
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
  tls.Start(kPeer, std::nullopt);
  const TlsClient::Output out = tls.OnReceived(kServerFlight);
  ASSERT_TRUE(out.failure);
  EXPECT_EQ(out.failure->reason, Reason::CertUnchecked);
}

TEST_F(TlsClientTest, ACheckThatCannotStartRefusesTheCertificate) {
  port.can_verify = false;
  tls.Start(kPeer, std::nullopt);
  const TlsClient::Output out = tls.OnReceived(kServerFlight);
  ASSERT_TRUE(out.failure);
  EXPECT_FALSE(out.verifying);
  EXPECT_EQ(out.failure->reason, Reason::CertUnchecked);
  EXPECT_EQ(out.failure->detail, "no chain engine");
  EXPECT_EQ(out.failure->fingerprint, FormatFingerprint(Sha256(port.certificate)));
}

// While the certificate is checked the server may greet (POP3S): its bytes
// wait, bounded, and a verdict comes only where one is awaited.
TEST_F(TlsClientTest, BytesWaitForTheVerdict) {
  EXPECT_FALSE(tls.OnVerdict(CertVerdict::Ok, "").established) << "no check under way";
  tls.Start(kPeer, std::nullopt);
  EXPECT_FALSE(tls.OnVerdict(CertVerdict::Ok, "").established) << "in the handshake";
  ASSERT_TRUE(tls.OnReceived(kServerFlight).verifying);
  TlsClient::Output out = tls.OnReceived(DataRecord("+OK re"));
  EXPECT_TRUE(out.plain.empty());
  out = tls.OnReceived(DataRecord("ady\r\n"));
  EXPECT_TRUE(out.plain.empty());
  EXPECT_FALSE(out.failure);
  out = tls.OnVerdict(CertVerdict::Ok, "");
  EXPECT_TRUE(out.established);
  EXPECT_EQ(out.plain, "+OK ready\r\n");
  EXPECT_FALSE(tls.OnVerdict(CertVerdict::Ok, "").established) << "one verdict only";

  // A flood while the check runs ends the connection.
  ToyTlsPort flooded_port;
  TlsClient flooded(flooded_port);
  flooded.Start(kPeer, std::nullopt);
  ASSERT_TRUE(flooded.OnReceived(kServerFlight).verifying);
  const std::string record = DataRecord(std::string(1000, 'x'));
  std::size_t fed = 0;
  while (!out.failure && fed <= 2 * kMaxHandshakeBytes) {
    out = flooded.OnReceived(record);
    fed += record.size();
  }
  ASSERT_TRUE(out.failure);
  EXPECT_EQ(out.failure->reason, Reason::Protocol);
  EXPECT_LE(fed, kMaxHandshakeBytes + record.size());
  EXPECT_FALSE(flooded.OnVerdict(CertVerdict::Ok, "").established);

  // A verdict after the connection was closed changes nothing.
  ToyTlsPort closed_port;
  TlsClient closed(closed_port);
  closed.Start(kPeer, std::nullopt);
  ASSERT_TRUE(closed.OnReceived(kServerFlight).verifying);
  EXPECT_EQ(closed.Close(), "");
  EXPECT_FALSE(closed_port.verifying) << "the check is let go";
  EXPECT_FALSE(closed.OnVerdict(CertVerdict::Ok, "").established);
}

TEST_F(TlsClientTest, SystemWithoutTlsCannotStart) {
  port.can_begin = false;
  const TlsClient::Output out = tls.Start(kPeer, std::nullopt);
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
  tls.Start(kPeer, std::nullopt);
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

// The peer of what the user typed: SNI for names only, and an address's own
// bytes for the certificate's IP entries.
TEST(TlsPeer, NamesAreSentAddressesAreListed) {
  const TlsPeer name = TlsPeerOf(ParseServerAddress(" POP.example.jp. "));
  EXPECT_EQ(name.name, "POP.example.jp");
  EXPECT_TRUE(name.send_server_name);
  EXPECT_FALSE(name.address);
  for (const char* typed : {"::1", "[::1]", "0:0::1"}) {
    const TlsPeer v6 = TlsPeerOf(ParseServerAddress(typed));
    EXPECT_EQ(v6.name, "::1") << typed;
    EXPECT_FALSE(v6.send_server_name) << typed;
    ASSERT_TRUE(v6.address) << typed;
  }
  const TlsPeer v4 = TlsPeerOf(ParseServerAddress("127.1"));
  EXPECT_EQ(v4.name, "127.0.0.1");
  EXPECT_FALSE(v4.send_server_name);
  ASSERT_TRUE(v4.address);
}

TEST(TlsPeer, CertificateListsTheAddressByItsOwnBytes) {
  using G = std::array<std::uint16_t, 8>;
  const std::string v4("\x7f\x00\x00\x01", 4);
  const std::string loop6 = std::string(15, '\0') + "\x01";
  const std::string mapped = std::string(10, '\0') + "\xff\xff" + v4;
  const std::string other6 = std::string(15, '\0') + "\x02";
  const struct {
    std::vector<std::string> entries;
    IpAddress address;
    bool listed;
  } cases[] = {
      {{v4}, Ipv4(127, 0, 0, 1), true},
      {{other6, v4}, Ipv4(127, 0, 0, 1), true},
      {{loop6}, Ipv6(G{0, 0, 0, 0, 0, 0, 0, 1}), true},
      {{loop6}, Ipv6(G{0, 0, 0, 0, 0, 0, 0, 1}, 7), true},  // a zone is no part of it
      {{}, Ipv4(127, 0, 0, 1), false},
      {{std::string("\x7f\x00\x00\x02", 4)}, Ipv4(127, 0, 0, 1), false},
      {{mapped}, Ipv4(127, 0, 0, 1), false},  // another length
      {{v4}, Ipv6(G{0, 0, 0, 0, 0, 0xffff, 0x7f00, 1}), false},
      {{other6}, Ipv6(G{0, 0, 0, 0, 0, 0, 0, 1}), false},
      {{v4 + v4}, Ipv4(127, 0, 0, 1), false},  // an entry of a wrong length
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CertificateListsAddress(c.entries, c.address), c.listed)
        << FormatIpAddress(c.address) << " among " << c.entries.size();
  }
}

}  // namespace
}  // namespace zepho
