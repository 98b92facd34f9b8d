// The browser's request on the loopback listener after the provider's
// redirect: "GET /?code=...&state=..." or "GET /?error=...&state=...". Only a
// request with the sign-in's own state counts; anything else gets an answer
// and the listener waits on. Bytes in; the answer's bytes out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zepho {

// The request line and headers together.
inline constexpr std::size_t kMaxRedirectRequestBytes = 8 * 1024;

struct RedirectResult {
  enum class Kind {
    Incomplete,  // more bytes are needed
    Code,        // the right state and a code: `code`
    Error,       // the right state and an error: `error`, `error_description`
    Ignored,     // not the redirect (another path, a wrong or missing state, no code)
    Malformed,   // not an HTTP request we take (too long, not GET, broken escapes)
  };
  Kind kind = Kind::Incomplete;
  std::string code;
  std::string error;
  std::string error_description;
  // The bytes to answer with, once the kind is known; then close.
  std::string response;
};

class RedirectRequestParser {
 public:
  explicit RedirectRequestParser(std::string expected_state)
      : expected_state_(std::move(expected_state)) {}

  // Bytes of the connection; the result is final once it is not Incomplete.
  RedirectResult Feed(std::string_view bytes);

 private:
  RedirectResult Judge(std::string_view head) const;

  std::string expected_state_;
  std::string in_;
  bool done_ = false;
};

// The page of the answer: Japanese, UTF-8.
std::string RedirectResponse(RedirectResult::Kind kind);

}  // namespace zepho
