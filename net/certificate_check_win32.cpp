// The retrieval time-out of CERT_CHAIN_PARA is among its extra fields.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include "net/certificate_check_win32.h"

#include <process.h>

#include <atomic>
#include <cstdio>
#include <vector>

#include "net/tls_certificate.h"
#include "winlib/text.h"

namespace zepho {

namespace {

// Newer than the Windows version the program targets, so not in its headers.
constexpr DWORD kAccumulativeTimeout = 0x08000000;  // CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT
constexpr DWORD kIgnoreCommonNameInvalid = 0x00001000;  // SECURITY_FLAG_IGNORE_CERT_CN_INVALID
constexpr DWORD kIgnoreRevocation = 0x00000080;        // SECURITY_FLAG_IGNORE_REVOCATION

// Revocation that could not be learnt: soft.
constexpr DWORD kRevocationUnknown =
    CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;

std::string Hex(unsigned long code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", code);
  return text;
}

// The trust errors of a chain, most telling first.
CertVerdict VerdictOfChain(DWORD errors) {
  if (errors & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN |
                CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_IS_CYCLIC))
    return CertVerdict::Untrusted;
  if (errors & CERT_TRUST_IS_NOT_TIME_VALID) return CertVerdict::Expired;
  if (errors & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) return CertVerdict::WrongUsage;
  if (errors & CERT_TRUST_IS_REVOKED) return CertVerdict::Revoked;
  return errors ? CertVerdict::Unchecked : CertVerdict::Ok;
}

CertVerdict VerdictOfPolicy(DWORD error) {
  switch (error) {
    case 0:
    // Revocation unknown, should the policy still say so.
    case static_cast<DWORD>(CRYPT_E_NO_REVOCATION_CHECK):
    case static_cast<DWORD>(CRYPT_E_REVOCATION_OFFLINE): return CertVerdict::Ok;
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH): return CertVerdict::NameMismatch;
    case static_cast<DWORD>(CERT_E_EXPIRED): return CertVerdict::Expired;
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
    case static_cast<DWORD>(CERT_E_CHAINING): return CertVerdict::Untrusted;
    case static_cast<DWORD>(CERT_E_WRONG_USAGE): return CertVerdict::WrongUsage;
    case static_cast<DWORD>(CRYPT_E_REVOKED): return CertVerdict::Revoked;
  }
  return CertVerdict::Unchecked;
}

// The IP address entries of the certificate's subject alternative name, as raw bytes.
std::vector<std::string> IpEntries(PCCERT_CONTEXT cert) {
  std::vector<std::string> out;
  const CERT_EXTENSION* ext = CertFindExtension(
      szOID_SUBJECT_ALT_NAME2, cert->pCertInfo->cExtension, cert->pCertInfo->rgExtension);
  if (!ext) return out;
  CERT_ALT_NAME_INFO* names = nullptr;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, ext->Value.pbData,
                           ext->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size))
    return out;
  for (DWORD i = 0; i < names->cAltEntry; ++i) {
    const CERT_ALT_NAME_ENTRY& e = names->rgAltEntry[i];
    if (e.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS)
      out.emplace_back(reinterpret_cast<const char*>(e.IPAddress.pbData), e.IPAddress.cbData);
  }
  LocalFree(names);
  return out;
}

}  // namespace

CertificateVerdict VerifyCertificate(PCCERT_CONTEXT cert, const TlsPeer& peer, ChainFetch fetch,
                                     HCERTCHAINENGINE engine) {
  CertificateVerdict v;
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  char server_auth[] = szOID_PKIX_KP_SERVER_AUTH;
  LPSTR usages[] = {server_auth};
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  DWORD flags = CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT;
  if (fetch == ChainFetch::CacheOnly) {
    flags |= CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL | CERT_CHAIN_REVOCATION_CHECK_CACHE_ONLY;
  } else {
    flags |= kAccumulativeTimeout;
    para.dwUrlRetrievalTimeout = kUrlRetrievalTimeoutMs;
  }
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  // The certificates the server sent with its own are in its store.
  if (!CertGetCertificateChain(engine, cert, nullptr, cert->hCertStore, &para, flags, nullptr,
                               &chain)) {
    v.detail = "CertGetCertificateChain " + Hex(GetLastError());
    return v;
  }
  // The SSL policy alone passes a chain whose issuer was never found: the
  // chain's own trust status must be clean too.
  const DWORD errors = chain->TrustStatus.dwErrorStatus & ~kRevocationUnknown;
  v.verdict = VerdictOfChain(errors);
  if (v.verdict != CertVerdict::Ok) v.detail = "chain " + Hex(chain->TrustStatus.dwErrorStatus);
  if (v.verdict == CertVerdict::Ok) {
    // A host name is the policy's to match; an address is matched below, as
    // the policy of some systems (Wine's) does not look at IP entries.
    std::wstring name = winlib::Wide932(peer.name);
    HTTPSPolicyCallbackData ssl{};
    ssl.cbStruct = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = peer.address ? nullptr : name.data();
    // Revocation is the chain's status above: the policy would put a revocation
    // it could not learn before a name that does not match.
    ssl.fdwChecks = kIgnoreRevocation | (peer.address ? kIgnoreCommonNameInvalid : 0);
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status)) {
      v.verdict = CertVerdict::Unchecked;
      v.detail = "CertVerifyCertificateChainPolicy " + Hex(GetLastError());
    } else {
      v.verdict = VerdictOfPolicy(status.dwError);
      if (v.verdict != CertVerdict::Ok) v.detail = "policy " + Hex(status.dwError);
    }
  }
  if (v.verdict == CertVerdict::Ok && peer.address &&
      !CertificateListsAddress(IpEntries(cert), *peer.address)) {
    v.verdict = CertVerdict::NameMismatch;
    v.detail = "no IP address entry " + peer.name;
  }
  CertFreeCertificateChain(chain);
  return v;
}

namespace {

enum JobState : int { kPending, kDone, kTimedOut, kAbandoned };

// Builds with the network whose worker has not returned yet: at most one.
std::atomic<int> g_network_builds{0};

// A first verdict that a build with the network may change.
bool NetworkMayTell(CertVerdict v) {
  return v == CertVerdict::Ok || v == CertVerdict::Untrusted || v == CertVerdict::Unchecked;
}

}  // namespace

// Shared by the owner and the worker; whoever moves it out of kPending first
// (the worker with its verdict, the timer, or the owner letting it go)
// decides whether a message is posted. The worker owns a reference, so the
// certificate and the store stay valid however long the system keeps it.
struct CertificateCheck::Job {
  PCCERT_CONTEXT cert = nullptr;
  HCERTSTORE store = nullptr;
  TlsPeer peer;
  HCERTCHAINENGINE engine = nullptr;
  HWND notify = nullptr;
  UINT message = 0;
  WPARAM serial = 0;
  HANDLE done = nullptr;  // set at the first verdict, for Wait
  bool with_network = false;
  std::atomic<int> state{kPending};
  // Written by the worker before it publishes them.
  CertificateVerdict first, second;
  std::atomic<bool> first_ready{false};
  bool second_ready = false;  // read only once the state is kDone

  ~Job() {
    if (cert) CertFreeCertificateContext(cert);
    if (store) CertCloseStore(store, 0);
    if (done) CloseHandle(done);
  }

  void Post(int to) {
    int expected = kPending;
    if (!state.compare_exchange_strong(expected, to)) return;
    SetEvent(done);
    if (notify) PostMessageW(notify, message, serial, 0);
  }

  static unsigned __stdcall Work(void* arg) {
    std::unique_ptr<std::shared_ptr<Job>> share(static_cast<std::shared_ptr<Job>*>(arg));
    Job& job = **share;
    job.first = VerifyCertificate(job.cert, job.peer, ChainFetch::CacheOnly, job.engine);
    job.first_ready = true;
    if (job.with_network && NetworkMayTell(job.first.verdict) && job.state == kPending) {
      job.second = VerifyCertificate(job.cert, job.peer, ChainFetch::Network, job.engine);
      job.second_ready = true;
    }
    if (job.with_network) --g_network_builds;
    job.Post(kDone);
    return 0;
  }

  static void CALLBACK Due(void* arg, BOOLEAN) { static_cast<Job*>(arg)->Post(kTimedOut); }
};

bool CertificateCheck::Start(PCCERT_CONTEXT cert, const TlsPeer& peer, std::string& error) {
  Cancel();
  auto job = std::make_shared<Job>();
  job->cert = CertDuplicateCertificateContext(cert);
  job->store = cert->hCertStore ? CertDuplicateStore(cert->hCertStore) : nullptr;
  job->peer = peer;
  job->engine = engine_;
  job->notify = notify_;
  job->message = message_;
  job->serial = ++serial_;
  job->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!job->done) {
    error = "CreateEvent " + Hex(GetLastError());
    return false;
  }
  // The timer gets the bare job: the owner keeps it alive until the timer is deleted.
  if (notify_ && !CreateTimerQueueTimer(&timer_, nullptr, &Job::Due, job.get(), bound_ms_, 0,
                                        WT_EXECUTEONLYONCE)) {
    timer_ = nullptr;
    error = "CreateTimerQueueTimer " + Hex(GetLastError());
    return false;
  }
  int running = 0;
  job->with_network = g_network_builds.compare_exchange_strong(running, 1);
  job_ = job;
  auto* share = new std::shared_ptr<Job>(job);
  const uintptr_t thread = _beginthreadex(nullptr, 0, &Job::Work, share, 0, nullptr);
  if (!thread) {
    if (job->with_network) --g_network_builds;
    delete share;
    Cancel();
    error = "no thread for the certificate check";
    return false;
  }
  // Never joined: the thread ends when the chain's build returns, or with the process.
  CloseHandle(reinterpret_cast<HANDLE>(thread));
  return true;
}

void CertificateCheck::StopTimer() {
  if (!timer_) return;
  // Waits for a callback under way: it only posts, so this is short.
  DeleteTimerQueueTimer(nullptr, timer_, INVALID_HANDLE_VALUE);
  timer_ = nullptr;
}

void CertificateCheck::Cancel() {
  if (!job_) return;
  StopTimer();
  int expected = kPending;
  job_->state.compare_exchange_strong(expected, kAbandoned);
  job_.reset();
}

CertificateVerdict CertificateCheck::Finish() {
  StopTimer();
  CertificateVerdict v;
  if (job_->state == kDone && job_->second_ready) {
    v = std::move(job_->second);
  } else if (job_->first_ready) {
    // The build with the network did not come in time, or was not made.
    v = std::move(job_->first);
  } else {
    v.detail = "not checked within " + std::to_string(bound_ms_ / 1000) + " s";
  }
  job_.reset();
  return v;
}

std::optional<CertificateVerdict> CertificateCheck::Take(WPARAM wparam) {
  if (!job_ || wparam != job_->serial || job_->state == kPending) return std::nullopt;
  return Finish();
}

CertificateVerdict CertificateCheck::Wait() {
  if (!job_) return {CertVerdict::Unchecked, "no check under way"};
  WaitForSingleObject(job_->done, bound_ms_);
  job_->Post(kTimedOut);  // no more than the bound, whatever the worker does
  return Finish();
}

}  // namespace zepho
