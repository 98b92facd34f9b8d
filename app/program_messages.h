// The program's own window messages (posted to the hidden application window),
// the tray modes and the notices that the shell shows in message boxes.
#pragma once

#include <cstdint>

namespace zepho {

enum class ProgramMessage : std::uint32_t {
  Tray = 0x401,         // WM_USER + 1: the tray icon's mouse messages, TRAY_SHOW_SETTINGS
  AskPassword = 0x404,  // WM_USER + 4
  StartCheck = 0x406,   // WM_USER + 6
  EndCheck = 0x407,     // WM_USER + 7
  Socket = 0x408,       // WM_USER + 8: the socket's select events
  Lookup = 0x409,       // WM_USER + 9: a server name's look-up is over (wParam: its number)
  CertificateChecked = 0x40A,  // WM_USER + 10: the server certificate's check is over (wParam: its number)
  NetworkChanged = 0x40B,      // WM_USER + 11: the system has a new network address
};

inline constexpr std::int32_t TRAY_SHOW_SETTINGS = 1224;

enum class TrayMode : int { Remove = 0, Add = 1, Normal = 2, Matched = 3, Other = 4 };

// Fixed texts shown to the user; the shell holds their wording.
enum class Notice {
  SocketInitFailed,     // SOCKETの初期化に失敗しました
  SocketCreateFailed,   // SOCKET作成に失敗しました
  AddressFailed,        // IP ADDRESSの取得に失敗しました
  ConnectFailed,        // CONNECTに失敗しました
  WrongPassword,        // パスワードが違います
  ConfirmStartCompanion,  // メールが届いています Corvel32を起動しますか？
};

}  // namespace zepho
