// The check cycle: when a check is due, how it starts, what ends it and what is
// done with its result, and what the user's doings around it mean for it (the
// settings window's OK and Cancel, the password prompt, the tray icon's click).
// It is driven by events: timer ticks, the program's posted messages, the
// connection's events and the user's actions. Timers, posting, windows and
// message boxes belong to the shell behind the ports below.
//
// Re-entrance. Everything runs on one thread, but some calls into the shell
// let other messages be handled before they return: the message boxes and the
// password prompt (modal loops), PumpMessages, and the mail client's drive
// sequences (they wait for its windows). So a timer tick, a socket event or a
// posted message may be handled in the middle of a handler here. The rules:
// - One check at a time. The check timer is stopped from the due tick until
//   the check has ended and the cycle is armed again (EndCheck, the settings
//   window's OK or Cancel, the tray icon's click); while a check is due or
//   runs (Waiting() is 0) the tray menu is greyed and the click does nothing.
// - A check that has started ends once: the dialogue's end, a socket error,
//   the server's close, connects that were refused or went unanswered, and
//   the time-outs post EndCheck, which runs after the step that ended the
//   check; events of the connection after that are not the check's. A check
//   whose connection could not be opened otherwise (no socket, no address, a
//   connect refused on this machine) is ended at once after its box (EndCheck
//   is called, not posted), before the settings window is shown.
// - The connection opens without waiting (the name's look-up, the connect
//   attempts): its outcome comes later, as OnConnected or OnOpenFailed. An
//   outcome that comes after its check ended is dropped: closing the
//   connection lets its open go, and the events check the phase.
// - A failure anywhere in a check (an exception from a port) ends that check
//   and arms the cycle again before it goes on to the caller, which shows it.
// - Before a call that lets messages be handled, the reply timer is set as
//   the step wants it, and a rejected login lets go of the list and the log.
// - A check is started by the due tick or by the user's "check now", both only
//   while the cycle waits; a tick of the check timer that comes while a check
//   is due or runs (queued before the timer stopped) is stale and starts nothing.
// - The report of a check is made once, where the check ends (EndCheck, or
//   the rejected login that hands over to the prompt); the window and the
//   balloon read the last one made.
// - A check wished for before its time (the computer woke up, the network
//   came back) starts at once only where a due tick could start one: not
//   while paused, nor while the settings window or the password prompt is up;
//   a check that is due or runs already serves the wish; otherwise the wish
//   makes the first tick after the cycle is armed again due.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/mail_balloon.h"
#include "app/network_outage.h"
#include "app/program_messages.h"
#include "companion/companion_accounts.h"
#include "pop3/check_report.h"
#include "pop3/connection.h"
#include "pop3/pop3_session.h"
#include "net/tls_client.h"
#include "settings/check_list.h"
#include "settings/settings_file.h"

namespace zepho {

// The program around the cycle: its posted messages, its windows, the mail client.
class CycleShell {
 public:
  virtual ~CycleShell() = default;
  virtual void Post(ProgramMessage message, std::int32_t lparam = 0) = 0;
  virtual void PumpMessages() = 0;  // dispatch what waits in the queue
  virtual void ShowSettings() = 0;
  // The modal password prompt: the password typed (Enter), or nullopt (Escape).
  virtual std::optional<std::string> ShowPasswordPrompt() = 0;
  virtual void ClearPasswordBox() = 0;  // the settings window's password field
  virtual void FindCompanion() = 0;
  // Brings the mail client up and has it receive; `search_again` forgets the
  // window found by the last search first.
  virtual void PopUpCompanion(bool search_again = false) = 0;
  // A drive sequence of the mail client is under way (it handles messages).
  virtual bool CompanionBusy() = 0;
  // The local date and time now, for the report of a check that ends.
  virtual LocalTime LocalTimeNow() = 0;
  // A check ended and its report (CheckCycle::last_report) is new.
  virtual void CheckReported() = 0;
};

// The timers: Timer1 counts the interval and Timer2 the reply time-out, both
// ticking every 30 s; the check bound fires once, kCheckBoundMs after a
// connection attempt, and ends a check that is still running then.
class CycleTimers {
 public:
  virtual ~CycleTimers() = default;
  virtual void SetCheckTimer(bool running) = 0;
  virtual void SetTimeoutTimer(bool running) = 0;
  virtual void SetCheckBoundTimer(bool running) = 0;
};

class TrayIconView {
 public:
  virtual ~TrayIconView() = default;
  // The picture of a mode is the stop picture for Normal and Add while paused.
  virtual void SetTrayIcon(TrayMode mode, bool paused) = 0;
  // A balloon from the icon.
  virtual void ShowBalloon(const TrayBalloon& balloon) = 0;
  // The tip says whether the program is offline (a known server could not be
  // reached), and then when the server was last reached.
  virtual void SetOffline(bool offline) = 0;
  // The server was reached just now.
  virtual void NoteServerReached() = 0;
};

// What the user is told in message boxes.
class CycleNotices {
 public:
  virtual ~CycleNotices() = default;
  virtual void InfoBox(Notice notice) = 0;
  virtual bool ConfirmBox(Notice notice) = 0;  // true when OK was pressed
  // A TLS connection to `server` was refused or failed before the login.
  virtual void TlsFailureBox(const std::string& server, const TlsFailure& failure) = 0;
  virtual void WriteErrorBox(const SettingsWriteError& error) = 0;
};

// Where the cycle gets the client's received ids and the check addresses,
// where the log goes, and where the settings are saved.
class CycleSources {
 public:
  virtual ~CycleSources() = default;
  virtual int LoadReceivedIdList(std::optional<ReceivedIdList>& list) = 0;
  virtual CheckList LoadCheckList() = 0;
  virtual void AppendLog(const std::string& text) = 0;
  // The check's last line is written: the log may be let go until the next one.
  virtual void CloseLog() = 0;
  // Throws SettingsWriteError when the file cannot be written.
  virtual void SaveSettings() = 0;
  // The server known to exist from an earlier run ("" for none), and a new
  // one to keep; a file that cannot be written keeps it for this run only.
  virtual std::string LoadKnownServer() = 0;
  virtual void SaveKnownServer(const std::string& server) = 0;
};

struct CyclePorts {
  CycleShell& shell;
  CycleTimers& timers;
  TrayIconView& tray;
  CycleNotices& notices;
  Connection& connection;
  CycleSources& sources;
  // The platform's TLS; without it a check that asks for TLS fails.
  TlsPort* tls = nullptr;
};

inline constexpr int kTimerIntervalMs = 30000;
// A reply (the greeting from the connection attempt, any other from its
// command) must be complete within 7 ticks of 30 s, however its bytes trickle.
inline constexpr std::int32_t kTimeoutTicks = 7;
// However its replies come, a check ends 15 minutes after its connection
// attempt: far more than the longest walk of a large mailbox over a slow line.
inline constexpr int kCheckBoundMs = 15 * 60 * 1000;

// Where the cycle stands.
enum class CheckPhase {
  Waiting,  // between checks: the check timer counts, or a window stopped it
  Due,      // a check was asked for; it starts at StartCheck (or after the password)
  Running,  // the connection is open or being opened
  Ending,   // the check is over; EndCheck is on its way
};

class CheckCycle : public ConnectionEvents {
 public:
  CheckCycle(Settings& settings, CyclePorts ports)
      : settings_(settings), shell_(ports.shell), timers_(ports.timers), tray_(ports.tray),
        notices_(ports.notices), connection_(ports.connection), sources_(ports.sources),
        tls_port_(ports.tls) {}

  // Start-up with the settings loaded: the first check at once (or the
  // password first), or the settings window when server or account is missing.
  // Returns true when the program goes to the tray.
  bool BeginAtStartup();

  void Timer1Timer();
  void Timer2Timer();
  // The whole-check bound was reached.
  void CheckBoundTimer();
  void StartCheck();
  void EndCheck();
  void ArmCheckTimer();
  void AskPassword();
  // The program's message asking for the password: asked only when none is set.
  void OnAskPasswordMessage();
  // Pause or resume from the tray menu; returns the new Paused value.
  std::int32_t K6mStopClick();
  // "今すぐチェック": while the cycle waits, a check starts at once as at a due
  // tick; paused too (the user asked for this one), the pause staying on for
  // the due checks. The next interval counts from this check's end.
  void CheckNow();
  // Every top-level item of the tray menu is enabled exactly while this holds.
  bool MenuEnabled() const { return phase_ == CheckPhase::Waiting; }
  // The tray icon's left click: between checks, and when the mail client is
  // not being driven already, it brings the client up and counts a full
  // interval again.
  void TrayLeftClick();
  // The results are cleared and the next check comes a full interval later.
  void RestartInterval();
  // The settings window was shown: no check is counted while it is up.
  void SettingsShown();
  // The settings window's OK saved the settings and hid the window: the next
  // check a full interval later, or the password first when none is set.
  void SettingsAccepted();
  // Cancel or Escape hid it without saving.
  void SettingsCancelled();
  // A tray menu item, chosen in a menu opened with its items enabled or not,
  // is carried out only while that still holds: a check that fell due while
  // the menu was open (its loop handles the timers) voids the choice.
  bool MenuChoiceStands(bool enabled_when_opened) const;
  // The program is ending: nothing is armed again.
  void Closing() { closing_ = true; }
  // The computer woke up (Windows tells it twice: once counts): a check soon,
  // and should the network still be gone, the retries start again from the
  // shortest delay.
  void Resumed();
  // The computer is going to sleep: a check under way ends now, quietly.
  void Suspending();
  // The system reports a new network address: while offline, a check now.
  void NetworkChanged();
  bool offline() const { return outage_.offline(); }
  // Shows the tray icon in a mode, with the stop picture while paused.
  void SetTrayIcon(TrayMode mode);

  // ConnectionEvents: the events of the current connection.
  void OnConnected() override;
  void OnOpenFailed(const OpenFailure& failure) override;
  void OnReceived(std::string_view bytes) override;
  void OnSocketError() override;
  void OnClosed() override;

  // The verdict of the server certificate's check, which runs off the window
  // thread; a verdict that comes after its check ended is dropped.
  void OnCertificateChecked(CertVerdict verdict, const std::string& detail);

  void WriteLog(const std::string& text);

  CheckPhase phase() const { return phase_; }
  // 1 while the program waits between checks, 0 while a check is due or runs.
  std::int32_t Waiting() const { return phase_ == CheckPhase::Waiting ? 1 : 0; }
  std::int32_t Paused() const { return paused_ ? 1 : 0; }
  std::int32_t CheckTicks = 0;
  std::int32_t TimeoutTicks = 0;
  std::int32_t MatchFound() const { return session_.walk().MatchFound; }
  std::int32_t NewMailCount() const { return session_.walk().NewMailCount; }
  const std::optional<ReceivedIdList>& received_ids() const { return received_; }
  const Pop3Session& session() const { return session_; }
  // The report of the last check that ended (not checked before the first).
  const CheckReport& last_report() const { return report_; }

 private:
  void ClearResults();
  // Runs a step of a check; should it fail, the check ends there (the
  // connection dropped, the cycle armed again) and the failure goes on to the caller.
  template <typename F> void EndingOnFailure(F&& step);
  void TimeOut();
  void Apply(const SessionActions& actions);
  // The connection could not be opened: a box and the settings window for what
  // the user may mend, or a quiet end.
  void OpenFailed(const OpenFailure& failure);
  // The connection could not be made (or TLS could not be set up on it): the
  // check ends now and the settings window opens, where the user can mend it.
  void EndBeforeTheDialogue();
  // The TLS layer between the socket and the dialogue (Tls 1 and 2).
  void StartTls();
  void OnTlsReceived(std::string_view bytes);
  // Carries out what the TLS layer asks after an event.
  void ApplyTls(const TlsClient::Output& out);
  void SendLine(const std::string& line);
  void FailTls(TlsFailure failure);
  void RestartReplyTimer();
  // Closes the connection, with a close_notify first when TLS is up.
  void CloseConnection();
  // The check is over: EndCheck comes through the queue.
  void PostEndCheck();
  // A check wished for before its time (see the rules at the top).
  void CheckSoon();
  // The server setting was reached (or its name resolved): it is known.
  void KnowServer();
  // Whether a failed open of a known server is taken for a network outage.
  bool IsOutage(const OpenFailure& failure) const;
  // What only a running check needs: the received ids, the open log.
  void ReleaseCheckData();
  // The running check failed this way (the first failure is the one told).
  void Failed(CheckOutcome outcome);
  // The running check's report is made and told to the shell.
  void FinishReport();
  // The icon tells of new mail (RECVICON or OTHERICON), with the balloon if asked for.
  void ShowNewMail(TrayMode mode);

  Settings& settings_;
  CycleShell& shell_;
  CycleTimers& timers_;
  TrayIconView& tray_;
  CycleNotices& notices_;
  Connection& connection_;
  CycleSources& sources_;
  CheckPhase phase_ = CheckPhase::Waiting;
  bool paused_ = false;
  bool closing_ = false;
  NetworkOutage outage_;
  // The check ending shows no result (it learnt nothing: an outage, a sleep).
  bool quiet_end_ = false;
  // A check is wished for at the first tick of the check timer.
  bool check_soon_ = false;
  // A wake-up was told since the last sleep or tick.
  bool resumed_ = false;
  bool settings_up_ = false;  // the settings window is shown
  bool prompt_up_ = false;    // the password prompt is shown
  Pop3Session session_;
  // Present from construction; dropped at a check start when no list applies.
  // Its text is held only while a check runs.
  std::optional<ReceivedIdList> received_ = ReceivedIdList{};
  TlsPort* tls_port_;
  std::int32_t tls_mode_ = kTlsNone;  // of the running check
  std::optional<TlsClient> tls_;
  // The running check: whether it is to be reported, how it failed, what it examined.
  bool reporting_ = false;
  std::optional<CheckOutcome> failure_;
  ExaminedMessages examined_;
  CheckReport report_;
};

}  // namespace zepho
