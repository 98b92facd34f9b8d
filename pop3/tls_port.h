// What the TLS layer asks of the platform's TLS implementation: one handshake
// step, one record decrypted, one message encrypted, the peer's certificate and
// its check. The platform never sees the socket; the layer feeds it bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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
  // A new connection to `server_name` (also sent as SNI); `out` receives the
  // first handshake bytes. False with `error` when it cannot start.
  virtual bool Begin(const std::string& server_name, std::string& out, std::string& error) = 0;
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
  virtual CertVerdict VerifyPeer(const std::string& server_name, std::string& detail) = 0;
  virtual TlsSessionInfo Info() = 0;
  // Forgets the connection (context and certificate).
  virtual void End() = 0;
};

}  // namespace zepho
