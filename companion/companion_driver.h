// Operating the mail client Corvel32 and the unread-mail tool NOZARI from
// outside: finding their windows and sending them window messages.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "companion/window_system.h"

namespace zepho {

namespace companion {

// How the outside programs' windows are recognised (code page 932 bytes).
inline constexpr char kMainTitlePart[] = "Corvel";
inline constexpr char kMainClassPart[] = "Afx";
inline constexpr char kTrayWindowClass[] = "Corvel32Class";
inline constexpr char kNozariClass[] = "Tnozarimain";
// "メール振り分け": the client's sorting window.
inline constexpr char kSortingTitle[] = "\x83\x81\x81\x5B\x83\x8B\x90\x55\x82\xE8\x95\xAA\x82\xAF";
// "サーバに接続する" / "サーバから切断する": the server items of the client's fourth menu.
inline constexpr char kConnectItem[] =
    "\x83\x54\x81\x5B\x83\x6F\x82\xC9\x90\xDA\x91\xB1\x82\xB7\x82\xE9";
inline constexpr char kDisconnectItem[] =
    "\x83\x54\x81\x5B\x83\x6F\x82\xA9\x82\xE7\x90\xD8\x92\x66\x82\xB7\x82\xE9";
inline constexpr int kInboxMenuPosition = 0;
inline constexpr int kServerMenuPosition = 3;
inline constexpr std::size_t kTextBuffer = 255;      // window titles and class names
inline constexpr std::size_t kMenuTextBuffer = 256;  // menu item texts

// Window messages and their parameters.
inline constexpr std::uint32_t kWmCommand = 0x0111;
inline constexpr std::uint32_t kWmSysCommand = 0x0112;
inline constexpr std::uint32_t kWmInitMenuPopup = 0x0117;
inline constexpr std::uintptr_t kScMinimize = 0xF020;
inline constexpr std::uintptr_t kScRestore = 0xF120;
inline constexpr std::uint32_t kMfGrayed = 0x0001;

// The client's command numbers (WM_COMMAND wParam).
inline constexpr std::uintptr_t kReceiveCommand = 32835;  // 0x8043
inline constexpr std::uintptr_t kToTrayCommand = 32828;   // 0x803C
inline constexpr std::uintptr_t kInboxCommand = 11000;    // 0x2AF8
inline constexpr std::uintptr_t kSortCommand = 32825;     // 0x8039
// The client's tray icon notification: a double click on its icon number 1.
inline constexpr std::uint32_t kTrayNotifyMessage = 1247;  // WM_USER + 223
inline constexpr std::uintptr_t kTrayNotifyIcon = 1;
inline constexpr std::intptr_t kTrayNotifyDoubleClick = 515;  // WM_LBUTTONDBLCLK
// NOZARI's command (WM_COMMAND wParam).
inline constexpr std::uintptr_t kNozariCommand = 2;

}  // namespace companion

// Bounds of the waits, in milliseconds. Each wait tests its state, then waits
// for a message or `poll_ms`, whichever comes first; a wait that ends without
// its state (time up, window gone, program ending) ends the sequence.
struct DriveBounds {
  std::uint32_t send_ms = 5000;          // every message sent
  std::uint32_t visible_ms = 10000;      // the client's window to show
  std::uint32_t receiving_ms = 300000;   // the server item to turn enabled again
  std::uint32_t sorting_ms = 120000;     // the sorting window to close
  std::uint32_t poll_ms = 100;
};

// The settings a drive sequence follows, read afresh for each sequence.
struct DriveOptions {
  std::int32_t RecvDo = 0;               // 1: sort after receiving
  std::int32_t InboxMove = 0;            // 1 (with RecvDo): to the inbox first
  std::int32_t RetrySearchToNozari = 0;  // 1: hand over to NOZARI after sorting
  std::int32_t RecvSleep = 0;            // the pauses around the receive command
};

// RecvSleep counts half seconds before and seconds after the receive command;
// the sleeps block the program, so the value is taken within these bounds.
inline constexpr std::int32_t kMaxRecvSleep = 10;
std::int32_t EffectiveRecvSleep(std::int32_t recv_sleep);

class CompanionDriver {
 public:
  // `options` gives the settings of a sequence as they are when it starts;
  // `tray_normal` sets ZEPHO's tray icon to its normal picture.
  CompanionDriver(WindowSystem& ws, std::function<DriveOptions()> options,
                  std::function<void()> tray_normal, DriveBounds bounds = {})
      : ws_(ws), options_(std::move(options)), tray_normal_(std::move(tray_normal)),
        bounds_(bounds) {}

  // The client's main window as found by the last search.
  std::int32_t CompanionFound = 0;
  WindowId CompanionWindow = 0;

  void FindCompanion();
  // One window of the search; true when it is the client's main window (the search stops).
  bool MatchCompanionWindow(WindowId w);

  // The drive sequences. Only one runs at a time: while one runs (its waits
  // handle messages), a further call does nothing.
  void PopUpCompanion();    // receive (and, as configured, sort) mail
  void CompanionToTray();   // the client into its own tray
  void IconizeCompanion();  // show, then minimise
  void K3Click();           // pop up: raise, or restore from the tray
  bool Busy() const { return busy_; }

  // 1 when the client's server item is greyed (the client is receiving), else 0.
  std::int32_t IsServerItemGrayed(WindowId w);

  // The program is ending: a running sequence stops at its next step and sends nothing more.
  void Cancel() { cancelled_ = true; }

 private:
  enum class Grey { No, Yes, Failed };
  class Sequence;

  // Each step returns false when the sequence must end (a send not handled,
  // a wait that did not reach its state, the program ending).
  bool Send(WindowId w, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);
  bool SendReceiveCommand();
  bool RestoreCompanionFromTray();
  bool RaiseCompanion();
  bool NotifyNozari(const DriveOptions& options);
  bool WaitCompanionVisible();
  bool WaitUntil(const std::function<bool()>& reached, const std::function<bool()>& gone,
                 std::uint32_t bound_ms);
  bool Pause(std::uint32_t ms);
  Grey ServerItemGrey(WindowId w);
  bool RunPopUp();
  bool RunIconize();

  WindowSystem& ws_;
  std::function<DriveOptions()> options_;
  std::function<void()> tray_normal_;
  DriveBounds bounds_;
  bool busy_ = false;
  bool cancelled_ = false;
};

}  // namespace zepho
