// The check cycle: when a check is due, how it starts, what ends it and what is
// done with its result. Driven by events (timer ticks, posted messages, socket
// events); timers, posting and message boxes belong to the shell behind CycleShell.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/program_messages.h"
#include "companion/companion_accounts.h"
#include "pop3/pop3_session.h"
#include "pop3/tls_client.h"
#include "settings/settings_file.h"

namespace zepho {

// Everything the cycle asks of the window system.
class CycleShell {
 public:
  virtual ~CycleShell() = default;
  virtual void Post(ProgramMessage message, std::int32_t lparam = 0) = 0;
  virtual void SetCheckTimer(bool running) = 0;    // Timer1, 30 s
  virtual void SetTimeoutTimer(bool running) = 0;  // Timer2, 30 s
  virtual void SetTrayIcon(TrayMode mode) = 0;
  virtual void InfoBox(Notice notice) = 0;
  virtual bool ConfirmBox(Notice notice) = 0;  // true when OK was pressed
  virtual void PumpMessages() = 0;             // dispatch what waits in the queue
  virtual void ShowSettings() = 0;
  virtual void FindCompanion() = 0;
  virtual void PopUpCompanion() = 0;
  // The modal password prompt; on Enter it stores the password, saves the
  // settings and posts StartCheck.
  virtual void ShowPasswordPrompt() = 0;
  virtual void ClearPasswordBox() = 0;  // the settings window's password field
  // A TLS connection to `server` was refused or failed before the login.
  virtual void TlsFailureBox(const std::string& server, const TlsFailure& failure) = 0;
};

// The socket transport of one check.
class Connection {
 public:
  enum class OpenResult { Ok = 0, SocketFailed = 1, NoAddress = 2, ConnectFailed = 3 };
  virtual ~Connection() = default;
  virtual OpenResult Open(const std::string& host, std::int32_t port) = 0;
  virtual void Close() = 0;  // shutdown and close; harmless when closed
  virtual void Drop() = 0;   // close without shutdown, after a socket error
  virtual void Send(const std::string& bytes) = 0;
};

// Where the cycle gets the client's received ids and the check addresses, and
// where the log goes.
class CycleSources {
 public:
  virtual ~CycleSources() = default;
  virtual int LoadReceivedIdList(std::optional<ReceivedIdList>& list) = 0;
  virtual CheckList LoadCheckList() = 0;
  virtual void AppendLog(const std::string& text) = 0;
  // The check's last line is written: the log may be let go until the next one.
  virtual void CloseLog() = 0;
};

inline constexpr int kTimerIntervalMs = 30000;
inline constexpr std::int32_t kTimeoutTicks = 7;

class CheckCycle {
 public:
  // `tls` is the platform's TLS; without it a check that asks for TLS fails.
  CheckCycle(Settings& settings, CycleShell& shell, Connection& connection, CycleSources& sources,
             TlsPort* tls = nullptr)
      : settings_(settings), shell_(shell), connection_(connection), sources_(sources),
        tls_port_(tls) {}

  // Start-up with the settings loaded: the first check at once (or the
  // password first), or the settings window when server or account is missing.
  // Returns true when the program goes to the tray.
  bool BeginAtStartup();

  void Timer1Timer();
  void Timer2Timer();
  void StartCheck();
  void EndCheck();
  void ArmCheckTimer();
  void AskPassword();
  // Pause or resume from the tray menu; returns the new Paused value.
  std::int32_t K6mStopClick();
  // After the tray icon's left click brought the mail client up: the results
  // are cleared and the next check comes a full interval later.
  void RestartInterval();
  // The settings window was shown: no check is counted while it is up.
  void SettingsShown();

  // Socket events of the current connection.
  void OnConnected();
  void OnReceived(std::string_view bytes);
  void OnSocketError();

  void WriteLog(const std::string& text);

  std::int32_t CheckTicks = 0;
  std::int32_t Waiting = 1;
  std::int32_t Paused = 0;
  std::int32_t TimeoutTicks = 0;
  std::int32_t MatchFound() const { return session_.walk().MatchFound; }
  std::int32_t NewMailCount() const { return session_.walk().NewMailCount; }
  const std::optional<ReceivedIdList>& received_ids() const { return received_; }
  const Pop3Session& session() const { return session_; }

 private:
  void ClearResults();
  void Apply(const SessionActions& actions);
  // The TLS layer between the socket and the dialogue (Tls 1 and 2).
  void StartTls();
  void OnTlsReceived(std::string_view bytes);
  void SendLine(const std::string& line);
  void FailTls(TlsFailure failure);
  void RestartReplyTimer();
  // Closes the connection, with a close_notify first when TLS is up.
  void CloseConnection();
  // What only a running check needs: the received ids, the open log.
  void ReleaseCheckData();

  Settings& settings_;
  CycleShell& shell_;
  Connection& connection_;
  CycleSources& sources_;
  Pop3Session session_;
  // Present from construction; dropped at a check start when no list applies.
  // Its text is held only while a check runs.
  std::optional<ReceivedIdList> received_ = ReceivedIdList{};
  TlsPort* tls_port_;
  std::int32_t tls_mode_ = kTlsNone;  // of the running check
  std::optional<TlsClient> tls_;
};

}  // namespace zepho
