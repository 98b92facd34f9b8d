#include "net/tls_client.h"

#include "common/one_line.h"

#include <utility>

namespace zepho {

namespace {

using Status = TlsStep::Status;

std::size_t RecordBody(std::string_view header) {
  return std::size_t{static_cast<unsigned char>(header[3])} << 8 |
         static_cast<unsigned char>(header[4]);
}

}  // namespace

TlsClient::Output TlsClient::Start(const TlsPeer& peer, std::optional<Sha256Digest> pin) {
  Output out;
  pin_ = pin;
  fingerprint_.clear();
  pending_.clear();
  handshake_bytes_ = 0;
  raw_since_send_ = 0;
  info_ = {};
  pinned_ = false;
  std::string error;
  if (!port_.Begin(peer, out.send, error)) {
    Fail(out, TlsFailure::Reason::Unavailable, error);
    return out;
  }
  state_ = State::Handshake;
  return out;
}

TlsClient::Output TlsClient::OnReceived(std::string_view bytes) {
  Output out;
  if (state_ != State::Handshake && state_ != State::Verifying && state_ != State::Open) return out;
  raw_since_send_ += bytes.size();
  pending_.append(bytes);
  if (state_ == State::Verifying) {
    // The server of POP3S greets at once; more than a handshake's worth is a flood.
    if (pending_.size() > kMaxHandshakeBytes)
      Fail(out, TlsFailure::Reason::Protocol, "too much data before the certificate was checked");
    return out;
  }
  if (state_ == State::Handshake) {
    handshake_bytes_ += bytes.size();
    if (handshake_bytes_ > kMaxHandshakeBytes) {
      Fail(out, TlsFailure::Reason::HandshakeFailed, "handshake too long");
      return out;
    }
    Handshake(out);
  }
  // The last handshake record often carries the first data with it.
  if (state_ == State::Open) {
    if (raw_since_send_ > kMaxRawPerReply) {
      Fail(out, TlsFailure::Reason::Protocol, "too much data for one reply");
      return out;
    }
    Records(out);
  }
  return out;
}

bool TlsClient::WholeRecords(std::size_t& length, bool only_first) const {
  length = 0;
  for (;;) {
    const std::size_t left = pending_.size() - length;
    if (left < kTlsRecordHeaderBytes) return true;
    const std::size_t body = RecordBody(std::string_view(pending_).substr(length));
    // An oversize record fails once the whole records before it are handled.
    if (body > kMaxTlsRecordBody) return length > 0;
    if (left < kTlsRecordHeaderBytes + body) return true;
    length += kTlsRecordHeaderBytes + body;
    if (only_first) return true;
  }
}

void TlsClient::Handshake(Output& out) {
  for (;;) {
    std::size_t length = 0;
    if (!WholeRecords(length, false)) {
      Fail(out, TlsFailure::Reason::HandshakeFailed, "record too large");
      return;
    }
    if (length == 0) return;  // wait for a whole record
    TlsStep step = port_.Handshake(std::string_view(pending_).substr(0, length));
    if (step.consumed > length) step.consumed = length;
    switch (step.status) {
      case Status::Failed:
        Fail(out, TlsFailure::Reason::HandshakeFailed, std::move(step.error));
        return;
      case Status::Incomplete:
        return;  // a handshake message spans records still to come
      case Status::Continue:
        out.send += step.output;
        pending_.erase(0, step.consumed);
        if (step.consumed == 0) return;
        continue;
      case Status::Done:
        out.send += step.output;
        pending_.erase(0, step.consumed);
        CheckCertificate(out);
        return;
    }
  }
}

void TlsClient::CheckCertificate(Output& out) {
  const std::string der = port_.PeerCertificate();
  if (der.empty()) {
    Fail(out, TlsFailure::Reason::CertUnchecked, "no certificate");
    return;
  }
  const Sha256Digest fingerprint = Sha256(der);
  fingerprint_ = FormatFingerprint(fingerprint);
  info_ = port_.Info();
  if (pin_ && *pin_ == fingerprint) {
    pinned_ = true;
    state_ = State::Open;
    out.established = true;
    return;
  }
  std::string detail;
  if (!port_.StartVerify(detail)) {
    Fail(out, TlsFailure::Reason::CertUnchecked, std::move(detail), fingerprint_);
    return;
  }
  state_ = State::Verifying;
  out.verifying = true;
}

TlsClient::Output TlsClient::OnVerdict(CertVerdict verdict, std::string detail) {
  Output out;
  if (state_ != State::Verifying) return out;
  if (verdict != CertVerdict::Ok) {
    Fail(out, ReasonOf(verdict), std::move(detail), fingerprint_);
    return out;
  }
  state_ = State::Open;
  out.established = true;
  // What the server sent while the check ran.
  if (raw_since_send_ > kMaxRawPerReply) {
    Fail(out, TlsFailure::Reason::Protocol, "too much data for one reply");
    return out;
  }
  Records(out);
  return out;
}

void TlsClient::Records(Output& out) {
  for (;;) {
    std::size_t length = 0;
    if (!WholeRecords(length, true)) {
      Fail(out, TlsFailure::Reason::Protocol, "record too large");
      return;
    }
    if (length == 0) return;
    TlsStep step = port_.Decrypt(std::string_view(pending_).substr(0, length));
    if (step.status != Status::Done) {
      Fail(out, TlsFailure::Reason::Protocol,
           step.error.empty() ? std::string("record not decrypted") : std::move(step.error));
      return;
    }
    out.plain += step.plain;
    pending_.erase(0, length);
  }
}

TlsClient::Output TlsClient::Encrypt(std::string_view plain) {
  Output out;
  if (state_ != State::Open) return out;
  raw_since_send_ = 0;
  const std::size_t most = port_.MaxPlainPerRecord();
  for (std::size_t at = 0; at < plain.size(); at += most) {
    std::string record;
    if (most == 0 || !port_.Encrypt(plain.substr(at, most), record)) {
      Fail(out, TlsFailure::Reason::Protocol, "cannot encrypt");
      return out;
    }
    out.send += record;
  }
  return out;
}

std::string TlsClient::Close() {
  std::string notify;
  if (state_ == State::Open) notify = port_.Shutdown();
  if (state_ != State::Idle) port_.End();
  state_ = State::Closed;
  pending_.clear();
  return notify;
}

void TlsClient::Fail(Output& out, TlsFailure::Reason reason, std::string detail,
                     std::string fingerprint) {
  state_ = State::Failed;
  pending_.clear();
  port_.End();
  out.failure = TlsFailure{reason, std::move(detail), std::move(fingerprint)};
}

std::string TlsEstablishedLogLine(const TlsClient& client) {
  const TlsSessionInfo& i = client.info();
  std::string line = "TLS: " + i.protocol + ", " + i.cipher + ", " + i.subject +
                     (client.pinned() ? ", certificate accepted by its fingerprint"
                                      : ", certificate verified");
  return OneLine(std::move(line)) + "\r\n";
}

}  // namespace zepho
