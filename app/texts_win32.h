// The program's fixed user-interface texts, kept in one place.
#pragma once

#include <string>

#include "app/program_messages.h"

namespace zepho::texts {

inline constexpr wchar_t kCaption[] = L"ZEPHO";
inline constexpr wchar_t kSettingsCaption[] = L"ZEPHO設定";
inline constexpr wchar_t kCannotWrite[] = L" に書き込めません";  // after the file's path
inline constexpr wchar_t kTabConnection[] = L"接続";
inline constexpr wchar_t kTabCheckAddress[] = L"チェックアドレス";
inline constexpr wchar_t kTabOther[] = L"その他";
inline constexpr wchar_t kPauseCheck[] = L"メールチェック休止";
inline constexpr wchar_t kResumeCheck[] = L"メールチェック再開";

// The tray menu and its submenu.
inline constexpr wchar_t kMenuVersion[] = L"バージョン情報";
inline constexpr wchar_t kMenuSettings[] = L"設定";
inline constexpr wchar_t kMenuCorvel[] = L"Corvel操作";
inline constexpr wchar_t kMenuToTray[] = L"TaskTrayへ";
inline constexpr wchar_t kMenuIconize[] = L"アイコン化";
inline constexpr wchar_t kMenuPopUp[] = L"ポップアップ";
inline constexpr wchar_t kMenuReceive[] = L"メールの受信";
inline constexpr wchar_t kMenuQuit[] = L"ZEPHO終了";

inline const wchar_t* NoticeText(Notice n) {
  switch (n) {
    case Notice::SocketInitFailed: return L"SOCKETの初期化に失敗しました";
    case Notice::SocketCreateFailed: return L"SOCKET作成に失敗しました";
    case Notice::AddressFailed: return L"IP ADDRESSの取得に失敗しました";
    case Notice::ConnectFailed: return L"CONNECTに失敗しました";
    case Notice::WrongPassword: return L"パスワードが違います";
    case Notice::ConfirmStartCompanion: return L"メールが届いています Corvel32を起動しますか？";
  }
  return L"";
}

}  // namespace zepho::texts
