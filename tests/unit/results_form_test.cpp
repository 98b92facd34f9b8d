#include "ui/results_form.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unit/text_encoders.h"

namespace zepho {
namespace {

using test::Utf8;
using test::Word;

std::string Top(const std::string& from, const std::string& subject, const std::string& date) {
  return "+OK\r\nFrom: " + from + "\r\nSubject: " + subject + "\r\nDate: " + date + "\r\n\r\n.\r\n";
}

CheckReport Done(std::int32_t new_count, std::int32_t notable) {
  CheckReport r;
  r.checked = true;
  r.ended = {2024, 5, 6, 7, 8, 9};
  r.new_count = new_count;
  r.notable_count = notable;
  return r;
}

TEST(ResultsStatusLine, Table) {
  struct Case { const char* name; CheckReport report; std::u16string line; };
  const auto failed = [](CheckOutcome o) {
    CheckReport r = Done(1, 0);  // what a failed walk had counted is not told
    r.outcome = o;
    return r;
  };
  const std::u16string at = u"最終チェック: 2024/05/06 07:08:09\u3000";
  const Case cases[] = {
      {"before the first check", CheckReport{}, u"まだチェックしていません"},
      {"no new mail", Done(0, 0), at + u"新着メールはありません"},
      {"new and notable", Done(2, 1), at + u"新着 2通（通知 1通）"},
      {"new, none notable", Done(12, 0), at + u"新着 12通（通知 0通）"},
      {"no connection", failed(CheckOutcome::NoConnection), at + u"サーバーに接続できませんでした"},
      {"connection lost", failed(CheckOutcome::ConnectionLost), at + u"サーバーとの接続が切れました"},
      {"time-out", failed(CheckOutcome::TimedOut),
       at + u"サーバーの応答がありませんでした（タイムアウト）"},
      {"password", failed(CheckOutcome::PasswordRefused), at + u"パスワードが拒否されました"},
      {"TLS", failed(CheckOutcome::TlsFailed), at + u"TLS接続に失敗しました"},
      {"server error", failed(CheckOutcome::ServerError), at + u"サーバーがエラーを返しました"},
  };
  for (const Case& c : cases) EXPECT_EQ(StatusLine(c.report), c.line) << c.name;

  CheckReport end_of_year = Done(0, 0);
  end_of_year.ended = {1999, 12, 31, 23, 59, 58};
  EXPECT_EQ(StatusLine(end_of_year), u"最終チェック: 1999/12/31 23:59:58\u3000新着メールはありません");
}

TEST(ResultsStatusLine, SaysWhenTheListIsCut) {
  CheckReport r = Done(static_cast<std::int32_t>(kMaxExaminedRows + 7), 0);
  for (std::size_t i = 0; i < kMaxExaminedRows + 7; ++i)
    r.examined.Record(static_cast<std::int32_t>(i + 1), {true, false, kNoEntry}, Top("a@x", "s", "d"));
  EXPECT_EQ(StatusLine(r), u"最終チェック: 2024/05/06 07:08:09\u3000新着 1007通（通知 0通）"
                           u"（一覧は新しいほうから 1000通）");
}

// Each cell as the window shows it: decoded, one line, no direction override.
TEST(ResultsRows, Cells) {
  CheckReport r = Done(2, 1);
  CheckList list{};
  list[3] = {"From:", "\x95\x5C@example.jp"};  // 表: its second byte is a backslash
  r.examined.Begin(list);
  const std::string yamada = Word("ISO-2022-JP", 'B', "\x1b$B;3ED\x1b(B");
  r.examined.Record(7, {true, false, kNoEntry},
                    Top("\"" + Utf8(u"Mallory \u202Egpj.exe") + "\" <m@example.net>",
                        Word("UTF-8", 'Q', Utf8(u"お知らせ ①㈱")), "Mon, 6 May 2024 11:00:00 +0900"));
  r.examined.Record(6, {true, true, 3},
                    Top(yamada + " <boss@example.jp>", "plain\tsubject", "Mon, 6 May 2024"));
  r.examined.Record(5, {false, false, kNoEntry}, "+OK\r\n\r\n.\r\n");
  const std::vector<ResultRow> rows = ResultRows(r);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (ResultRow{u"7", u"新着", u"", u"Mallory \uFFFDgpj.exe <m@example.net>",
                                u"お知らせ ①㈱", u"Mon, 6 May 2024 11:00:00 +0900"}));
  EXPECT_EQ(rows[1], (ResultRow{u"6", u"新着・通知", u"From: 表@example.jp",
                                u"山田 <boss@example.jp>", u"plain subject", u"Mon, 6 May 2024"}));
  EXPECT_EQ(rows[2], (ResultRow{u"5", u"受信済み", u"", u"", u"", u""}));
}

TEST(ResultsRows, CopyTextIsTheStatusThenOneLinePerRow) {
  const std::vector<ResultRow> rows = {
      {u"2", u"新着", u"", u"a <a@x>", u"件名", u"d1"},
      {u"1", u"受信済み", u"To: me", u"b", u"", u"d2"},
  };
  EXPECT_EQ(CopyText(u"状態行", rows),
            u"状態行\r\n2\t新着\t\ta <a@x>\t件名\td1\r\n1\t受信済み\tTo: me\tb\t\td2");
  EXPECT_EQ(CopyText(u"まだチェックしていません", {}), u"まだチェックしていません");
}

TEST(ResultsRows, Displayable) {
  struct Case { std::u16string in, out; };
  const Case cases[] = {
      {u"a\u2029b\u202Fc\u2065d\u206Ae", u"a\u2029b\u202Fc\u2065d\u206Ae"},  // neighbours stay
      {u"\u202A\u202B\u202C\u202D\u202E", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      {u"\u2066\u2067\u2068\u2069", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {u"tab\there\r\nline\x7F", u"tab here  line "},
      {u"名前 <a@x>", u"名前 <a@x>"},
  };
  for (const Case& c : cases) EXPECT_EQ(Displayable(c.in), c.out);
}

}  // namespace
}  // namespace zepho
