// The fixed texts of the windows, kept in one place.
#pragma once

#include "ui/settings_form.h"

namespace zepho::texts {

inline constexpr wchar_t kCaption[] = L"ZEPHO";
inline constexpr wchar_t kCannotWrite[] = L" に書き込めません";  // after the file's path
inline constexpr wchar_t kTabConnection[] = L"接続";
inline constexpr wchar_t kTabCheckAddress[] = L"チェックアドレス";
inline constexpr wchar_t kTabOther[] = L"その他";

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

// The one tooltip of the settings window, on the interval's label.
inline constexpr wchar_t kIntervalHint[] = L"分単位で設定";

}  // namespace zepho::texts
