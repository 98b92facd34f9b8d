// The platform's TLS for the TLS layer: Windows' SChannel through SSPI, and
// the certificate checks through CryptoAPI (done by the program, on a worker:
// SChannel's own automatic check is not relied upon).
#pragma once

#define SECURITY_WIN32
#include <windows.h>
#include <security.h>
#include <wincrypt.h>

#include <optional>
#include <string>

#include "net/certificate_check_win32.h"
#include "net/tls_port.h"

namespace zepho {

class SchannelTls : public TlsPort {
 public:
  // The verdicts of the certificate's checks are posted to `notify` as
  // `message` (TakeVerdict); without a window the caller waits (WaitVerdict).
  explicit SchannelTls(HWND notify = nullptr, UINT message = 0) : check_(notify, message) {}
  ~SchannelTls() override;
  SchannelTls(const SchannelTls&) = delete;
  SchannelTls& operator=(const SchannelTls&) = delete;

  bool Begin(const TlsPeer& peer, std::string& out, std::string& error) override;
  TlsStep Handshake(std::string_view input) override;
  TlsStep Decrypt(std::string_view record) override;
  std::size_t MaxPlainPerRecord() override;
  bool Encrypt(std::string_view plain, std::string& record) override;
  std::string Shutdown() override;
  std::string PeerCertificate() override;
  bool StartVerify(std::string& detail) override;
  TlsSessionInfo Info() override;
  void End() override;

  // For the verdict message: the verdict of the check under way; nullopt for
  // a message of a check let go.
  std::optional<CertificateVerdict> TakeVerdict(WPARAM wparam) { return check_.Take(wparam); }
  // Without a window: waits for the verdict of the check under way (its bound at most).
  CertificateVerdict WaitVerdict() { return check_.Wait(); }

 private:
  bool Credentials(std::string& error);
  // One call of InitializeSecurityContextW with `input` (may be empty).
  SECURITY_STATUS Step(std::string_view input, TlsStep& step);

  CredHandle cred_{};
  bool have_cred_ = false;
  CtxtHandle ctx_{};
  bool have_ctx_ = false;
  TlsPeer peer_;
  std::wstring target_;  // the name sent to the server; empty for none
  SecPkgContext_StreamSizes sizes_{};
  PCCERT_CONTEXT cert_ = nullptr;
  CertificateCheck check_;
};

}  // namespace zepho
