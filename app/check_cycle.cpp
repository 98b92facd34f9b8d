#include "app/check_cycle.h"

#include "net/server_address.h"

namespace zepho {

namespace {

std::string OpenFailureLogLine(const OpenFailure& f) {
  using S = LookupOutcome::Status;
  std::string line;
  switch (f.kind) {
    case OpenFailure::Kind::NoAddress:
      line = "NO ADDRESS: ";
      switch (f.lookup) {
        case S::NoSuchName: line += "no such name"; break;
        case S::NoAnswer: line += "no answer from a name server"; break;
        case S::TimedOut: line += "look-up timed out"; break;
        default: line += "not a server name"; break;
      }
      break;
    case OpenFailure::Kind::SocketFailed: line = "CONNECT FAILED: no socket"; break;
    case OpenFailure::Kind::ConnectFailed: line = "CONNECT FAILED: refused on this machine"; break;
    case OpenFailure::Kind::Unreachable: line = "CONNECT FAILED"; break;
  }
  if (f.error != 0) line += " (" + std::to_string(f.error) + ")";
  return line + "\r\n";
}

}  // namespace

bool CheckCycle::BeginAtStartup() {
  outage_.Remember(sources_.LoadKnownServer());
  if (settings_.PopAddress.empty() || settings_.PopAcount.empty()) {
    shell_.Post(ProgramMessage::Tray, TRAY_SHOW_SETTINGS);
    return false;
  }
  timers_.SetCheckTimer(false);
  phase_ = CheckPhase::Due;
  shell_.Post(settings_.Passwd.empty() ? ProgramMessage::AskPassword : ProgramMessage::StartCheck);
  SetTrayIcon(TrayMode::Add);
  return true;
}

void CheckCycle::ArmCheckTimer() {
  phase_ = CheckPhase::Waiting;
  timers_.SetCheckTimer(true);
}

void CheckCycle::SetTrayIcon(TrayMode mode) { tray_.SetTrayIcon(mode, paused_); }

void CheckCycle::ClearResults() {
  session_.walk().MatchFound = 0;
  session_.walk().NewMailCount = 0;
}

void CheckCycle::Timer1Timer() {
  shell_.FindCompanion();
  if (phase_ != CheckPhase::Waiting) return;  // stale: a check is due or runs
  ++CheckTicks;
  // Both messages of one wake-up have come by now.
  resumed_ = false;
  // PopTime is read at every tick; while offline the retries come sooner.
  if (!check_soon_ && CheckTicks < outage_.DueTicks(settings_.PopTime)) return;
  check_soon_ = false;
  timers_.SetCheckTimer(false);
  if (!paused_) {
    phase_ = CheckPhase::Due;
    shell_.Post(ProgramMessage::StartCheck);
  } else {
    ClearResults();
    PostEndCheck();
  }
}

void CheckCycle::StartCheck() {
  // An empty PASS could only be refused by the server: ask for the password
  // instead (a typed one starts the check again).
  if (settings_.Passwd.empty()) {
    AskPassword();
    return;
  }
  phase_ = CheckPhase::Running;
  check_soon_ = false;  // whatever wished for a check, this is it
  quiet_end_ = false;
  EndingOnFailure([&] {
    reporting_ = true;
    failure_.reset();
    examined_.Clear();
    ClearResults();
    if (sources_.LoadReceivedIdList(received_) == 0) received_.reset();

    SessionConfig config;
    config.account = settings_.PopAcount;
    config.password = settings_.Passwd;
    config.apop = settings_.Apop;
    config.not_popup = settings_.NotPopup;
    tls_mode_ = settings_.Tls;
    tls_.reset();
    config.stls = tls_mode_ == kTlsStls;
    config.received = received_ ? &received_->text : nullptr;
    config.load_check_list = [this] { return sources_.LoadCheckList(); };
    config.examined = &examined_;
    session_.Begin(std::move(config));

    if (const std::optional<OpenFailure> failed =
            connection_.Open(settings_.PopAddress, settings_.PopPort)) {
      OpenFailed(*failed);
      return;
    }
    // The greeting (or the handshake) is awaited from now: the look-up and the
    // connect attempts count towards its time.
    RestartReplyTimer();
    timers_.SetCheckBoundTimer(true);
  });
}

template <typename F>
void CheckCycle::EndingOnFailure(F&& step) {
  try {
    step();
  } catch (...) {
    // Whatever failed (no memory for a huge list, say), the check ends here
    // and the next one comes; the caller shows the error.
    if (phase_ != CheckPhase::Waiting) {
      // The report of the last check that ended stays.
      reporting_ = false;
      examined_.Clear();
      if (tls_) tls_->Close();
      connection_.Drop();
      timers_.SetTimeoutTimer(false);
      timers_.SetCheckBoundTimer(false);
      ClearResults();
      CheckTicks = 0;
      try {
        ReleaseCheckData();
      } catch (...) {
      }
      ArmCheckTimer();
    }
    throw;
  }
}

void CheckCycle::OnOpenFailed(const OpenFailure& failure) {
  if (phase_ != CheckPhase::Running) return;
  EndingOnFailure([&] { OpenFailed(failure); });
}

void CheckCycle::OpenFailed(const OpenFailure& failure) {
  WriteLog(OpenFailureLogLine(failure));
  Failed(CheckOutcome::NoConnection);
  connection_.Drop();
  timers_.SetTimeoutTimer(false);
  timers_.SetCheckBoundTimer(false);
  if (failure.resolved) KnowServer();
  if (IsOutage(failure)) {
    // The network (or its name server) is gone, which no setting mends: the
    // check ends quietly, and the next one comes soon.
    outage_.Failed();
    tray_.SetOffline(true);
    quiet_end_ = true;
    PostEndCheck();
    return;
  }
  outage_.Over();
  tray_.SetOffline(false);
  if (failure.kind == OpenFailure::Kind::Unreachable) {
    // The server refused or did not answer: it may be down for a while, which
    // no setting mends. The check ends quietly.
    PostEndCheck();
    return;
  }
  // Nothing more of this check comes while the box is up.
  phase_ = CheckPhase::Ending;
  switch (failure.kind) {
    case OpenFailure::Kind::SocketFailed: notices_.InfoBox(Notice::SocketCreateFailed); break;
    case OpenFailure::Kind::NoAddress: notices_.InfoBox(Notice::AddressFailed); break;
    default: notices_.InfoBox(Notice::ConnectFailed); break;
  }
  EndBeforeTheDialogue();
}

bool CheckCycle::IsOutage(const OpenFailure& failure) const {
  // A name that never resolved is taken for a typing error; the code of a
  // failed look-up tells nothing (a dead network may say "no such name").
  if (!outage_.Known(settings_.PopAddress)) return false;
  switch (failure.kind) {
    case OpenFailure::Kind::SocketFailed: return false;  // this machine's own trouble
    case OpenFailure::Kind::NoAddress: return failure.lookup != LookupOutcome::Status::NotStarted;
    case OpenFailure::Kind::ConnectFailed:
    case OpenFailure::Kind::Unreachable: return true;
  }
  return false;
}

void CheckCycle::KnowServer() {
  if (outage_.Known(settings_.PopAddress)) return;
  outage_.Remember(settings_.PopAddress);
  sources_.SaveKnownServer(settings_.PopAddress);
}

void CheckCycle::Resumed() {
  if (resumed_) return;
  resumed_ = true;
  outage_.Restart();
  CheckSoon();
}

void CheckCycle::Suspending() {
  resumed_ = false;
  if (phase_ != CheckPhase::Running) return;
  EndingOnFailure([&] {
    // Its connection would not live through the sleep; the wake-up brings the next check.
    WriteLog("SUSPEND\r\n");
    Failed(CheckOutcome::ConnectionLost);
    timers_.SetTimeoutTimer(false);
    timers_.SetCheckBoundTimer(false);
    quiet_end_ = true;
    CloseConnection();
    PostEndCheck();
  });
}

void CheckCycle::NetworkChanged() {
  if (outage_.offline()) CheckSoon();
}

void CheckCycle::CheckSoon() {
  if (paused_ || closing_) return;
  if (phase_ == CheckPhase::Due || phase_ == CheckPhase::Running) return;
  if (phase_ == CheckPhase::Waiting && !settings_up_ && !prompt_up_) {
    timers_.SetCheckTimer(false);
    phase_ = CheckPhase::Due;
    shell_.Post(ProgramMessage::StartCheck);
    return;
  }
  check_soon_ = true;
}

void CheckCycle::EndBeforeTheDialogue() {
  EndCheck();
  shell_.ShowSettings();
}

void CheckCycle::PostEndCheck() {
  phase_ = CheckPhase::Ending;
  shell_.Post(ProgramMessage::EndCheck);
}

void CheckCycle::Timer2Timer() {
  ++TimeoutTicks;
  if (TimeoutTicks < kTimeoutTicks) return;
  TimeOut();
}

void CheckCycle::CheckBoundTimer() {
  timers_.SetCheckBoundTimer(false);
  if (phase_ == CheckPhase::Running) TimeOut();
}

void CheckCycle::TimeOut() {
  Failed(CheckOutcome::TimedOut);
  EndingOnFailure([&] {
    WriteLog("TIME OUT\r\n");
    timers_.SetTimeoutTimer(false);
    CloseConnection();
    PostEndCheck();
  });
}

void CheckCycle::EndCheck() {
  // Whatever happens on the way (a box, the mail client, a failure), the
  // cycle is armed again at the end.
  struct Rearm {
    CheckCycle& cycle;
    ~Rearm() {
      cycle.ClearResults();
      cycle.CheckTicks = 0;
      cycle.ArmCheckTimer();
    }
  } rearm{*this};
  timers_.SetTimeoutTimer(false);
  timers_.SetCheckBoundTimer(false);
  try {
    CloseConnection();
  } catch (...) {
    connection_.Drop();
    throw;
  }
  ReleaseCheckData();
  if (reporting_) FinishReport();
  if (quiet_end_) {
    quiet_end_ = false;
    return;
  }
  const WalkState& w = session_.walk();
  if (settings_.IconChange != 0) {
    if (w.MatchFound != 0)
      ShowNewMail(TrayMode::Matched);
    else if (w.NewMailCount > 0 && settings_.AllIconChange == 1)
      ShowNewMail(TrayMode::Other);
    else
      SetTrayIcon(TrayMode::Normal);
  } else if (w.MatchFound != 0) {
    if (settings_.PopUpSetting != 0) {
      if (notices_.ConfirmBox(Notice::ConfirmStartCompanion)) shell_.PopUpCompanion();
    } else {
      shell_.PopUpCompanion();
    }
  } else if (settings_.AllIconChange == 1 && w.NewMailCount > 0) {
    ShowNewMail(TrayMode::Other);
  }
}

void CheckCycle::ShowNewMail(TrayMode mode) {
  SetTrayIcon(mode);
  if (settings_.Balloon == 1) tray_.ShowBalloon(NewMailBalloon(report_));
}

void CheckCycle::Failed(CheckOutcome outcome) {
  if (reporting_ && !failure_) failure_ = outcome;
}

void CheckCycle::FinishReport() {
  reporting_ = false;
  const WalkState& w = session_.walk();
  report_.checked = true;
  report_.ended = shell_.LocalTimeNow();
  report_.outcome = failure_ ? *failure_
                    : session_.walk_ended() ? CheckOutcome::Done
                                            : CheckOutcome::ServerError;
  report_.new_count = w.NewMailCount;
  report_.notable_count = w.MatchFound;
  report_.examined = std::move(examined_);
  examined_.Clear();
  shell_.CheckReported();
}

void CheckCycle::AskPassword() {
  struct PromptUp {
    bool& up;
    explicit PromptUp(bool& u) : up(u) { up = true; }
    ~PromptUp() { up = false; }
  } prompt_up{prompt_up_};
  settings_.Passwd.clear();
  // On Enter the password is kept and saved, and a check starts; a settings
  // file that cannot be written is reported and the password used for this run.
  if (const std::optional<std::string> typed = shell_.ShowPasswordPrompt()) {
    settings_.Passwd = *typed;
    try {
      sources_.SaveSettings();
    } catch (const SettingsWriteError& e) {
      notices_.WriteErrorBox(e);
    }
    shell_.Post(ProgramMessage::StartCheck);
  }
  if (settings_.Passwd.empty()) {
    shell_.ClearPasswordBox();
    shell_.Post(ProgramMessage::Tray, TRAY_SHOW_SETTINGS);
  }
}

void CheckCycle::OnAskPasswordMessage() {
  if (settings_.Passwd.empty()) AskPassword();
}

void CheckCycle::CheckNow() {
  if (phase_ != CheckPhase::Waiting) return;
  timers_.SetCheckTimer(false);
  phase_ = CheckPhase::Due;
  shell_.Post(ProgramMessage::StartCheck);
}

std::int32_t CheckCycle::K6mStopClick() {
  paused_ = !paused_;
  SetTrayIcon(TrayMode::Normal);
  return Paused();
}

void CheckCycle::TrayLeftClick() {
  if (phase_ != CheckPhase::Waiting || shell_.CompanionBusy()) return;
  timers_.SetCheckTimer(false);
  shell_.PumpMessages();
  shell_.PopUpCompanion(/*search_again=*/true);
  // A due tick already queued when the timer stopped may have started a check
  // meanwhile: its end arms the timer, not this click.
  if (!closing_ && phase_ == CheckPhase::Waiting) RestartInterval();
}

void CheckCycle::RestartInterval() {
  ClearResults();
  CheckTicks = 0;
  timers_.SetTimeoutTimer(false);
  ArmCheckTimer();
}

void CheckCycle::SettingsShown() {
  settings_up_ = true;
  timers_.SetCheckTimer(false);
  timers_.SetTimeoutTimer(false);
  timers_.SetCheckBoundTimer(false);
  CheckTicks = 0;
}

bool CheckCycle::MenuChoiceStands(bool enabled_when_opened) const {
  return enabled_when_opened && phase_ == CheckPhase::Waiting;
}

void CheckCycle::SettingsAccepted() {
  settings_up_ = false;
  if (settings_.Passwd.empty())
    shell_.Post(ProgramMessage::AskPassword);
  else
    ArmCheckTimer();
}

void CheckCycle::SettingsCancelled() {
  settings_up_ = false;
  ArmCheckTimer();
}

void CheckCycle::OnConnected() {
  if (phase_ != CheckPhase::Running) return;
  EndingOnFailure([&] {
    KnowServer();
    outage_.Over();
    tray_.SetOffline(false);
    tray_.NoteServerReached();
    session_.OnConnected();
    if (tls_mode_ == kTlsImplicit) StartTls();
  });
}

void CheckCycle::OnReceived(std::string_view bytes) {
  if (phase_ != CheckPhase::Running) return;
  EndingOnFailure([&] {
    if (tls_mode_ == kTlsNone || (tls_mode_ == kTlsStls && !tls_)) {
      Apply(session_.OnReceived(bytes));
      return;
    }
    OnTlsReceived(bytes);
  });
}

void CheckCycle::StartTls() {
  if (!tls_port_) {
    FailTls({TlsFailure::Reason::Unavailable, "no TLS on this system", {}});
    return;
  }
  tls_.emplace(*tls_port_);
  // The handshake must be done within the reply's time from here, however
  // its records trickle.
  // A pin that is not a fingerprint pins nothing: the certificate is checked.
  const TlsClient::Output out = tls_->Start(TlsPeerOf(ParseServerAddress(settings_.PopAddress)),
                                            ParseFingerprint(settings_.TlsCertSha256));
  if (out.failure) {
    FailTls(*out.failure);
    return;
  }
  connection_.Send(out.send);
  RestartReplyTimer();  // the reply awaited is the server's handshake
}

void CheckCycle::OnTlsReceived(std::string_view bytes) {
  // Bytes after a failure, or before the handshake of an implicit connection
  // began, are nobody's.
  if (!tls_) return;
  const TlsClient::State state = tls_->state();
  if (state != TlsClient::State::Handshake && state != TlsClient::State::Verifying &&
      state != TlsClient::State::Open)
    return;
  ApplyTls(tls_->OnReceived(bytes));
}

void CheckCycle::OnCertificateChecked(CertVerdict verdict, const std::string& detail) {
  if (phase_ != CheckPhase::Running || !tls_ || tls_->state() != TlsClient::State::Verifying)
    return;
  EndingOnFailure([&] { ApplyTls(tls_->OnVerdict(verdict, detail)); });
}

void CheckCycle::ApplyTls(const TlsClient::Output& out) {
  // Every way on below sets the reply timer once: restarted for the handshake or
  // by the dialogue, stopped by a failure.
  if (!out.send.empty()) connection_.Send(out.send);
  if (out.failure) {
    FailTls(*out.failure);
    return;
  }
  if (out.established) {
    WriteLog(TlsEstablishedLogLine(*tls_));
    if (tls_mode_ == kTlsStls) {
      // After STLS the server speaks only when spoken to.
      if (!out.plain.empty()) {
        FailTls({TlsFailure::Reason::Protocol, "data before the first command", {}});
        return;
      }
      Apply(session_.OnTlsReady());
      return;
    }
  }
  // Bytes of a record not yet whole, of a handshake that goes on, or kept
  // while the certificate is checked, leave the deadline where it is.
  if (tls_->state() == TlsClient::State::Open && !out.plain.empty())
    Apply(session_.OnReceived(out.plain));
}

void CheckCycle::SendLine(const std::string& line) {
  if (tls_ && tls_->state() == TlsClient::State::Open) {
    const TlsClient::Output out = tls_->Encrypt(line);
    if (out.failure) {
      FailTls(*out.failure);
      return;
    }
    connection_.Send(out.send);
    return;
  }
  // Never a fall-back to plain text: with TLS asked for, only STLS itself goes
  // out in the clear.
  if (tls_mode_ == kTlsNone || (tls_mode_ == kTlsStls && !tls_ && line == "STLS\r\n"))
    connection_.Send(line);
}

void CheckCycle::FailTls(TlsFailure failure) {
  Failed(CheckOutcome::TlsFailed);
  WriteLog(TlsFailureLogLine(failure));
  CloseConnection();
  timers_.SetTimeoutTimer(false);
  // As after a connection that could not be made: say why, end the check, and
  // open the settings window, where the user can choose or pin.
  notices_.TlsFailureBox(settings_.PopAddress, failure);
  EndBeforeTheDialogue();
}

void CheckCycle::RestartReplyTimer() {
  TimeoutTicks = 0;
  timers_.SetTimeoutTimer(true);
}

void CheckCycle::CloseConnection() {
  if (tls_) {
    const std::string notify = tls_->Close();
    if (!notify.empty()) connection_.Send(notify);
  }
  connection_.Close();
}

void CheckCycle::OnSocketError() {
  if (phase_ != CheckPhase::Running) return;
  Failed(session_.state() == SessionState::Greeting ? CheckOutcome::NoConnection
                                                    : CheckOutcome::ConnectionLost);
  if (tls_) tls_->Close();
  connection_.Drop();
  timers_.SetTimeoutTimer(false);
  PostEndCheck();
}

void CheckCycle::OnClosed() {
  if (phase_ != CheckPhase::Running) return;
  // What came before the close has been handled: the dialogue cannot go on.
  EndingOnFailure([&] { WriteLog("CONNECTION CLOSED\r\n"); });
  OnSocketError();
}

void CheckCycle::WriteLog(const std::string& text) {
  if (settings_.LOG != 0) sources_.AppendLog(text);
}

void CheckCycle::ReleaseCheckData() {
  // The list is read afresh at every check start; a large one must not stay
  // resident between checks.
  if (received_) std::string().swap(received_->text);
  sources_.CloseLog();
}

void CheckCycle::Apply(const SessionActions& actions) {
  // Every arrival stops the reply timer, and most start it again for the next
  // command: only the last wish is carried out, with one call, since starting
  // the timer restarts its interval. It is carried out before anything that
  // lets other messages (a timer tick among them) be handled.
  enum class Wish { None, Stop, Start } timer = Wish::None;
  const auto set_timer = [&] {
    if (timer != Wish::None) timers_.SetTimeoutTimer(timer == Wish::Start);
    timer = Wish::None;
  };
  for (const SessionAction& a : actions) {
    switch (a.kind) {
      case SessionAction::Kind::Send: SendLine(a.text); break;
      case SessionAction::Kind::Log: WriteLog(a.text); break;
      case SessionAction::Kind::StartReplyTimer:
        TimeoutTicks = 0;
        timer = Wish::Start;
        break;
      case SessionAction::Kind::StopReplyTimer: timer = Wish::Stop; break;
      case SessionAction::Kind::StartTls:
        set_timer();
        StartTls();
        break;
      case SessionAction::Kind::StlsRefused: {
        set_timer();
        std::string reply = a.text.substr(0, a.text.find("\r\n"));
        FailTls({TlsFailure::Reason::StlsRefused, std::move(reply), {}});
        break;
      }
      case SessionAction::Kind::StlsInjected:
        set_timer();
        FailTls({TlsFailure::Reason::StlsInjected, {}, {}});
        break;
      case SessionAction::Kind::End:
        CloseConnection();
        timer = Wish::Stop;
        PostEndCheck();
        break;
      case SessionAction::Kind::LoginRejected:
        set_timer();
        timers_.SetCheckBoundTimer(false);
        ReleaseCheckData();
        // This check ends here: the prompt starts the next one.
        Failed(CheckOutcome::PasswordRefused);
        FinishReport();
        notices_.InfoBox(Notice::WrongPassword);
        CloseConnection();
        timers_.SetCheckTimer(false);
        // The check goes on through the prompt (a new check) or the settings window.
        phase_ = CheckPhase::Due;
        settings_.Passwd.clear();
        AskPassword();
        break;
    }
  }
  set_timer();
}

}  // namespace zepho
