#include "net/tls_schannel_win32.h"

#include <schannel.h>

#include <cstdio>
#include <vector>

#include "winlib/text.h"

namespace zepho {

namespace {

constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                ISC_REQ_CONFIDENTIALITY | ISC_REQ_EXTENDED_ERROR |
                                ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;

std::string Hex(unsigned long code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", code);
  return text;
}

std::string ProtocolName(DWORD protocol) {
  if (protocol & SP_PROT_TLS1_3_CLIENT) return "TLS 1.3";
  if (protocol & SP_PROT_TLS1_2_CLIENT) return "TLS 1.2";
  if (protocol & SP_PROT_TLS1_1_CLIENT) return "TLS 1.1";
  if (protocol & SP_PROT_TLS1_0_CLIENT) return "TLS 1.0";
  return "protocol " + Hex(protocol);
}

// Newer than the Windows version the program targets, so not in its headers.
constexpr ALG_ID kSha256 = 0x800c, kSha384 = 0x800d, kSha512 = 0x800e;
constexpr ALG_ID kEcdh = 0xaa05, kEcdhEphemeral = 0xae06;

std::string AlgorithmName(ALG_ID id, DWORD strength) {
  switch (id) {
    case CALG_AES_128: return "AES-128";
    case CALG_AES_192: return "AES-192";
    case CALG_AES_256: return "AES-256";
    case CALG_3DES: return "3DES";
    case CALG_RC4: return "RC4";
    case CALG_SHA1: return "SHA-1";
    case kSha256: return "SHA-256";
    case kSha384: return "SHA-384";
    case kSha512: return "SHA-512";
    case CALG_MD5: return "MD5";
    case CALG_RSA_KEYX: return "RSA";
    case CALG_DH_EPHEM: return "DHE";
    case kEcdh: return "ECDH";
    case kEcdhEphemeral: return "ECDHE";
    case 0: return "-";
  }
  return Hex(id) + (strength ? "/" + std::to_string(strength) : "");
}

void CopyToken(const SecBuffer& b, std::string& out) {
  if (b.pvBuffer && b.cbBuffer) out.append(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
  if (b.pvBuffer) FreeContextBuffer(b.pvBuffer);
}

}  // namespace

SchannelTls::~SchannelTls() {
  End();
  if (have_cred_) FreeCredentialsHandle(&cred_);
}

bool SchannelTls::Credentials(std::string& error) {
  if (have_cred_) return true;
  SCHANNEL_CRED sc{};
  sc.dwVersion = SCHANNEL_CRED_VERSION;
  // TLS 1.2 only: with 0 the system may also offer SSL 3.0; SCHANNEL_CRED cannot ask for 1.3.
  sc.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  // The certificate is checked by VerifyPeer, also where SChannel would not.
  sc.dwFlags = SCH_CRED_NO_DEFAULT_CREDS | SCH_CRED_MANUAL_CRED_VALIDATION;
  TimeStamp expiry;
  wchar_t package[] = UNISP_NAME_W;
  const SECURITY_STATUS s = AcquireCredentialsHandleW(nullptr, package, SECPKG_CRED_OUTBOUND,
                                                      nullptr, &sc, nullptr, nullptr, &cred_,
                                                      &expiry);
  if (s != SEC_E_OK) {
    error = "AcquireCredentialsHandle " + Hex(static_cast<unsigned long>(s));
    return false;
  }
  have_cred_ = true;
  return true;
}

bool SchannelTls::Begin(const TlsPeer& peer, std::string& out, std::string& error) {
  End();
  if (!Credentials(error)) return false;
  peer_ = peer;
  // The name goes to the server as SNI; an address is never sent (RFC 6066).
  target_ = peer.send_server_name ? winlib::Wide932(peer.name) : std::wstring();
  TlsStep step;
  const SECURITY_STATUS s = Step({}, step);
  if (s != SEC_I_CONTINUE_NEEDED) {
    error = "InitializeSecurityContext " + Hex(static_cast<unsigned long>(s));
    End();
    return false;
  }
  out = std::move(step.output);
  return true;
}

SECURITY_STATUS SchannelTls::Step(std::string_view input, TlsStep& step) {
  std::vector<char> copy(input.begin(), input.end());
  SecBuffer in[2] = {{static_cast<unsigned long>(copy.size()), SECBUFFER_TOKEN, copy.data()},
                     {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc in_desc{SECBUFFER_VERSION, 2, in};
  SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
  SecBufferDesc out_desc{SECBUFFER_VERSION, 1, out};
  unsigned long attributes = 0;
  TimeStamp expiry;
  const bool first = !have_ctx_;
  const SECURITY_STATUS s = InitializeSecurityContextW(
      &cred_, first ? nullptr : &ctx_, first && !target_.empty() ? target_.data() : nullptr,
      kContextFlags, 0, 0,
      first ? nullptr : &in_desc, 0, first ? &ctx_ : nullptr, &out_desc, &attributes, &expiry);
  if (first && (s == SEC_I_CONTINUE_NEEDED || s == SEC_E_OK)) have_ctx_ = true;
  CopyToken(out[0], step.output);
  const std::size_t extra = in[1].BufferType == SECBUFFER_EXTRA ? in[1].cbBuffer : 0;
  step.consumed = s == SEC_E_INCOMPLETE_MESSAGE ? 0 : input.size() - std::min(extra, input.size());
  return s;
}

TlsStep SchannelTls::Handshake(std::string_view input) {
  TlsStep step;
  if (!have_ctx_) {
    step.error = "no handshake under way";
    return step;
  }
  SECURITY_STATUS s = Step(input, step);
  if (s == SEC_I_INCOMPLETE_CREDENTIALS) {
    // The server asks for a client certificate: go on without one.
    step = {};
    s = Step(input, step);
  }
  switch (s) {
    case SEC_E_OK:
      if (QueryContextAttributesW(&ctx_, SECPKG_ATTR_STREAM_SIZES, &sizes_) != SEC_E_OK) {
        step.status = TlsStep::Status::Failed;
        step.error = "no stream sizes";
        return step;
      }
      step.status = TlsStep::Status::Done;
      return step;
    case SEC_I_CONTINUE_NEEDED: step.status = TlsStep::Status::Continue; return step;
    case SEC_E_INCOMPLETE_MESSAGE: step.status = TlsStep::Status::Incomplete; return step;
  }
  step.status = TlsStep::Status::Failed;
  step.error = "InitializeSecurityContext " + Hex(static_cast<unsigned long>(s));
  return step;
}

TlsStep SchannelTls::Decrypt(std::string_view record) {
  TlsStep step;
  // DecryptMessage wants at least four buffers, and a whole record (5 bytes or more).
  if (!have_ctx_ || record.size() < 5) {
    step.error = "no record";
    return step;
  }
  std::vector<char> copy(record.begin(), record.end());
  SecBuffer b[4] = {{static_cast<unsigned long>(copy.size()), SECBUFFER_DATA, copy.data()},
                    {0, SECBUFFER_EMPTY, nullptr},
                    {0, SECBUFFER_EMPTY, nullptr},
                    {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
  const SECURITY_STATUS s = DecryptMessage(&ctx_, &desc, 0, nullptr);
  if (s == SEC_E_OK || s == SEC_I_CONTEXT_EXPIRED) {
    // A close_notify (SEC_I_CONTEXT_EXPIRED, or under Wine SEC_E_OK with no data) gives nothing.
    step.status = TlsStep::Status::Done;
    step.consumed = record.size();
    for (const SecBuffer& x : b) {
      if (x.BufferType == SECBUFFER_DATA && x.pvBuffer && x.cbBuffer)
        step.plain.append(static_cast<const char*>(x.pvBuffer), x.cbBuffer);
      if (x.BufferType == SECBUFFER_EXTRA) step.consumed -= std::min<std::size_t>(x.cbBuffer, step.consumed);
    }
    return step;
  }
  step.error = s == SEC_I_RENEGOTIATE ? std::string("renegotiation asked for")
                                      : "DecryptMessage " + Hex(static_cast<unsigned long>(s));
  return step;
}

std::size_t SchannelTls::MaxPlainPerRecord() { return have_ctx_ ? sizes_.cbMaximumMessage : 0; }

bool SchannelTls::Encrypt(std::string_view plain, std::string& record) {
  if (!have_ctx_ || plain.size() > sizes_.cbMaximumMessage) return false;
  std::vector<char> buf(sizes_.cbHeader + plain.size() + sizes_.cbTrailer);
  std::copy(plain.begin(), plain.end(), buf.begin() + sizes_.cbHeader);
  SecBuffer b[4] = {{sizes_.cbHeader, SECBUFFER_STREAM_HEADER, buf.data()},
                    {static_cast<unsigned long>(plain.size()), SECBUFFER_DATA,
                     buf.data() + sizes_.cbHeader},
                    {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER,
                     buf.data() + sizes_.cbHeader + plain.size()},
                    {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
  if (EncryptMessage(&ctx_, 0, &desc, 0) != SEC_E_OK) return false;
  record.assign(buf.data(), b[0].cbBuffer + b[1].cbBuffer + b[2].cbBuffer);
  return true;
}

std::string SchannelTls::Shutdown() {
  if (!have_ctx_) return {};
  DWORD type = SCHANNEL_SHUTDOWN;
  SecBuffer token{sizeof type, SECBUFFER_TOKEN, &type};
  SecBufferDesc desc{SECBUFFER_VERSION, 1, &token};
  if (ApplyControlToken(&ctx_, &desc) != SEC_E_OK) return {};
  TlsStep step;
  Step({}, step);
  return step.output;
}

std::string SchannelTls::PeerCertificate() {
  if (!have_ctx_) return {};
  if (!cert_ &&
      QueryContextAttributesW(&ctx_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &cert_) != SEC_E_OK) {
    cert_ = nullptr;
    return {};
  }
  return std::string(reinterpret_cast<const char*>(cert_->pbCertEncoded), cert_->cbCertEncoded);
}

bool SchannelTls::StartVerify(std::string& detail) {
  if (!cert_ && PeerCertificate().empty()) {
    detail = "no certificate";
    return false;
  }
  return check_.Start(cert_, peer_, detail);
}

TlsSessionInfo SchannelTls::Info() {
  TlsSessionInfo info;
  SecPkgContext_ConnectionInfo c{};
  if (have_ctx_ && QueryContextAttributesW(&ctx_, SECPKG_ATTR_CONNECTION_INFO, &c) == SEC_E_OK) {
    info.protocol = ProtocolName(c.dwProtocol);
    info.cipher = AlgorithmName(c.aiExch, c.dwExchStrength) + " " +
                  AlgorithmName(c.aiCipher, c.dwCipherStrength) + " " +
                  AlgorithmName(c.aiHash, c.dwHashStrength);
  }
  if (cert_ || !PeerCertificate().empty()) {
    wchar_t subject[512] = L"";
    CertNameToStrW(X509_ASN_ENCODING, &cert_->pCertInfo->Subject,
                   CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG, subject, 512);
    info.subject = winlib::Narrow932(subject);
  }
  return info;
}

void SchannelTls::End() {
  check_.Cancel();
  if (cert_) CertFreeCertificateContext(cert_);
  cert_ = nullptr;
  if (have_ctx_) DeleteSecurityContext(&ctx_);
  have_ctx_ = false;
  sizes_ = {};
}

}  // namespace zepho
