#include "pop3/examined_messages.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/charset_decode.h"
#include "pop3/pop3_session.h"
#include "unit/text_encoders.h"

namespace zepho {
namespace {

struct ServerMessage {
  std::string uid;
  std::string from;
  std::string subject = "s";
};

std::string TopReply(const ServerMessage& m) {
  return "+OK\r\nReceived: by relay\r\nFrom: " + m.from + "\r\nSubject: " + m.subject +
         "\r\nDate: Mon, 6 May 2024 10:00:00 +0900\r\n\r\n.\r\n";
}

CheckList Boss() {
  CheckList list{};
  list[2] = {"From:", "boss@example.jp"};
  return list;
}

// Runs a whole dialogue over `messages` (numbers 1 ... n) and gives what the
// walk recorded.
struct Walked {
  ExaminedMessages examined;
  bool walk_ended = false;
  std::vector<std::string> sent;
};

Walked RunWalk(const std::vector<ServerMessage>& messages, const std::string* received,
               std::int32_t not_popup = 0, std::optional<int> top_refused = std::nullopt) {
  Walked w;
  SessionConfig config;
  config.account = "a";
  config.password = "p";
  config.not_popup = not_popup;
  config.received = received;
  config.load_check_list = [] { return Boss(); };
  config.examined = &w.examined;
  Pop3Session session;
  session.Begin(std::move(config));
  session.OnConnected();
  std::string reply = "+OK ready\r\n";
  for (int step = 0; step < 100 && !session.finished(); ++step) {
    std::string line;
    for (const SessionAction& a : session.OnReceived(reply))
      if (a.kind == SessionAction::Kind::Send) line = a.text;
    if (line.empty()) break;
    w.sent.push_back(line);
    const std::size_t space = line.find(' ');
    const int n = space == std::string::npos ? 0 : std::atoi(line.c_str() + space + 1);
    if (line.starts_with("USER") || line.starts_with("PASS")) {
      reply = "+OK\r\n";
    } else if (line.starts_with("STAT")) {
      reply = "+OK " + std::to_string(messages.size()) + " 0\r\n";
    } else if (line.starts_with("UIDL")) {
      reply = "+OK " + std::to_string(n) + " " + messages[static_cast<std::size_t>(n - 1)].uid + "\r\n";
    } else if (line.starts_with("TOP")) {
      reply = top_refused == n ? "-ERR no such message\r\n"
                               : TopReply(messages[static_cast<std::size_t>(n - 1)]);
    } else {
      reply = "+OK bye\r\n";
    }
  }
  w.walk_ended = session.walk_ended();
  return w;
}

using S = ExaminedState;

struct Row {
  std::int32_t number;
  ExaminedState state;
  int entry;
  std::string from;
  bool operator==(const Row&) const = default;
};

std::vector<Row> RowsOf(const ExaminedMessages& e) {
  std::vector<Row> out;
  for (const ExaminedMessage& m : e.rows()) out.push_back({m.number, m.state, m.entry, m.from});
  return out;
}

// The rows of walks from the newest message down: where they stop and what
// each message was.
TEST(ExaminedMessagesWalks, Table) {
  const std::string boss = "Boss <boss@example.jp>", other = "other@example.org";
  const std::string received = "u1\r\nu2\r\n";
  struct Case {
    const char* name;
    std::vector<ServerMessage> messages;
    const std::string* received;
    std::int32_t not_popup;
    std::vector<Row> rows;
  };
  const Case cases[] = {
      {"stops at a known id",
       {{"u1", other}, {"u2", boss}, {"u3", other}, {"u4", other}}, &received, 0,
       {{4, S::New, kNoEntry, other}, {3, S::New, kNoEntry, other}, {2, S::Received, 2, boss}}},
      {"stops at a new notable message",
       {{"u1", other}, {"u2", other}, {"u3", boss}, {"u4", other}}, &received, 0,
       {{4, S::New, kNoEntry, other}, {3, S::NewNotable, 2, boss}}},
      {"inverted: the first new message matching none is notable and has no entry",
       {{"u1", other}, {"u2", other}, {"u3", other}, {"u4", boss}}, &received, 1,
       {{4, S::New, 2, boss}, {3, S::NewNotable, kNoEntry, other}}},
      {"without an id list every message is new, down to message 1",
       {{"u1", other}, {"u2", other}}, nullptr, 0,
       {{2, S::New, kNoEntry, other}, {1, S::New, kNoEntry, other}}},
      {"an empty mailbox examines nothing", {}, &received, 0, {}},
  };
  for (const Case& c : cases) {
    const Walked w = RunWalk(c.messages, c.received, c.not_popup);
    EXPECT_EQ(RowsOf(w.examined), c.rows) << c.name;
    EXPECT_TRUE(w.walk_ended) << c.name;
    EXPECT_EQ(w.examined.dropped(), 0u) << c.name;
  }
}

TEST(ExaminedMessagesWalks, ValuesAreKeptAsSentAndTheListWithThem) {
  const std::string subject = test::Word("ISO-2022-JP", 'B', "\x1b$B2q5D\x1b(B");
  const Walked w = RunWalk({{"u1", "=?UTF-8?B?5bGx55Sw?= <boss@example.jp>", subject}}, nullptr);
  ASSERT_EQ(w.examined.rows().size(), 1u);
  const ExaminedMessage& m = w.examined.rows()[0];
  EXPECT_EQ(m.from, "=?UTF-8?B?5bGx55Sw?= <boss@example.jp>") << "decoded only when shown";
  EXPECT_EQ(m.subject, subject);
  EXPECT_EQ(m.date, "Mon, 6 May 2024 10:00:00 +0900");
  EXPECT_EQ(w.examined.check_list()[2].address, "boss@example.jp");
}

// A message whose TOP was refused was not examined; the walk goes on.
TEST(ExaminedMessagesWalks, ARefusedTopLeavesNoRow) {
  const Walked w = RunWalk({{"u1", "a@x"}, {"u2", "b@x"}, {"u3", "c@x"}}, nullptr, 0, 2);
  EXPECT_EQ(RowsOf(w.examined), (std::vector<Row>{{3, S::New, kNoEntry, "c@x"},
                                                  {1, S::New, kNoEntry, "a@x"}}));
}

TEST(ExaminedMessagesBounds, RowsPastTheBoundAreCountedOnly) {
  ExaminedMessages e;
  e.Begin(Boss());
  const std::string top = TopReply({"u", "a@x"});
  for (std::size_t i = 0; i < kMaxExaminedRows + 5; ++i)
    e.Record(static_cast<std::int32_t>(5000 - i), {true, false, kNoEntry}, top);
  EXPECT_EQ(e.rows().size(), kMaxExaminedRows);
  EXPECT_EQ(e.dropped(), 5u);
  EXPECT_EQ(e.rows().front().number, 5000) << "the newest are kept";
  e.Begin(Boss());
  EXPECT_TRUE(e.rows().empty());
  EXPECT_EQ(e.dropped(), 0u);
}

// A value over the bound is cut where what is kept still decodes: never in an
// encoded-word when a blank is near, never inside a character.
TEST(ExaminedMessagesBounds, BoundedValue) {
  const std::size_t max = kMaxExaminedValueBytes;
  const std::string word = test::Word("UTF-8", 'B', "\xE4\xBC\x9A\xE8\xAD\xB0");  // 会議
  std::string words;
  while (words.size() < max + 100) words += word + " ";
  const std::string kanji = "\xE4\xBC\x9A";                                     // UTF-8
  const std::string sjis = "\x89\xEF";                                          // 会 in CP932
  struct Case { const char* name; std::string value; };
  const Case cases[] = {
      {"encoded-words", words},
      {"UTF-8 without blanks", "x" + [&] { std::string s; while (s.size() < max + 10) s += kanji; return s; }()},
      {"code page 932 without blanks", "x" + [&] { std::string s; while (s.size() < max + 10) s += sjis; return s; }()},
  };
  for (const Case& c : cases) {
    const std::string cut = BoundedValue(c.value);
    EXPECT_LE(cut.size(), max) << c.name;
    EXPECT_GT(cut.size(), max - word.size() - 2) << c.name;
    EXPECT_EQ(c.value.substr(0, cut.size()), cut) << c.name;
  }
  const std::string cut_words = BoundedValue(words);
  EXPECT_EQ(cut_words.substr(cut_words.size() - word.size()), word) << "the last word is whole";
  const std::string cut_utf8 = BoundedValue(cases[1].value);
  EXPECT_TRUE(IsValidUtf8(cut_utf8));
  EXPECT_EQ((cut_utf8.size() - 1) % 3, 0u);
  const std::string cut_sjis = BoundedValue(cases[2].value);
  EXPECT_EQ((cut_sjis.size() - 1) % 2, 0u) << "no half of a double-byte character";
  EXPECT_EQ(BoundedValue(std::string(max, 'a')), std::string(max, 'a'));
  EXPECT_EQ(BoundedValue(std::string(max + 1, 'a')), std::string(max, 'a'));
}

}  // namespace
}  // namespace zepho
