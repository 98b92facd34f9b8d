// The loopback listener of one sign-in: 127.0.0.1 on a free port, where the
// browser comes back from the provider. It answers every request (the browser
// may also ask for /favicon.ico, or open a spare connection and send
// nothing), takes the one with the sign-in's state, answers it with a short
// page and closes. It waits on a worker thread, never on the window thread,
// for a bounded time, and can be cancelled.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace zepho {

// How long a sign-in may take in the browser.
inline constexpr unsigned long kSignInTimeoutMs = 5 * 60 * 1000;

struct ListenerResult {
  enum class Kind {
    Code,       // `code` came with the right state
    Error,      // the provider's error came with the right state
    TimedOut,
    Cancelled,
    Failed,     // the socket failed: `detail`
  };
  Kind kind = Kind::Failed;
  std::string code;
  std::string error;
  std::string error_description;
  std::string detail;
};

class LoopbackListener {
 public:
  LoopbackListener() = default;
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  // Listens on 127.0.0.1 at a port the system picks. False with `error`.
  bool Open(std::string& error);
  std::uint16_t port() const { return port_; }

  // Waits for the redirect on a worker thread; `done` is called on that
  // thread when the wait ends (post a message from it).
  void Start(std::string state, unsigned long timeout_ms, std::function<void()> done);
  // Ends the wait soon (within a tenth of a second); `done` is still called.
  void Cancel() { cancel_ = true; }
  // Joins the worker; the result is final afterwards.
  ListenerResult Finish();

 private:
  void Run(std::string state, unsigned long timeout_ms);

  SOCKET listen_ = INVALID_SOCKET;
  std::uint16_t port_ = 0;
  bool winsock_ = false;
  std::atomic<bool> cancel_{false};
  std::thread worker_;
  std::function<void()> done_;
  ListenerResult result_;
};

}  // namespace zepho
