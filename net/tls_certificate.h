// The certificate rules of a TLS connection: fingerprints as the user writes
// them, and why a connection was refused.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/sha256.h"
#include "net/server_address.h"
#include "net/tls_port.h"

namespace zepho {

// A fingerprint as stored in TlsCertSha256: 64 hexadecimal digits, either
// case, colons anywhere between them. Anything else is no fingerprint.
std::optional<Sha256Digest> ParseFingerprint(std::string_view text);

// "AB:CD:..." — upper case, colon separated, as certificate viewers show it.
std::string FormatFingerprint(const Sha256Digest& digest);

// The peer for a server as the user typed it (PopAddress): a host name is
// sent as SNI and matched by the platform; an address is not sent, and the
// certificate must list it among its IP addresses.
TlsPeer TlsPeerOf(const ServerAddress& server);

// Whether one of a certificate's IP address entries (their raw bytes: 4 for
// IPv4, 16 for IPv6, as the subject alternative name holds them) is
// `address`. The entry must have the address's own length: an IPv4 address
// does not match its IPv4-mapped IPv6 form, nor the reverse (RFC 6125). The
// zone of a scoped address is not part of it.
bool CertificateListsAddress(const std::vector<std::string>& ip_entries, const IpAddress& address);

// Why a TLS connection ended before the login.
struct TlsFailure {
  enum class Reason {
    StlsRefused,      // the server refused STLS
    StlsInjected,     // bytes in the clear followed the STLS reply
    Unavailable,      // the system's TLS could not be started
    HandshakeFailed,  // the handshake failed (protocol, cipher, alert)
    Protocol,         // a record too large, undecryptable, or a flood of records
    CertUntrusted,
    CertExpired,
    CertNameMismatch,
    CertWrongUsage,
    CertRevoked,
    CertUnchecked,
  };
  Reason reason = Reason::HandshakeFailed;
  std::string detail;       // for the log
  std::string fingerprint;  // of the certificate offered (FormatFingerprint), or empty
};

TlsFailure::Reason ReasonOf(CertVerdict verdict);

// One line for the log, e.g. "TLS FAILED: certificate expired (...)\r\n".
std::string TlsFailureLogLine(const TlsFailure& failure);

}  // namespace zepho
