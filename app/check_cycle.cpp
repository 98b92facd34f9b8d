#include "app/check_cycle.h"

namespace zepho {

bool CheckCycle::BeginAtStartup() {
  if (settings_.PopAddress.empty() || settings_.PopAcount.empty()) {
    shell_.Post(ProgramMessage::Tray, TRAY_SHOW_SETTINGS);
    return false;
  }
  shell_.SetCheckTimer(false);
  Waiting = 0;
  shell_.Post(settings_.Passwd.empty() ? ProgramMessage::AskPassword : ProgramMessage::StartCheck);
  shell_.SetTrayIcon(TrayMode::Add);
  return true;
}

void CheckCycle::ArmCheckTimer() {
  Waiting = 1;
  shell_.SetCheckTimer(true);
}

void CheckCycle::ClearResults() {
  session_.walk().MatchFound = 0;
  session_.walk().NewMailCount = 0;
}

void CheckCycle::Timer1Timer() {
  shell_.FindCompanion();
  ++CheckTicks;
  // PopTime is read at every tick; 0 or less makes every tick due. Widened so
  // that a huge value read from the file cannot overflow.
  if (static_cast<std::int64_t>(CheckTicks) < 2 * static_cast<std::int64_t>(settings_.PopTime))
    return;
  shell_.SetCheckTimer(false);
  Waiting = 0;
  if (Paused == 0) {
    shell_.Post(ProgramMessage::StartCheck);
  } else {
    ClearResults();
    shell_.Post(ProgramMessage::EndCheck);
  }
}

void CheckCycle::StartCheck() {
  ClearResults();
  if (sources_.LoadReceivedIdList(received_) == 0) received_.reset();
  received_text_.reset();
  if (received_) received_text_ = received_->WholeText();

  SessionConfig config;
  config.account = settings_.PopAcount;
  config.password = settings_.Passwd;
  config.apop = settings_.Apop;
  config.not_popup = settings_.NotPopup;
  config.received = received_text_ ? &*received_text_ : nullptr;
  config.load_check_list = [this] { return sources_.LoadCheckList(); };
  session_.Begin(std::move(config));

  const Connection::OpenResult r = connection_.Open(settings_.PopAddress, settings_.PopPort);
  if (r != Connection::OpenResult::Ok) {
    switch (r) {
      case Connection::OpenResult::SocketFailed: shell_.InfoBox(Notice::SocketCreateFailed); break;
      case Connection::OpenResult::NoAddress: shell_.InfoBox(Notice::AddressFailed); break;
      default: shell_.InfoBox(Notice::ConnectFailed); break;
    }
    shell_.Post(ProgramMessage::EndCheck);
    shell_.PumpMessages();  // EndCheck runs now
    shell_.ShowSettings();
    return;
  }
  shell_.SetTimeoutTimer(true);
  TimeoutTicks = 0;
}

void CheckCycle::Timer2Timer() {
  ++TimeoutTicks;
  if (TimeoutTicks < kTimeoutTicks) return;
  WriteLog("TIME OUT\r\n");
  shell_.SetTimeoutTimer(false);
  connection_.Close();
  shell_.Post(ProgramMessage::EndCheck);
}

void CheckCycle::EndCheck() {
  connection_.Close();
  shell_.SetTimeoutTimer(false);
  const WalkState& w = session_.walk();
  if (settings_.IconChange != 0) {
    if (w.MatchFound != 0)
      shell_.SetTrayIcon(TrayMode::Matched);
    else if (w.NewMailCount > 0 && settings_.AllIconChange == 1)
      shell_.SetTrayIcon(TrayMode::Other);
    else
      shell_.SetTrayIcon(TrayMode::Normal);
  } else if (w.MatchFound != 0) {
    if (settings_.PopUpSetting != 0) {
      if (shell_.ConfirmBox(Notice::ConfirmStartCompanion)) shell_.PopUpCompanion();
    } else {
      shell_.PopUpCompanion();
    }
  } else if (settings_.AllIconChange == 1 && w.NewMailCount > 0) {
    shell_.SetTrayIcon(TrayMode::Other);
  }
  ClearResults();
  CheckTicks = 0;
  ArmCheckTimer();
}

void CheckCycle::AskPassword() {
  settings_.Passwd.clear();
  shell_.ShowPasswordPrompt();
  if (settings_.Passwd.empty()) {
    shell_.ClearPasswordBox();
    shell_.Post(ProgramMessage::Tray, TRAY_SHOW_SETTINGS);
  }
}

std::int32_t CheckCycle::K6mStopClick() {
  Paused = Paused == 1 ? 0 : 1;
  shell_.SetTrayIcon(TrayMode::Normal);
  return Paused;
}

void CheckCycle::RestartInterval() {
  ClearResults();
  CheckTicks = 0;
  shell_.SetTimeoutTimer(false);
  ArmCheckTimer();
}

void CheckCycle::SettingsShown() {
  shell_.SetCheckTimer(false);
  shell_.SetTimeoutTimer(false);
  CheckTicks = 0;
}

void CheckCycle::OnConnected() { session_.OnConnected(); }

void CheckCycle::OnReceived(std::string_view bytes) { Apply(session_.OnReceived(bytes)); }

void CheckCycle::OnSocketError() {
  connection_.Drop();
  shell_.SetTimeoutTimer(false);
  shell_.Post(ProgramMessage::EndCheck);
}

void CheckCycle::WriteLog(const std::string& text) {
  if (settings_.LOG != 0) sources_.AppendLog(text);
}

void CheckCycle::Apply(const SessionActions& actions) {
  for (const SessionAction& a : actions) {
    switch (a.kind) {
      case SessionAction::Kind::Send: connection_.Send(a.text); break;
      case SessionAction::Kind::Log: WriteLog(a.text); break;
      case SessionAction::Kind::StartReplyTimer:
        TimeoutTicks = 0;
        shell_.SetTimeoutTimer(true);
        break;
      case SessionAction::Kind::StopReplyTimer: shell_.SetTimeoutTimer(false); break;
      case SessionAction::Kind::End:
        connection_.Close();
        shell_.SetTimeoutTimer(false);
        shell_.Post(ProgramMessage::EndCheck);
        break;
      case SessionAction::Kind::LoginRejected:
        shell_.InfoBox(Notice::WrongPassword);
        connection_.Close();
        shell_.SetCheckTimer(false);
        settings_.Passwd.clear();
        AskPassword();
        break;
    }
  }
}

}  // namespace zepho
