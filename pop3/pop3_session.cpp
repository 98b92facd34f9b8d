#include "pop3/pop3_session.h"

#include <limits>
#include <utility>

#include "pop3/md5.h"

namespace zepho {

namespace {

using Kind = SessionAction::Kind;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The message count of a STAT reply, read as "%s %d %d" reads its first
// number: one word, blanks, then an optionally signed decimal. 0 when there is
// no such number or it does not fit 32 bits.
std::int32_t ReadStatCount(std::string_view reply) {
  std::size_t i = 0;
  while (i < reply.size() && IsBlank(reply[i])) ++i;
  if (i == reply.size()) return 0;
  while (i < reply.size() && !IsBlank(reply[i])) ++i;
  while (i < reply.size() && IsBlank(reply[i])) ++i;

  bool negative = false;
  if (i < reply.size() && (reply[i] == '+' || reply[i] == '-')) negative = reply[i++] == '-';
  const std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t value = 0;
  bool digits = false;
  for (; i < reply.size() && reply[i] >= '0' && reply[i] <= '9'; ++i) {
    digits = true;
    // Past the limit the exact value no longer matters: it is out of range.
    if (value <= limit) value = value * 10 + (reply[i] - '0');
  }
  if (!digits) return 0;
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max() ||
      value < std::numeric_limits<std::int32_t>::min())
    return 0;
  return static_cast<std::int32_t>(value);
}

}  // namespace

std::string ApopTimestamp(std::string_view greeting) {
  const std::size_t open = greeting.find('<');
  if (open == std::string_view::npos || greeting.find('@') == std::string_view::npos) return {};
  const std::size_t close = greeting.find('>', open);
  if (close == std::string_view::npos) return {};
  return std::string(greeting.substr(open, close + 1 - open));
}

void Pop3Session::Begin(SessionConfig config) {
  config_ = std::move(config);
  state_ = SessionState::Greeting;
  finished_ = false;
  walk_ended_ = false;
  ClearBuffer();
  current_uid_.clear();
  apop_digest_.clear();
  check_list_ = {};
  walk_ = {};
  incomplete_ = false;
}

void Pop3Session::OnConnected() { state_ = SessionState::Greeting; }

SessionActions Pop3Session::OnReceived(std::string_view bytes) {
  SessionActions out;
  if (finished_) return out;
  // Every byte counts, NUL bytes too: the end of a reply is found whatever it holds.
  arrived_ += bytes.size();
  buffer_.append(bytes.substr(0, kMaxReplyBytes - buffer_.size()));

  incomplete_ = false;
  SessionActions handled;
  HandleReply(handled);
  if (!finished_ && incomplete_) {
    // The reply's deadline still counts from its command, however its bytes
    // trickle; a reply that has not completed within the bound never will.
    if (arrived_ > kMaxReplyBytes) {
      out.push_back({Kind::StopReplyTimer, {}});
      EndQuietly(out);
    }
    return out;
  }
  out.push_back({Kind::StopReplyTimer, {}});
  out.insert(out.end(), std::make_move_iterator(handled.begin()),
             std::make_move_iterator(handled.end()));
  return out;
}

bool Pop3Session::Has(ReplyTest test) {
  static constexpr std::string_view kTexts[kReplyTests] = {"\r\n", "+OK", "-ER", "\r\n.\r\n"};
  if (!found_[test]) {
    const std::string_view text = kTexts[test];
    if (std::string_view(buffer_).find(text, searched_[test]) != std::string_view::npos)
      found_[test] = true;
    else if (buffer_.size() >= text.size())
      searched_[test] = buffer_.size() - text.size() + 1;  // a hit may still end in new bytes
  }
  return found_[test];
}

void Pop3Session::ClearBuffer() {
  buffer_.clear();
  searched_.fill(0);
  found_.fill(false);
  arrived_ = 0;
}

// The log is a text file: a NUL byte of a reply is left out of it.
void Pop3Session::Log(SessionActions& out) {
  std::string text = buffer_;
  std::erase(text, '\0');
  out.push_back({Kind::Log, std::move(text)});
}

void Pop3Session::HandleReply(SessionActions& out) {
  if (!Has(kLineEnd)) {
    incomplete_ = true;
    return;
  }
  switch (state_) {
    case SessionState::Greeting: OnGreeting(out); return;
    case SessionState::User: OnUser(out); return;
    case SessionState::Pass:
    case SessionState::Apop: OnLoginReply(out); return;
    case SessionState::Stat: OnStat(out); return;
    case SessionState::Uidl: OnUidl(out); return;
    case SessionState::Top: OnTop(out); return;
    case SessionState::Quit: OnQuit(out); return;
    case SessionState::Stls: OnStls(out); return;
    case SessionState::TlsHandshake: break;  // handshake bytes are not the dialogue's
  }
  EndQuietly(out);
}

void Pop3Session::OnGreeting(SessionActions& out) {
  if (!Has(kPositive)) {
    EndQuietly(out);
    return;
  }
  Log(out);
  if (config_.apop == 1) {
    // The timestamp is the greeting's, also when the login follows STLS.
    const std::string timestamp = ApopTimestamp(TextBeforeNul(buffer_));
    // No fallback to USER/PASS: the user asked for APOP.
    if (timestamp.empty() || timestamp.size() + config_.password.size() > kMaxApopInputBytes) {
      EndQuietly(out);
      return;
    }
    apop_digest_ = Md5Hex(timestamp + config_.password);
  }
  if (config_.stls)
    SendCommand(SessionState::Stls, out);
  else
    Login(out);
}

void Pop3Session::Login(SessionActions& out) {
  SendCommand(config_.apop == 1 ? SessionState::Apop : SessionState::User, out);
}

void Pop3Session::OnStls(SessionActions& out) {
  Log(out);
  if (!Has(kPositive)) {
    Finish(Kind::StlsRefused, out);
    out.back().text = buffer_;
    return;
  }
  // Anything after the reply's line came in the clear before the handshake and
  // could pass for the server's words once TLS runs: refuse it.
  if (buffer_.find("\r\n") + 2 != buffer_.size() || arrived_ != buffer_.size()) {
    Finish(Kind::StlsInjected, out);
    return;
  }
  state_ = SessionState::TlsHandshake;
  ClearBuffer();
  out.push_back({Kind::StartTls, {}});
}

SessionActions Pop3Session::OnTlsReady() {
  SessionActions out;
  if (finished_ || state_ != SessionState::TlsHandshake) return out;
  Login(out);
  return out;
}

void Pop3Session::OnUser(SessionActions& out) {
  Log(out);
  if (Has(kPositive))
    SendCommand(SessionState::Pass, out);
  else
    EndQuietly(out);
}

void Pop3Session::OnLoginReply(SessionActions& out) {
  Log(out);
  if (Has(kPositive))
    SendCommand(SessionState::Stat, out);
  else
    Finish(Kind::LoginRejected, out);
}

void Pop3Session::OnStat(SessionActions& out) {
  if (!Has(kPositive)) {
    EndQuietly(out);
    return;
  }
  Log(out);
  const std::int32_t count = ReadStatCount(buffer_);
  walk_.MessageIndex = count;
  walk_.NewMailCount = 0;
  if (count <= 0) {
    SendCommand(SessionState::Quit, out);
    return;
  }
  check_list_ = config_.load_check_list ? config_.load_check_list() : CheckList{};
  if (config_.examined) config_.examined->Begin(check_list_);
  SendCommand(SessionState::Uidl, out);
}

void Pop3Session::OnUidl(SessionActions& out) {
  Log(out);
  current_uid_ = Has(kPositive) ? ParseUid(buffer_) : std::string(kDummyUid);
  SendCommand(SessionState::Top, out);
}

void Pop3Session::OnTop(SessionActions& out) {
  if (Has(kPositive)) {
    if (!Has(kFinalLine)) {
      incomplete_ = true;
      return;
    }
    Log(out);
    const std::int32_t number = walk_.MessageIndex;
    const MessageVerdict verdict = EvaluateMessage(check_list_, config_.not_popup,
                                                   config_.received, current_uid_, buffer_, walk_);
    if (config_.examined) config_.examined->Record(number, verdict, buffer_);
    NextMessage(out);
  } else if (Has(kNegative)) {
    NextMessage(out);
  } else {
    EndQuietly(out);
  }
}

void Pop3Session::OnQuit(SessionActions& out) {
  Log(out);
  EndQuietly(out);
}

void Pop3Session::NextMessage(SessionActions& out) {
  // EvaluateMessage may have set the index to 0 to end the walk.
  walk_.MessageIndex = static_cast<std::int32_t>(std::int64_t{walk_.MessageIndex} - 1);
  SendCommand(walk_.MessageIndex > 0 ? SessionState::Uidl : SessionState::Quit, out);
}

void Pop3Session::SendCommand(SessionState kind, SessionActions& out) {
  if (kind == SessionState::Uidl && config_.received == nullptr) kind = SessionState::Top;
  std::string line;
  switch (kind) {
    case SessionState::Greeting:
    case SessionState::TlsHandshake: break;
    case SessionState::Stls: line = "STLS"; break;
    case SessionState::User: line = "USER " + config_.account; break;
    case SessionState::Pass: line = "PASS " + config_.password; break;
    case SessionState::Stat: line = "STAT"; break;
    case SessionState::Uidl: line = "UIDL " + std::to_string(walk_.MessageIndex); break;
    case SessionState::Top: line = "TOP " + std::to_string(walk_.MessageIndex) + " 0"; break;
    case SessionState::Quit: line = "QUIT"; break;
    case SessionState::Apop: line = "APOP " + config_.account + " " + apop_digest_; break;
  }
  line += "\r\n";
  if (line.size() > kMaxCommandLineBytes) {
    EndQuietly(out);
    return;
  }
  state_ = kind;
  if (kind == SessionState::Quit) walk_ended_ = true;
  out.push_back({Kind::Log, LoggedCommand(kind, line)});
  out.push_back({Kind::Send, std::move(line)});
  out.push_back({Kind::StartReplyTimer, {}});
  ClearBuffer();
}

std::string Pop3Session::LoggedCommand(SessionState kind, const std::string& line) const {
  // Users send the log when they ask for help. The password is masked, and so
  // is the APOP digest: with the greeting's timestamp logged just above it, it
  // would let anyone holding the log try passwords offline. The mask has one
  // length, so it does not tell the password's.
  constexpr char kMask[] = "********";
  switch (kind) {
    case SessionState::Pass: return std::string("PASS ") + kMask + "\r\n";
    case SessionState::Apop: return "APOP " + config_.account + " " + kMask + "\r\n";
    default: return line;
  }
}

void Pop3Session::EndQuietly(SessionActions& out) { Finish(Kind::End, out); }

void Pop3Session::Finish(SessionAction::Kind kind, SessionActions& out) {
  finished_ = true;
  out.push_back({kind, {}});
}

}  // namespace zepho
