// The POP3 login with an OAuth 2.0 access token (SASL XOAUTH2, RFC 5034's
// AUTH in its two-line form, which Microsoft requires): AUTH XOAUTH2, the
// server's "+", the credentials on a line of their own. A refused token comes
// as "+ <base64 JSON>", answered with an empty line, then "-ERR".
// Bytes in, lines out; the caller sends, logs and times.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zepho {

// base64("user=" account ^A "auth=Bearer " token ^A ^A)
std::string Xoauth2Payload(std::string_view account, std::string_view access_token);

// One reply line is at most this long (RFC 2449 allows 512; the JSON of a
// refusal is longer at some servers).
inline constexpr std::size_t kMaxXoauth2LineBytes = 8192;

// What the log shows instead of the credentials.
inline constexpr std::string_view kXoauth2LogMask = "***\r\n";

class Xoauth2Login {
 public:
  struct Step {
    enum class Kind {
      Wait,      // the reply is not complete yet
      Send,      // send `line`; write `log` to the log
      LoggedIn,  // +OK: the dialogue goes on with STAT
      Refused,   // the server refused the token: sign in again (`reply` holds its text)
      Failed,    // no XOAUTH2 here, or a reply that fits no step: end quietly
    };
    Kind kind = Kind::Wait;
    std::string line;   // with its CR LF
    std::string log;    // what to log for `line`, the credentials masked
    std::string reply;  // the complete reply line that decided, for the log
  };

  // The first command; the payload is kept until the server asks for it.
  Step Begin(std::string_view account, std::string_view access_token);
  Step OnReceived(std::string_view bytes);

 private:
  enum class State { Idle, Command, Credentials, Challenge, Done };
  Step Decide(std::string line);
  Step Finish(Step::Kind kind, std::string line);

  State state_ = State::Idle;
  std::string payload_;
  std::string buffer_;
};

}  // namespace zepho
