#include "net/tls_certificate.h"

#include "common/one_line.h"

namespace zepho {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

const char* ReasonText(TlsFailure::Reason r) {
  using R = TlsFailure::Reason;
  switch (r) {
    case R::StlsRefused: return "STLS refused";
    case R::StlsInjected: return "data in the clear after the STLS reply";
    case R::Unavailable: return "TLS unavailable";
    case R::HandshakeFailed: return "handshake failed";
    case R::Protocol: return "protocol error";
    case R::CertUntrusted: return "certificate not trusted";
    case R::CertExpired: return "certificate expired or not yet valid";
    case R::CertNameMismatch: return "certificate for another name";
    case R::CertWrongUsage: return "certificate not for server authentication";
    case R::CertRevoked: return "certificate revoked";
    case R::CertUnchecked: return "certificate could not be checked";
  }
  return "?";
}

}  // namespace

std::optional<Sha256Digest> ParseFingerprint(std::string_view text) {
  Sha256Digest d{};
  std::size_t digits = 0;
  for (char c : text) {
    if (c == ':') continue;
    const int v = HexValue(c);
    if (v < 0 || digits == 64) return std::nullopt;
    d[digits / 2] = static_cast<std::uint8_t>(d[digits / 2] | (digits % 2 ? v : v << 4));
    ++digits;
  }
  if (digits != 64) return std::nullopt;
  return d;
}

std::string FormatFingerprint(const Sha256Digest& digest) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < digest.size(); ++i) {
    if (i) out += ':';
    out += kHex[digest[i] >> 4];
    out += kHex[digest[i] & 15];
  }
  return out;
}

TlsPeer TlsPeerOf(const ServerAddress& server) {
  TlsPeer peer;
  peer.name = server.certificate_name;
  peer.send_server_name = server.send_server_name;
  if (server.kind == ServerAddress::Kind::Literal) peer.address = server.literal;
  return peer;
}

bool CertificateListsAddress(const std::vector<std::string>& ip_entries, const IpAddress& address) {
  const std::size_t length = address.family == IpAddress::Family::V4 ? 4 : 16;
  const std::string_view wanted(reinterpret_cast<const char*>(address.bytes.data()), length);
  for (const std::string& entry : ip_entries)
    if (entry == wanted) return true;
  return false;
}

TlsFailure::Reason ReasonOf(CertVerdict verdict) {
  using R = TlsFailure::Reason;
  switch (verdict) {
    case CertVerdict::Ok: break;
    case CertVerdict::Untrusted: return R::CertUntrusted;
    case CertVerdict::Expired: return R::CertExpired;
    case CertVerdict::NameMismatch: return R::CertNameMismatch;
    case CertVerdict::WrongUsage: return R::CertWrongUsage;
    case CertVerdict::Revoked: return R::CertRevoked;
    case CertVerdict::Unchecked: break;
  }
  return R::CertUnchecked;
}

std::string TlsFailureLogLine(const TlsFailure& failure) {
  std::string line = std::string("TLS FAILED: ") + ReasonText(failure.reason);
  if (!failure.detail.empty()) line += " (" + OneLine(failure.detail) + ")";
  if (!failure.fingerprint.empty()) line += " SHA-256 " + failure.fingerprint;
  return line + "\r\n";
}

}  // namespace zepho
