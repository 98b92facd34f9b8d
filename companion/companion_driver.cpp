#include "companion/companion_driver.h"

#include <algorithm>

#include "common/cp932.h"

namespace zepho {

using namespace companion;

std::int32_t EffectiveRecvSleep(std::int32_t recv_sleep) {
  return std::clamp<std::int32_t>(recv_sleep, 0, kMaxRecvSleep);
}

// Marks a drive sequence as running; a second one, started from a message
// handled during the first one's waits, is refused.
class CompanionDriver::Sequence {
 public:
  explicit Sequence(CompanionDriver& d) : d_(d), entered_(!d.busy_ && !d.cancelled_) {
    if (entered_) d_.busy_ = true;
  }
  ~Sequence() {
    if (entered_) d_.busy_ = false;
  }
  Sequence(const Sequence&) = delete;
  Sequence& operator=(const Sequence&) = delete;
  explicit operator bool() const { return entered_; }

 private:
  CompanionDriver& d_;
  bool entered_;
};

void CompanionDriver::FindCompanion() {
  CompanionFound = 0;
  CompanionWindow = 0;
  ws_.EnumerateWindows([this](WindowId w) { return !MatchCompanionWindow(w); });
}

bool CompanionDriver::MatchCompanionWindow(WindowId w) {
  if (!OccursIn(kMainTitlePart, ws_.WindowTitle(w, kTextBuffer))) return false;
  if (!OccursIn(kMainClassPart, ws_.ClassName(w, kTextBuffer))) return false;
  CompanionWindow = w;
  CompanionFound = 1;
  return true;
}

bool CompanionDriver::Send(WindowId w, std::uint32_t message, std::uintptr_t wparam,
                           std::intptr_t lparam) {
  if (cancelled_) return false;
  return ws_.Send(w, message, wparam, lparam, bounds_.send_ms);
}

bool CompanionDriver::SendReceiveCommand() {
  if (CompanionFound != 1) return true;
  if (!Send(CompanionWindow, kWmCommand, kReceiveCommand, 0)) return false;
  if (!Send(CompanionWindow, kWmCommand, kReceiveCommand, 0)) return false;
  tray_normal_();
  return true;
}

void CompanionDriver::CompanionToTray() {
  Sequence seq(*this);
  if (!seq) return;
  if (CompanionFound == 1 && ws_.Visible(CompanionWindow))
    Send(CompanionWindow, kWmCommand, kToTrayCommand, 0);
}

bool CompanionDriver::RestoreCompanionFromTray() {
  const WindowId tray = ws_.FindByClass(kTrayWindowClass);
  if (!tray) return true;
  return Send(tray, kTrayNotifyMessage, kTrayNotifyIcon, kTrayNotifyDoubleClick);
}

bool CompanionDriver::RaiseCompanion() {
  if (CompanionFound != 1) return true;
  ws_.SetForeground(CompanionWindow);
  return Send(CompanionWindow, kWmSysCommand, kScRestore, 0);
}

void CompanionDriver::IconizeCompanion() {
  Sequence seq(*this);
  if (seq) RunIconize();
}

bool CompanionDriver::RunIconize() {
  if (CompanionFound != 1) return true;
  if (!ws_.Visible(CompanionWindow) && !RestoreCompanionFromTray()) return false;
  if (!WaitCompanionVisible()) return false;
  ws_.SetForeground(CompanionWindow);
  return Send(CompanionWindow, kWmSysCommand, kScMinimize, 0);
}

void CompanionDriver::K3Click() {
  Sequence seq(*this);
  if (!seq) return;
  if (ws_.Visible(CompanionWindow))
    RaiseCompanion();
  else
    RestoreCompanionFromTray();
}

void CompanionDriver::PopUpCompanion() {
  Sequence seq(*this);
  if (seq) RunPopUp();
}

bool CompanionDriver::RunPopUp() {
  const DriveOptions options = options_();
  const std::int32_t recv_sleep = EffectiveRecvSleep(options.RecvSleep);
  const bool sort = options.RecvDo == 1;
  // 1-3. Find the client, give it a moment, and give up when it is not running.
  if (CompanionFound != 1) FindCompanion();
  ws_.Sleep(static_cast<std::uint32_t>(recv_sleep) * 500);
  ws_.Pump();
  if (cancelled_ || CompanionFound == 0) return false;
  // 4-5. Bring its window up.
  if (ws_.Visible(CompanionWindow)) {
    if (!RaiseCompanion()) return false;
    if (sort) ws_.Sleep(500);
  } else if (!RestoreCompanionFromTray()) {
    return false;
  }
  if (!WaitCompanionVisible()) return false;
  // 6. The inbox, chosen through the client's first menu.
  if (options.InboxMove == 1 && sort) {
    const WindowId w = CompanionWindow;
    // A client without that menu is not handed a null menu to prepare.
    if (const MenuId first = ws_.SubMenu(ws_.MenuBar(w), kInboxMenuPosition))
      if (!Send(w, kWmInitMenuPopup, first, 0)) return false;
    if (!Send(w, kWmCommand, kInboxCommand, 0)) return false;
    ws_.Sleep(100);
  }
  // 7-9. Receive.
  if (!SendReceiveCommand()) return false;
  ws_.Sleep(static_cast<std::uint32_t>(recv_sleep) * 1000);
  if (!sort) return true;
  // 10. While the client receives, its server item is greyed; tested every 500 ms.
  const std::uint32_t start = ws_.NowMs();
  for (;;) {
    if (!Pause(500)) return false;
    const WindowId w = CompanionWindow;
    if (!ws_.Exists(w)) return false;
    const Grey grey = ServerItemGrey(w);
    if (grey == Grey::Failed) return false;
    if (grey == Grey::No) break;
    if (ws_.NowMs() - start >= bounds_.receiving_ms) return false;
  }
  // 11-12. Sort, then NOZARI.
  if (!Send(CompanionWindow, kWmCommand, kSortCommand, 0)) return false;
  return NotifyNozari(options);
}

std::int32_t CompanionDriver::IsServerItemGrayed(WindowId w) {
  return ServerItemGrey(w) == Grey::Yes ? 1 : 0;
}

CompanionDriver::Grey CompanionDriver::ServerItemGrey(WindowId w) {
  const MenuId bar = ws_.MenuBar(w);
  if (!bar) return Grey::No;
  const MenuId server = ws_.SubMenu(bar, kServerMenuPosition);
  if (!server) return Grey::No;  // no fourth menu: nothing to prepare or read
  if (!Send(w, kWmInitMenuPopup, server, 0)) return Grey::Failed;
  const int count = ws_.MenuItemCount(server);
  if (count == -1) return Grey::No;
  for (int i = 0; i < count; ++i) {
    const std::string text = ws_.MenuText(server, i, kMenuTextBuffer);
    if (!OccursIn(kConnectItem, text) && !OccursIn(kDisconnectItem, text)) continue;
    const std::uint32_t state = ws_.MenuState(server, i);
    // 0xFFFFFFFF says the item went away meanwhile; it is not a grey item.
    return state != 0xFFFFFFFFu && (state & kMfGrayed) ? Grey::Yes : Grey::No;
  }
  return Grey::No;
}

bool CompanionDriver::NotifyNozari(const DriveOptions& options) {
  if (options.RetrySearchToNozari != 1) return true;
  const WindowId nozari = ws_.FindByClass(kNozariClass);
  if (!nozari) return true;
  ws_.Sleep(500);
  const bool sorted = WaitUntil([this] { return ws_.FindByTitle(kSortingTitle) == 0; },
                                [this, nozari] { return !ws_.Exists(nozari); },
                                bounds_.sorting_ms);
  if (!sorted) return false;
  return Send(nozari, kWmCommand, kNozariCommand, 0);
}

bool CompanionDriver::WaitCompanionVisible() {
  // CompanionWindow is read at every test: a timer tick during the wait may search again.
  return WaitUntil([this] { return ws_.Visible(CompanionWindow); },
                   [this] { return !ws_.Exists(CompanionWindow); }, bounds_.visible_ms);
}

bool CompanionDriver::WaitUntil(const std::function<bool()>& reached,
                                const std::function<bool()>& gone, std::uint32_t bound_ms) {
  const std::uint32_t start = ws_.NowMs();
  for (;;) {
    if (cancelled_) return false;
    if (reached()) return true;
    if (gone()) return false;
    const std::uint32_t elapsed = ws_.NowMs() - start;
    if (elapsed >= bound_ms) return false;
    ws_.WaitForMessage(std::min(bounds_.poll_ms, bound_ms - elapsed));
    ws_.Pump();
  }
}

bool CompanionDriver::Pause(std::uint32_t ms) {
  const std::uint32_t start = ws_.NowMs();
  for (;;) {
    ws_.Pump();
    if (cancelled_) return false;
    const std::uint32_t elapsed = ws_.NowMs() - start;
    if (elapsed >= ms) return true;
    ws_.WaitForMessage(ms - elapsed);
  }
}

}  // namespace zepho
