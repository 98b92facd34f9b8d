// Looks a server's name up without blocking the window thread: getaddrinfo
// (IPv6 and IPv4) runs on a worker thread of its own and the outcome is posted
// to a window. A look-up is bounded: after `bound_ms` the window is told it
// timed out and the worker is let go. A look-up let go (cancelled, replaced,
// timed out, or its owner destroyed) is never waited for, and what it finds is
// dropped: the worker owns everything it touches.
#pragma once

#include <winsock2.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "pop3/address_lookup.h"

namespace zepho {

// Above the time the system itself gives a silent name server (the C library
// of Wine: 5 s times 2 tries; Windows: about 10 s), so its own answer comes
// first in all but a hang.
inline constexpr DWORD kLookupBoundMs = 15000;

class AddressLookup {
 public:
  // Each look-up posts `message` to `notify` once, its number in wParam.
  AddressLookup(HWND notify, UINT message, DWORD bound_ms = kLookupBoundMs)
      : notify_(notify), message_(message), bound_ms_(bound_ms) {}
  ~AddressLookup() { Cancel(); }
  AddressLookup(const AddressLookup&) = delete;
  AddressLookup& operator=(const AddressLookup&) = delete;

  // Starts looking `name` up; a look-up under way is let go first. False when
  // it could not be started: then no message comes.
  bool Start(const std::string& name);
  // Lets the look-up under way go; no message of it is taken any more.
  void Cancel();
  // For `message`: the outcome of the look-up under way, which is then over;
  // nullopt for a message of a look-up let go.
  std::optional<LookupOutcome> Take(WPARAM wparam);
  bool busy() const { return job_ != nullptr; }

 private:
  struct Job;
  void StopTimer();

  HWND notify_;
  UINT message_;
  DWORD bound_ms_;
  std::shared_ptr<Job> job_;
  HANDLE timer_ = nullptr;
  std::uint32_t serial_ = 0;
};

}  // namespace zepho
