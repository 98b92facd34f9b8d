// The platform's TLS for the TLS layer: Windows' SChannel through SSPI, and
// the certificate checks through CryptoAPI (done here, by hand: SChannel's own
// automatic check is not relied upon).
#pragma once

#define SECURITY_WIN32
#include <windows.h>
#include <security.h>
#include <wincrypt.h>

#include <string>

#include "pop3/tls_port.h"

namespace zepho {

class SchannelTls : public TlsPort {
 public:
  SchannelTls() = default;
  ~SchannelTls() override;
  SchannelTls(const SchannelTls&) = delete;
  SchannelTls& operator=(const SchannelTls&) = delete;

  bool Begin(const std::string& server_name, std::string& out, std::string& error) override;
  TlsStep Handshake(std::string_view input) override;
  TlsStep Decrypt(std::string_view record) override;
  std::size_t MaxPlainPerRecord() override;
  bool Encrypt(std::string_view plain, std::string& record) override;
  std::string Shutdown() override;
  std::string PeerCertificate() override;
  CertVerdict VerifyPeer(const std::string& server_name, std::string& detail) override;
  TlsSessionInfo Info() override;
  void End() override;

 private:
  bool Credentials(std::string& error);
  // One call of InitializeSecurityContextW with `input` (may be empty).
  SECURITY_STATUS Step(std::string_view input, TlsStep& step);

  CredHandle cred_{};
  bool have_cred_ = false;
  CtxtHandle ctx_{};
  bool have_ctx_ = false;
  std::wstring target_;
  SecPkgContext_StreamSizes sizes_{};
  PCCERT_CONTEXT cert_ = nullptr;
};

}  // namespace zepho
