// The program's fixed user-interface texts, kept in one place.
#pragma once

#include <string>

#include "app/program_messages.h"
#include "pop3/tls_certificate.h"
#include "winlib/text.h"
#include "resources/resource.h"
#include "settings/settings_form.h"

namespace zepho::texts {

inline constexpr wchar_t kCaption[] = L"ZEPHO";
inline constexpr wchar_t kSettingsCaption[] = L"ZEPHO設定";
inline constexpr wchar_t kCannotWrite[] = L" に書き込めません";  // after the file's path
inline constexpr wchar_t kTabConnection[] = L"接続";
inline constexpr wchar_t kTabCheckAddress[] = L"チェックアドレス";
inline constexpr wchar_t kTabOther[] = L"その他";
inline constexpr wchar_t kPauseCheck[] = L"メールチェック休止";
inline constexpr wchar_t kResumeCheck[] = L"メールチェック再開";

// The settings window's conversion error: the text, then this.
inline constexpr wchar_t kNotAnInteger[] = L"' は整数ではありません";  // after "'" and the text

// Check-address list columns.
inline constexpr wchar_t kColumnHeader[] = L"ヘッダ";
inline constexpr wchar_t kColumnAddress[] = L"チェックアドレス";

// The connection's security, in the order of the stored values (NETWORK/Tls).
inline constexpr const wchar_t* kTlsChoices[] = {L"なし", L"STLSを使う", L"SSL/TLS（POP3S）"};

// The editor's header choices.
inline constexpr const wchar_t* kHeaderChoices[] = {L"From:", L"To:", L"Cc:", L"Reply-To:",
                                                    L"X-ML-Name:"};

// A password whose stored form would not read back (more than 43 bytes).
inline constexpr wchar_t kPasswordTooLong[] =
    L"パスワードが長すぎます。半角43文字（全角21文字）以内で入力して下さい";

inline const wchar_t* FormMessageText(FormMessage m) {
  switch (m) {
    case FormMessage::NoPopAddress: return L"POPアドレスを入力して下さい";
    case FormMessage::NoPopPort: return L"POPポートを入力して下さい";
    case FormMessage::NoPopAccount: return L"POPアカウントを入力して下さい";
    case FormMessage::NoPopTime: return L"到着時間を入力して下さい";
    case FormMessage::PasswordTooLong: return kPasswordTooLong;
    case FormMessage::NoHeader: return L"ヘッダを設定して下さい";
    case FormMessage::NoAddress: return L"チェックアドレスを設定して下さい";
  }
  return L"";
}

// The hints of the settings window's controls, by control number. Only the
// ones marked shown appear as tooltips; the others are switched off.
struct Hint {
  int control;
  const wchar_t* text;
  bool shown;
};
inline constexpr Hint kHints[] = {
    {IDC_OKBUTTON, L"設定を保存後メールチェック", false},
    {IDC_CANBUTTON, L"設定を保存しないでメールチェック", false},
    {IDC_VERBTN, L"バージョン情報", false},
    {IDC_ZEPHOENDBTN, L"ZEPHOを終了", false},
    {IDC_POPADRESS, L"POPサーバの名前/IPアドレスを入力", false},
    {IDC_POPPORT, L"POPサーバのポートを入力", false},
    {IDC_POPACOUNT, L"Login Nameを入力", false},
    {IDC_PASSEDIT, L"パスワードを記述しなければ起動時にパスワードを要求します", false},
    {IDC_LABEL4, L"分単位で設定", true},
    {IDC_POPTIME, L"分単位で設定", false},
    {IDC_COMBOTLS, L"POPサーバとの通信の暗号化", false},
    {IDC_CHECKBOX2, L"指定した条件以外で到着通知", false},
    {IDC_LISTVIEW1, L"チェックするアドレス", false},
    {IDC_CHKNEWBUTTON, L"新規チェックアドレスを作成", false},
    {IDC_CHKMODBUTTON, L"選択されているチェックアドレス編集", false},
    {IDC_CHKDELBUTTON, L"選択されているチェックアドレスを削除", false},
    {IDC_COMBOACCOUNT, L"UIDL取得時のアカウント", false},
    {IDC_ACCOUNTRELOAD, L"カウント情報を再読み込み(パスワードはクリアされる)", false},
};

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

inline const wchar_t* TlsReasonText(TlsFailure::Reason r) {
  using R = TlsFailure::Reason;
  switch (r) {
    case R::StlsRefused: return L"サーバーがSTLSを受け付けませんでした";
    case R::StlsInjected: return L"STLSの応答のあとに暗号化されていないデータが届きました";
    case R::Unavailable: return L"このシステムではTLSを使えません";
    case R::HandshakeFailed: return L"TLSのハンドシェイクに失敗しました";
    case R::Protocol: return L"TLSの通信に異常がありました";
    case R::CertUntrusted: return L"サーバーの証明書は信頼されていません";
    case R::CertExpired: return L"サーバーの証明書は有効期間外です";
    case R::CertNameMismatch: return L"サーバーの証明書は別の名前のものです";
    case R::CertWrongUsage: return L"サーバーの証明書はサーバー認証用ではありません";
    case R::CertRevoked: return L"サーバーの証明書は失効しています";
    case R::CertUnchecked: return L"サーバーの証明書を確認できませんでした";
  }
  return L"";
}

// "TLS接続に失敗しました", the server, the reason and, for a refused
// certificate, its fingerprint to compare and pin. `server` is in code page 932.
inline std::wstring TlsFailureText(const std::string& server, const TlsFailure& f) {
  std::wstring text = L"TLS接続に失敗しました\r\nサーバー: " + winlib::Wide932(server) +
                      L"\r\n" + TlsReasonText(f.reason);
  if (f.reason == TlsFailure::Reason::StlsRefused && !f.detail.empty())
    text += L"\r\n応答: " + winlib::Wide932(f.detail);
  if (!f.fingerprint.empty())
    text += L"\r\n証明書のSHA-256: " + winlib::Wide932(f.fingerprint);
  text += L"\r\nパスワードは送信していません";
  return text;
}

}  // namespace zepho::texts
