// What the TLS layer asks of the platform's TLS implementation: one handshake
// step, one record decrypted, one message encrypted, the peer's certificate and
// its check. The platform never sees the socket; the layer feeds it bytes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "net/ip_address.h"

namespace zepho {

// The result of checking the server's certificate against the system's trusted
// roots, for server authentication, and against the server's name.
enum class CertVerdict {
  Ok,
  Untrusted,     // no chain to a trusted root (self-signed, unknown issuer, bad signature)
  Expired,       // outside its validity period (or one in its chain is)
  NameMismatch,  // issued for another name
  WrongUsage,    // not for server authentication
  Revoked,
  Unchecked,     // the check itself could not be made
};

// The server as the TLS layer sees it: the name its certificate must carry,
// whether that name is sent to it (SNI, host names only), and for a server
// given as an address, the address its certificate must list.
struct TlsPeer {
  std::string name;
  bool send_server_name = true;
  std::optional<IpAddress> address;
};

struct TlsStep {
  enum class Status {
    Done,        // handshake finished / record decrypted
    Continue,    // handshake goes on: send `output`, then wait for the peer
    Incomplete,  // more input is needed; nothing was consumed
    Failed,      // `error` says why
  };
  Status status = Status::Failed;
  std::size_t consumed = 0;  // input bytes used
  std::string output;        // bytes for the peer (handshake tokens)
  std::string plain;         // decrypted application data
  std::string error;         // for the log
};

struct TlsSessionInfo {
  std::string protocol;  // e.g. "TLS 1.2"
  std::string cipher;    // e.g. "AES-256 / SHA-384 / ECDH"
  std::string subject;   // the certificate's subject
};

class TlsPort {
 public:
  virtual ~TlsPort() = default;
  // A new connection to `peer`; `out` receives the first handshake bytes.
  // False with `error` when it cannot start.
  virtual bool Begin(const TlsPeer& peer, std::string& out, std::string& error) = 0;
  // Feeds handshake bytes (whole records).
  virtual TlsStep Handshake(std::string_view input) = 0;
  // Decrypts exactly one whole record.
  virtual TlsStep Decrypt(std::string_view record) = 0;
  // Largest plain text Encrypt takes at once.
  virtual std::size_t MaxPlainPerRecord() = 0;
  virtual bool Encrypt(std::string_view plain, std::string& record) = 0;
  // The close_notify alert to send, or empty.
  virtual std::string Shutdown() = 0;
  // The server's certificate, DER encoded; empty when there is none.
  virtual std::string PeerCertificate() = 0;
  // Starts checking the server's certificate (a chain to a trusted root, for
  // server authentication, issued for the peer of Begin) without waiting for
  // it: the verdict comes later, to TlsClient::OnVerdict through the caller.
  // False with `detail` when the check cannot even start.
  virtual bool StartVerify(std::string& detail) = 0;
  virtual TlsSessionInfo Info() = 0;
  // Forgets the connection (context, certificate, and a check under way).
  virtual void End() = 0;
};

}  // namespace zepho
