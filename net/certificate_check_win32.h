// Checks a server's certificate with CryptoAPI off the window thread: the
// chain is built on a worker thread of its own, the verdict posted to a
// window, and the wait bounded by the program itself (the system's own
// retrieval time-outs are not relied upon: under Wine a CRL server that never
// answers holds the chain's build indefinitely).
//
// Policy. The chain is built twice on the worker: first from what this machine
// has (no issuer fetched, revocation from the cache only), then with the
// network (missing issuers fetched, revocation checked for the chain but its
// root). The second verdict stands when it comes within the bound; otherwise
// the first does. Revocation fails soft: a certificate whose revocation cannot
// be learnt (no CRL point, none reachable, no answer) passes; one known to be
// revoked is refused. At most one build with the network hangs at a time: while
// one has not returned, later checks use the first build only.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "net/tls_port.h"

namespace zepho {

// The whole check, from its start to its verdict.
inline constexpr DWORD kCertificateCheckBoundMs = 10000;
// What the system is asked to give each fetch, all of a chain's fetches together.
inline constexpr DWORD kUrlRetrievalTimeoutMs = 8000;

struct CertificateVerdict {
  CertVerdict verdict = CertVerdict::Unchecked;
  std::string detail;  // for the log
};

// Where the chain's missing parts may come from.
enum class ChainFetch {
  CacheOnly,  // nothing fetched: what the machine has
  Network,    // issuers and revocation fetched
};

// One build and its verdict, blocking: `cert`'s own store holds what the
// server sent with it. `engine` is the system's unless given (tests trust a
// root of their own).
CertificateVerdict VerifyCertificate(PCCERT_CONTEXT cert, const TlsPeer& peer, ChainFetch fetch,
                                     HCERTCHAINENGINE engine = nullptr);

class CertificateCheck {
 public:
  // Each check posts `message` to `notify` once, its number in wParam. With
  // no window nothing is posted: the caller waits (Wait).
  CertificateCheck(HWND notify, UINT message, DWORD bound_ms = kCertificateCheckBoundMs,
                   HCERTCHAINENGINE engine = nullptr)
      : notify_(notify), message_(message), bound_ms_(bound_ms), engine_(engine) {}
  ~CertificateCheck() { Cancel(); }
  CertificateCheck(const CertificateCheck&) = delete;
  CertificateCheck& operator=(const CertificateCheck&) = delete;

  // Starts checking `cert` for `peer`; a check under way is let go first.
  // False with `error` when it could not be started (then no message comes).
  bool Start(PCCERT_CONTEXT cert, const TlsPeer& peer, std::string& error);
  // Lets the check under way go; nothing of it is taken any more.
  void Cancel();
  // For `message`: the verdict of the check under way, which is then over;
  // nullopt for a message of a check let go.
  std::optional<CertificateVerdict> Take(WPARAM wparam);
  // Without a window: waits for the verdict of the check under way, the bound at most.
  CertificateVerdict Wait();
  bool busy() const { return job_ != nullptr; }

 private:
  struct Job;
  void StopTimer();
  CertificateVerdict Finish();

  HWND notify_;
  UINT message_;
  DWORD bound_ms_;
  HCERTCHAINENGINE engine_;
  std::shared_ptr<Job> job_;
  HANDLE timer_ = nullptr;
  std::uint32_t serial_ = 0;
};

}  // namespace zepho
