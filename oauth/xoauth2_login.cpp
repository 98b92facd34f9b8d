#include "oauth/xoauth2_login.h"

#include "oauth/base64.h"

namespace zepho {

namespace {

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// "+" alone or "+ <data>": a continuation; "+OK" is not one.
bool Continuation(std::string_view line) {
  return line.size() >= 3 && line[0] == '+' && (line[1] == ' ' || line[1] == '\r');
}

}  // namespace

std::string Xoauth2Payload(std::string_view account, std::string_view access_token) {
  std::string sasl = "user=";
  sasl += account;
  sasl += "\x01" "auth=Bearer ";
  sasl += access_token;
  sasl += "\x01\x01";
  return Base64Encode(sasl);
}

Xoauth2Login::Step Xoauth2Login::Begin(std::string_view account, std::string_view access_token) {
  payload_ = Xoauth2Payload(account, access_token);
  buffer_.clear();
  state_ = State::Command;
  Step s;
  s.kind = Step::Kind::Send;
  s.line = s.log = "AUTH XOAUTH2\r\n";
  return s;
}

Xoauth2Login::Step Xoauth2Login::OnReceived(std::string_view bytes) {
  if (state_ == State::Idle || state_ == State::Done) return {};
  buffer_.append(bytes);
  const std::size_t end = buffer_.find("\r\n");
  if (end == std::string::npos) {
    if (buffer_.size() > kMaxXoauth2LineBytes) return Finish(Step::Kind::Failed, buffer_.substr(0, 64));
    return {};
  }
  if (end + 2 > kMaxXoauth2LineBytes) return Finish(Step::Kind::Failed, buffer_.substr(0, 64));
  std::string line = buffer_.substr(0, end + 2);
  // One command, one reply: anything behind the reply is no answer of ours.
  if (buffer_.size() > end + 2) return Finish(Step::Kind::Failed, std::move(line));
  buffer_.clear();
  return Decide(std::move(line));
}

Xoauth2Login::Step Xoauth2Login::Decide(std::string line) {
  switch (state_) {
    case State::Command:
      if (Continuation(line)) {
        state_ = State::Credentials;
        Step s;
        s.kind = Step::Kind::Send;
        s.line = payload_ + "\r\n";
        s.log = std::string(kXoauth2LogMask);
        s.reply = std::move(line);
        return s;
      }
      // "-ERR" here: the server has no XOAUTH2 (or no AUTH at all).
      return Finish(Step::Kind::Failed, std::move(line));
    case State::Credentials:
      if (StartsWith(line, "+OK")) return Finish(Step::Kind::LoggedIn, std::move(line));
      if (StartsWith(line, "-ERR")) return Finish(Step::Kind::Refused, std::move(line));
      if (Continuation(line)) {
        // The refusal's JSON: an empty response ends the exchange with -ERR.
        state_ = State::Challenge;
        Step s;
        s.kind = Step::Kind::Send;
        s.line = s.log = "\r\n";
        s.reply = std::move(line);
        return s;
      }
      return Finish(Step::Kind::Failed, std::move(line));
    case State::Challenge:
      if (StartsWith(line, "-ERR")) return Finish(Step::Kind::Refused, std::move(line));
      return Finish(Step::Kind::Failed, std::move(line));
    case State::Idle:
    case State::Done:
      break;
  }
  return {};
}

Xoauth2Login::Step Xoauth2Login::Finish(Step::Kind kind, std::string line) {
  state_ = State::Done;
  payload_.assign(payload_.size(), '\0');
  payload_.clear();
  buffer_.clear();
  Step s;
  s.kind = kind;
  s.reply = std::move(line);
  return s;
}

}  // namespace zepho
