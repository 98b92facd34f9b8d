// The fixed texts of the results window and of the balloon, in UTF-16: the
// portable model builds its lines from them, the window shows them through the
// wide API.
#pragma once

namespace zepho::results_texts {

inline constexpr char16_t kCaption[] = u"ZEPHO - チェック結果";
inline constexpr const char16_t* kColumns[] = {u"No.", u"状態", u"条件", u"差出人", u"件名", u"日付"};
inline constexpr int kColumnWidths[] = {44, 76, 160, 220, 220, 200};  // pixels

inline constexpr char16_t kNewNotable[] = u"新着・通知";
inline constexpr char16_t kNew[] = u"新着";
inline constexpr char16_t kReceived[] = u"受信済み";

inline constexpr char16_t kLastCheck[] = u"最終チェック: ";
inline constexpr char16_t kNotChecked[] = u"まだチェックしていません";
inline constexpr char16_t kNoNewMail[] = u"新着メールはありません";
// "新着 2通（通知 1通）"
inline constexpr char16_t kNewMailBefore[] = u"新着 ";
inline constexpr char16_t kNotableBefore[] = u"通（通知 ";
inline constexpr char16_t kNotableAfter[] = u"通）";
// The list holds the newest messages only: "（一覧は新しいほうから 1000通）"
inline constexpr char16_t kListedBefore[] = u"（一覧は新しいほうから ";
inline constexpr char16_t kListedAfter[] = u"通）";

inline constexpr char16_t kNoConnection[] = u"サーバーに接続できませんでした";
inline constexpr char16_t kConnectionLost[] = u"サーバーとの接続が切れました";
inline constexpr char16_t kTimedOut[] = u"サーバーの応答がありませんでした（タイムアウト）";
inline constexpr char16_t kPasswordRefused[] = u"パスワードが拒否されました";
inline constexpr char16_t kTlsFailed[] = u"TLS接続に失敗しました";
inline constexpr char16_t kServerError[] = u"サーバーがエラーを返しました";

inline constexpr char16_t kBalloonTitle[] = u"新着メール";
inline constexpr char16_t kBalloonBetween[] = u" — ";  // sender — subject
// "ほか 2通"
inline constexpr char16_t kMoreBefore[] = u"ほか ";
inline constexpr char16_t kMoreAfter[] = u"通";

}  // namespace zepho::results_texts
