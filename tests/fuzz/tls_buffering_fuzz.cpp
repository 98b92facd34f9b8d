// Feeds arbitrary server bytes, cut into arbitrary arrivals, to the TLS layer
// over the toy platform of the unit tests (real record framing). Wherever the
// arrivals are cut, and whether the certificate's verdict comes at once or
// only after the last byte, the outcome must be the one of a single arrival:
// the same bytes sent, the same plain text, the same end; the platform only
// ever sees whole records, and nothing comes out after a failure.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "../unit/fakes/toy_tls_port.h"
#include "net/tls_client.h"

namespace {

void Require(bool ok) {
  if (!ok) std::abort();
}

struct Outcome {
  std::string sent, plain;
  int established = 0;
  std::optional<zepho::TlsFailure::Reason> failure;
  bool verifying = false;

  void Add(const zepho::TlsClient::Output& out) {
    if (failure) {
      Require(out.send.empty() && out.plain.empty() && !out.established && !out.failure &&
              !out.verifying);
      return;
    }
    sent += out.send;
    plain += out.plain;
    established += out.established;
    verifying = verifying || out.verifying;
    if (out.failure) failure = out.failure->reason;
  }
};

// Checks that every record given to Decrypt is whole.
class CheckedPort : public zepho::testing::ToyTlsPort {
 public:
  zepho::TlsStep Decrypt(std::string_view record) override {
    Require(record.size() >= 5);
    const std::size_t body = std::size_t{static_cast<unsigned char>(record[3])} << 8 |
                             static_cast<unsigned char>(record[4]);
    Require(record.size() == 5 + body && body <= zepho::kMaxTlsRecordBody);
    return ToyTlsPort::Decrypt(record);
  }
};

Outcome Play(const std::string& server, const std::vector<std::size_t>& cuts, bool pin,
             zepho::CertVerdict verdict, bool verdict_at_end) {
  CheckedPort port;
  port.verdict = verdict;
  zepho::TlsClient tls(port);
  Outcome o;
  std::optional<zepho::Sha256Digest> pinned;
  if (pin) pinned = zepho::Sha256(port.certificate);
  const auto deliver = [&] {
    if (!o.verifying) return;
    o.verifying = false;
    o.Add(tls.OnVerdict(port.verdict, port.Detail()));
  };
  o.Add(tls.Start(zepho::TlsPeerOf(zepho::ParseServerAddress("pop.example.jp")), pinned));
  std::size_t at = 0;
  for (std::size_t i = 0; i <= cuts.size(); ++i) {
    const std::size_t end = i < cuts.size() ? cuts[i] : server.size();
    o.Add(tls.OnReceived(std::string_view(server).substr(at, end - at)));
    at = end;
    if (!verdict_at_end) deliver();
    Require(tls.pending() <= server.size());
  }
  deliver();
  Require(o.established <= 1);
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::uint8_t flags = in.ConsumeIntegral<std::uint8_t>();
  const auto verdict = static_cast<zepho::CertVerdict>((flags >> 2) % 7);
  std::vector<std::size_t> cuts(in.ConsumeIntegralInRange<std::size_t>(0, 16));
  std::string server;
  // Most inputs start with a valid server flight, so the data phase is reached.
  if (flags & 1)
    server = zepho::testing::Record(0x16, "SERVER-HELLO") + zepho::testing::Record(0x16, "FINISHED");
  server += in.ConsumeRemainingBytesAsString();
  FuzzedDataProvider positions(data, size);
  for (std::size_t& c : cuts) c = positions.ConsumeIntegralInRange<std::size_t>(0, server.size());
  std::sort(cuts.begin(), cuts.end());

  const Outcome whole = Play(server, {}, flags & 2, verdict, false);
  // What comes while the check runs is kept up to a bound: beyond it a late
  // verdict rightly finds a flood.
  const bool late = (flags & 0x80) && server.size() <= zepho::kMaxHandshakeBytes;
  const Outcome split = Play(server, cuts, flags & 2, verdict, late);
  Require(whole.established == split.established);
  Require(whole.failure == split.failure);
  if (!whole.failure) {
    Require(whole.sent == split.sent);
    Require(whole.plain == split.plain);
  }
  return 0;
}
