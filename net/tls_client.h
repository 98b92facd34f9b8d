// The TLS layer of one connection, between the socket and the dialogue: it
// gathers the peer's bytes into whole records, drives the handshake through
// the platform port, checks the certificate, and turns records into plain text
// and plain text into records. Bytes in, bytes out; no socket, no clock.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "net/tls_certificate.h"
#include "net/tls_port.h"

namespace zepho {

// Bounds of what the layer accepts from the peer.
inline constexpr std::size_t kTlsRecordHeaderBytes = 5;
// The largest record TLS allows: 2^14 plain bytes plus 2048 of expansion.
inline constexpr std::size_t kMaxTlsRecordBody = (1 << 14) + 2048;
// All handshake bytes of one connection (certificate chains included).
inline constexpr std::size_t kMaxHandshakeBytes = 256 * 1024;
// Raw bytes between two commands: a reply of the dialogue's bound, with room
// for the records' overhead; beyond it the peer floods (e.g. empty records).
inline constexpr std::size_t kMaxRawPerReply = 2 * (1 << 20);

class TlsClient {
 public:
  // Verifying: the handshake is over and the certificate is being checked
  // (off the caller's thread); nothing passes until its verdict.
  enum class State { Idle, Handshake, Verifying, Open, Failed, Closed };

  // What one event asks of the caller.
  struct Output {
    std::string send;           // bytes for the socket
    std::string plain;          // plain text for the dialogue
    bool established = false;   // the handshake ended and the certificate passed
    // The certificate's check is under way: its verdict goes to OnVerdict.
    bool verifying = false;
    std::optional<TlsFailure> failure;  // the connection must end
  };

  explicit TlsClient(TlsPort& port) : port_(port) {}

  // Starts the handshake with `peer`; `pin` is a certificate accepted by its
  // SHA-256 fingerprint whatever its chain and name.
  Output Start(const TlsPeer& peer, std::optional<Sha256Digest> pin);
  // Bytes from the socket. While the certificate is checked they are kept
  // (at most kMaxHandshakeBytes) for after its verdict.
  Output OnReceived(std::string_view bytes);
  // The verdict of the certificate's check (TlsPort::StartVerify); nothing
  // happens in any state but Verifying.
  Output OnVerdict(CertVerdict verdict, std::string detail);
  // Plain text for the peer (a command line).
  Output Encrypt(std::string_view plain);
  // The close_notify to send before closing, when a connection is open; the
  // layer is done afterwards.
  std::string Close();

  State state() const { return state_; }
  // Known once established.
  const TlsSessionInfo& info() const { return info_; }
  bool pinned() const { return pinned_; }
  std::size_t pending() const { return pending_.size(); }

 private:
  void Handshake(Output& out);
  void Records(Output& out);
  void CheckCertificate(Output& out);
  void Fail(Output& out, TlsFailure::Reason reason, std::string detail,
            std::string fingerprint = {});
  // The length of the whole records at the front of pending_ (0 when none);
  // false when the first record is larger than TLS allows.
  bool WholeRecords(std::size_t& length, bool only_first) const;

  TlsPort& port_;
  State state_ = State::Idle;
  std::optional<Sha256Digest> pin_;
  std::string fingerprint_;  // of the certificate offered, once the handshake is over
  std::string pending_;
  std::size_t handshake_bytes_ = 0;
  std::size_t raw_since_send_ = 0;
  TlsSessionInfo info_;
  bool pinned_ = false;
};

// One line for the log when the handshake succeeded.
std::string TlsEstablishedLogLine(const TlsClient& client);

}  // namespace zepho
