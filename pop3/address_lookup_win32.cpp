#include "pop3/address_lookup_win32.h"

#include <ws2tcpip.h>
#include <windows.h>
#include <process.h>

#include <atomic>
#include <cstring>

namespace zepho {

namespace {

enum JobState : int { kPending, kDone, kTimedOut, kAbandoned };

LookupOutcome Resolve(const std::string& name) {
  LookupOutcome outcome;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  // No AI_ADDRCONFIG: it drops IPv6 where only ::1 has it, and the connect
  // attempts pass quickly over an address family the machine cannot reach.
  addrinfo* list = nullptr;
  outcome.error = getaddrinfo(name.c_str(), nullptr, &hints, &list);
  if (outcome.error != 0) {
    outcome.status = outcome.error == WSAHOST_NOT_FOUND || outcome.error == WSANO_DATA
                         ? LookupOutcome::Status::NoSuchName
                         : LookupOutcome::Status::NoAnswer;
    return outcome;
  }
  for (const addrinfo* p = list; p; p = p->ai_next) {
    IpAddress ip;
    if (p->ai_family == AF_INET && p->ai_addrlen >= sizeof(sockaddr_in)) {
      const auto* in = reinterpret_cast<const sockaddr_in*>(p->ai_addr);
      std::memcpy(ip.bytes.data(), &in->sin_addr, 4);
    } else if (p->ai_family == AF_INET6 && p->ai_addrlen >= sizeof(sockaddr_in6)) {
      const auto* in6 = reinterpret_cast<const sockaddr_in6*>(p->ai_addr);
      ip.family = IpAddress::Family::V6;
      std::memcpy(ip.bytes.data(), &in6->sin6_addr, 16);
      ip.scope_id = in6->sin6_scope_id;
    } else {
      continue;
    }
    outcome.addresses.push_back(ip);
  }
  freeaddrinfo(list);
  outcome.status = outcome.addresses.empty() ? LookupOutcome::Status::NoSuchName
                                             : LookupOutcome::Status::Found;
  return outcome;
}

}  // namespace

// Shared by the owner and the worker; whoever moves it out of kPending first
// (the worker with the outcome, the timer, or the owner letting it go) decides
// whether a message is posted.
struct AddressLookup::Job {
  std::string name;
  HWND notify = nullptr;
  UINT message = 0;
  WPARAM serial = 0;
  std::atomic<int> state{kPending};
  LookupOutcome outcome;  // written by the worker before it sets kDone

  void Post(int to) {
    int expected = kPending;
    if (state.compare_exchange_strong(expected, to)) PostMessageW(notify, message, serial, 0);
  }

  static unsigned __stdcall Work(void* arg) {
    // The worker's own share: the job outlives its owner as long as this runs.
    std::unique_ptr<std::shared_ptr<Job>> share(static_cast<std::shared_ptr<Job>*>(arg));
    Job& job = **share;
    job.outcome = Resolve(job.name);
    job.Post(kDone);
    return 0;
  }

  static void CALLBACK Due(void* arg, BOOLEAN) { static_cast<Job*>(arg)->Post(kTimedOut); }
};

bool AddressLookup::Start(const std::string& name) {
  Cancel();
  auto job = std::make_shared<Job>();
  job->name = name;
  job->notify = notify_;
  job->message = message_;
  job->serial = ++serial_;
  // The timer gets the bare job: the owner keeps it alive until the timer is deleted.
  if (!CreateTimerQueueTimer(&timer_, nullptr, &Job::Due, job.get(), bound_ms_, 0,
                             WT_EXECUTEONLYONCE)) {
    timer_ = nullptr;
    return false;
  }
  job_ = job;
  auto* share = new std::shared_ptr<Job>(job);
  const uintptr_t thread = _beginthreadex(nullptr, 0, &Job::Work, share, 0, nullptr);
  if (!thread) {
    delete share;
    Cancel();
    return false;
  }
  // Never joined: the thread ends when getaddrinfo returns, or with the process.
  CloseHandle(reinterpret_cast<HANDLE>(thread));
  return true;
}

void AddressLookup::StopTimer() {
  if (!timer_) return;
  // Waits for a callback under way: it only posts, so this is short, and after
  // it the callback can no longer touch the job.
  DeleteTimerQueueTimer(nullptr, timer_, INVALID_HANDLE_VALUE);
  timer_ = nullptr;
}

void AddressLookup::Cancel() {
  if (!job_) return;
  StopTimer();
  int expected = kPending;
  job_->state.compare_exchange_strong(expected, kAbandoned);
  job_.reset();
}

std::optional<LookupOutcome> AddressLookup::Take(WPARAM wparam) {
  if (!job_ || wparam != job_->serial) return std::nullopt;
  const int state = job_->state.load();
  if (state == kPending) return std::nullopt;
  StopTimer();
  LookupOutcome outcome;
  if (state == kDone) {
    outcome = std::move(job_->outcome);
  } else {
    outcome.status = LookupOutcome::Status::TimedOut;
  }
  job_.reset();
  return outcome;
}

}  // namespace zepho
