// The texts the program shows beside its windows: the tray menu and the
// message boxes of the check cycle.
#pragma once

#include <string>

#include "app/program_messages.h"
#include "net/tls_certificate.h"
#include "ui/texts.h"
#include "winlib/text.h"

namespace zepho::texts {

// The tray menu and its submenu.
inline constexpr wchar_t kMenuVersion[] = L"バージョン情報";
inline constexpr wchar_t kMenuSettings[] = L"設定";
inline constexpr wchar_t kMenuCorvel[] = L"Corvel操作";
inline constexpr wchar_t kMenuToTray[] = L"TaskTrayへ";
inline constexpr wchar_t kMenuIconize[] = L"アイコン化";
inline constexpr wchar_t kMenuPopUp[] = L"ポップアップ";
inline constexpr wchar_t kMenuReceive[] = L"メールの受信";
inline constexpr wchar_t kMenuCheckNow[] = L"今すぐチェック";
inline constexpr wchar_t kMenuResults[] = L"チェック結果";
inline constexpr wchar_t kPauseCheck[] = L"メールチェック休止";
inline constexpr wchar_t kResumeCheck[] = L"メールチェック再開";
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
