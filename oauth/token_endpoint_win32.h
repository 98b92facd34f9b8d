// The POST to the token endpoint, off the window thread: HTTPS over our own
// TLS layer with SChannel, the certificate checked as for POP3 (chain to a
// trusted root, the host's name); plain http only to a loopback address (the
// tests' stand-in provider). Bounded in time, cancellable.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace zepho {

// A token request and its answer take a few hundred milliseconds.
inline constexpr unsigned long kTokenRequestTimeoutMs = 30 * 1000;

struct TokenEndpointResult {
  enum class Kind {
    Answered,   // an HTTP response: `status`, `body`
    Refused,    // the URL may not be posted to (not https, not a URL): nothing was sent
    Failed,     // the network or TLS failed: `detail`
    TimedOut,
    Cancelled,
  };
  Kind kind = Kind::Failed;
  int status = 0;
  std::string body;
  // For the log: what failed, never what was sent or received.
  std::string detail;
};

// Posts the form `body` to `url` and waits for the answer (blocking: call it
// on a worker thread). `cancel` may be null.
TokenEndpointResult PostTokenRequest(const std::string& url, const std::string& body,
                                     unsigned long timeout_ms, const std::atomic<bool>* cancel);

// The same on a thread of its own; `done` is called on it at the end.
class TokenEndpointCall {
 public:
  TokenEndpointCall() = default;
  ~TokenEndpointCall();
  TokenEndpointCall(const TokenEndpointCall&) = delete;
  TokenEndpointCall& operator=(const TokenEndpointCall&) = delete;

  void Start(std::string url, std::string body, unsigned long timeout_ms, std::function<void()> done);
  void Cancel() { cancel_ = true; }
  TokenEndpointResult Finish();

 private:
  std::atomic<bool> cancel_{false};
  std::thread worker_;
  TokenEndpointResult result_;
};

}  // namespace zepho
