// The POP3 dialogue of one check as a pure object: connection events and
// received bytes go in, actions come out (send this line, write this to the
// log, (re)start or stop the reply timer, end the check, login rejected).
// It never touches a socket, a clock or a file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "pop3/examined_messages.h"
#include "pop3/new_mail_detection.h"

namespace zepho {

// The command kinds; while a reply is awaited the state equals the kind of the
// last command sent.
enum class SessionState : std::int32_t {
  Greeting = 0, User = 1, Pass = 2, Stat = 3, Uidl = 4, Top = 5, Quit = 6, Apop = 7,
  Stls = 8,
  // Not a command: STLS was accepted and the TLS handshake runs below the dialogue.
  TlsHandshake = 9,
};

struct SessionAction {
  enum class Kind {
    Send,             // send `text` (a command line with its CR LF)
    Log,              // append `text` to the log (when logging is on); secrets masked
    StartReplyTimer,  // start the time-out timer afresh (ticks to 0)
    StopReplyTimer,   // stop the time-out timer
    End,              // close the connection, stop the time-out timer, end the check
    LoginRejected,    // the password was refused: tell the user, ask again
    StartTls,         // STLS accepted: run the TLS handshake, then call OnTlsReady
    StlsRefused,      // the server refused STLS (`text`: its reply): end, tell the user
    StlsInjected,     // bytes followed the STLS reply in the clear: end, tell the user
  };
  Kind kind;
  std::string text;
  bool operator==(const SessionAction&) const = default;
};
using SessionActions = std::vector<SessionAction>;

struct SessionConfig {
  std::string account;
  std::string password;
  std::int32_t apop = 0;       // 1 = APOP, anything else USER/PASS
  std::int32_t not_popup = 0;  // the NotPopup setting
  // Ask for TLS with STLS after the greeting; the login waits for the handshake.
  bool stls = false;
  // The client's received ids as one text (each line and CR LF), or null when
  // the client has no list; must outlive the dialogue.
  const std::string* received = nullptr;
  // Reads the check-address list when STAT reports messages.
  std::function<CheckList()> load_check_list;
  // Where each examined message is recorded, or null; must outlive the dialogue.
  ExaminedMessages* examined = nullptr;
};

// Bounds of what the dialogue accepts from the server and builds itself.
inline constexpr std::size_t kMaxReplyBytes = 1 << 20;     // one reply, gathered
inline constexpr std::size_t kMaxCommandLineBytes = 255;   // a command with its CR LF
inline constexpr std::size_t kMaxApopInputBytes = 1023;    // timestamp + password

class Pop3Session {
 public:
  // A new check: forget the previous dialogue and its results.
  void Begin(SessionConfig config);
  // The connection is made: the greeting is awaited.
  void OnConnected();
  // Bytes of one receive. While the reply stays incomplete nothing happens
  // (its deadline counts from its command); a complete one is handled at once.
  SessionActions OnReceived(std::string_view bytes);
  // The TLS handshake after STLS succeeded: the login goes on. Nothing happens
  // in any other state.
  SessionActions OnTlsReady();

  SessionState state() const { return state_; }
  bool finished() const { return finished_; }
  // The walk is over (QUIT was sent): the results are whole.
  bool walk_ended() const { return walk_ended_; }
  const std::string& buffer() const { return buffer_; }
  WalkState& walk() { return walk_; }
  const WalkState& walk() const { return walk_; }

 private:
  // The reply handlers, one per state; each returns after queueing its actions.
  void HandleReply(SessionActions& out);
  void OnGreeting(SessionActions& out);
  void OnStls(SessionActions& out);
  void Login(SessionActions& out);
  void OnUser(SessionActions& out);
  void OnLoginReply(SessionActions& out);
  void OnStat(SessionActions& out);
  void OnUidl(SessionActions& out);
  void OnTop(SessionActions& out);
  void OnQuit(SessionActions& out);
  void SendCommand(SessionState kind, SessionActions& out);
  void NextMessage(SessionActions& out);
  void EndQuietly(SessionActions& out);
  void Finish(SessionAction::Kind kind, SessionActions& out);
  void Log(SessionActions& out);
  // A command line as the log shows it.
  std::string LoggedCommand(SessionState kind, const std::string& line) const;
  void ClearBuffer();

  // The reply tests, each a search anywhere in the buffer.
  enum ReplyTest : std::size_t { kLineEnd, kPositive, kNegative, kFinalLine, kReplyTests };
  bool Has(ReplyTest test);

  SessionConfig config_;
  SessionState state_ = SessionState::Greeting;
  bool finished_ = true;
  bool walk_ended_ = false;
  std::string buffer_;
  std::string current_uid_;
  std::string apop_digest_;
  CheckList check_list_{};
  WalkState walk_;
  // Bytes of all arrivals since the last command: what bounds a reply that
  // never completes.
  std::size_t arrived_ = 0;
  // Set by HandleReply when the reply needs more bytes.
  bool incomplete_ = false;
  // The buffer only grows until it is cleared, so each test resumes where its
  // last miss ended instead of rescanning a long reply at every arrival.
  std::array<std::size_t, kReplyTests> searched_{};
  std::array<bool, kReplyTests> found_{};
};

// The bracketed APOP timestamp of a greeting, brackets included, or "" when the
// greeting holds none.
std::string ApopTimestamp(std::string_view greeting);

}  // namespace zepho
