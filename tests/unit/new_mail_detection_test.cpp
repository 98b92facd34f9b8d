#include "pop3/new_mail_detection.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace zepho {
namespace {

// "表" is 0x95 0x5C: its second byte is a backslash.
const std::string kHyo = "\x95\x5C";

CheckList ListOf(std::vector<CheckEntry> entries, std::size_t first_slot = 0) {
  CheckList list{};
  for (std::size_t i = 0; i < entries.size(); ++i) list[first_slot + i] = entries[i];
  return list;
}

TEST(DetectionLineMatches, Table) {
  struct Case { const char* name; CheckList list; std::string line; bool match; };
  const Case cases[] = {
      {"both texts", ListOf({{"From:", "boss@example.com"}}),
       "From: The Boss <boss@example.com>\r", true},
      {"address with a capital", ListOf({{"From:", "boss@example.com"}}),
       "From: Boss@example.com\r", false},
      {"header with other case", ListOf({{"From:", "boss@example.com"}}),
       "FROM: boss@example.com\r", false},
      {"either order", ListOf({{"From:", "boss@example.com"}}),
       "boss@example.com wrote From: here\r", true},
      {"any header holding the name", ListOf({{"From:", "boss@example.com"}}),
       "Resent-From: boss@example.com\r", true},
      {"address only", ListOf({{"From:", "boss@example.com"}}), "To: boss@example.com\r", false},
      {"empty address never matches", ListOf({{"From:", ""}}), "From: anyone\r", false},
      {"empty header never matches", ListOf({{"", "boss"}}), "From: boss\r", false},
      {"empty list", CheckList{}, "From: boss@example.com\r", false},
      {"second entry", ListOf({{"To:", "me@"}, {"From:", "boss@"}}), "From: boss@x\r", true},
      {"last slot", ListOf({{"Cc:", "team@"}}, 19), "Cc: team@example.com\r", true},
      // The two texts need not come from one entry to appear, but must to match.
      {"texts of two entries", ListOf({{"From:", "boss@"}, {"To:", "me@"}}),
       "From: me@example.com\r", false},
      {"no hit on a trail byte", ListOf({{"From:", "\\"}}), "From: " + kHyo + "\r", false},
      {"real backslash after 表", ListOf({{"From:", "\\"}}), "From: " + kHyo + "\\\r", true},
      // A NUL ends the text of its line: what follows it is not looked at.
      {"address after a NUL", ListOf({{"From:", "boss@example.com"}}),
       std::string("From: Boss\0 <boss@example.com>\r", 31), false},
      {"address before a NUL", ListOf({{"From:", "boss@example.com"}}),
       std::string("From: boss@example.com\0junk\r", 28), true},
  };
  for (const Case& c : cases) EXPECT_EQ(LineMatches(c.list, c.line), c.match) << c.name;
}

TEST(DetectionHeadersMatch, LineCutting) {
  const CheckList list = ListOf({{"From:", "boss@example.com"}});
  struct Case { const char* name; std::string reply; bool match; };
  const Case cases[] = {
      {"header line", "+OK\r\nTo: me\r\nFrom: boss@example.com\r\n\r\n.\r\n", true},
      {"no such line", "+OK\r\nFrom: other@example.com\r\n\r\n.\r\n", false},
      {"empty reply", "", false},
      {"status line is tested too", "+OK From: boss@example.com\r\n.\r\n", true},
      {"last line without line end", "+OK\r\nFrom: boss@example.com", true},
      {"name and address on two lines", "+OK\r\nFrom: The Boss\r\n <boss@example.com>\r\n.\r\n",
       false},
      {"a CR inside a line cuts it", "+OK\r\nFrom: \rboss@example.com\r\n.\r\n", false},
      {"the byte after a CR is skipped, LF or not", "+OK\r\nX: y\rFrom: boss@example.com\r\n",
       false},
      {"skipping a LF after a CR", "+OK\r\nX: y\r\nFrom: boss@example.com\r\n", true},
      {"a bare LF cuts a line", "+OK\r\nFrom: x\nboss@example.com\r\n.\r\n", false},
      {"bare LF lines", "+OK\nSubject: hi\nFrom: boss@example.com\n", true},
      // The scan ends at the first two-byte line: the "." line, a one-character
      // line with its CR, or two bytes before a bare LF.
      {"nothing after the dot line", "+OK\r\n.\r\nFrom: boss@example.com\r\n", false},
      {"one character and CR", "+OK\r\nX\r\nFrom: boss@example.com\r\n", false},
      {"one character and bare LF", "+OK\r\nX\nFrom: boss@example.com\r\n", true},
      {"two characters and bare LF", "+OK\r\nXY\nFrom: boss@example.com\r\n", false},
      {"empty line goes on", "+OK\r\n\r\nFrom: boss@example.com\r\n", true},
      // A folded header whose continuation line is a lone blank ends the scan there.
      {"blank continuation line",
       "+OK\r\nSubject: hello\r\n \r\nFrom: boss@example.com\r\n\r\n.\r\n", false},
      {"continuation with text",
       "+OK\r\nSubject: hello\r\n  world\r\nFrom: boss@example.com\r\n\r\n.\r\n", true},
  };
  for (const Case& c : cases) EXPECT_EQ(HeadersMatch(list, c.reply), c.match) << c.name;
}

// The entry that matched is the one of the first matching line, and within
// that line the first entry of the list: the one the user reads as the reason.
TEST(DetectionMatchingEntry, Table) {
  const CheckList list = ListOf({{"To:", "me@"}, {"From:", "boss@"}, {"From:", "boss@example"}}, 3);
  struct Case { const char* name; std::string reply; int entry; };
  const Case cases[] = {
      {"none", "+OK\r\nFrom: other@x\r\n\r\n.\r\n", kNoEntry},
      {"its slot, not its place in the file", "+OK\r\nFrom: boss@x\r\n\r\n.\r\n", 4},
      {"the first of two entries on one line", "+OK\r\nFrom: boss@example.jp\r\n\r\n.\r\n", 4},
      {"the first line decides", "+OK\r\nTo: me@x\r\nFrom: boss@x\r\n\r\n.\r\n", 3},
      {"a later line when the first holds none", "+OK\r\nX: y\r\nFrom: boss@x\r\n.\r\n", 4},
      {"not past the dot line", "+OK\r\n.\r\nFrom: boss@x\r\n", kNoEntry},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchingEntry(list, c.reply), c.entry) << c.name;
    EXPECT_EQ(HeadersMatch(list, c.reply), c.entry != kNoEntry) << c.name;
  }
}

TEST(DetectionHeadersMatch, MatchOnAnEntryWithTwoByteLine) {
  // A short line is still tested before the scan ends on it.
  EXPECT_TRUE(HeadersMatch(ListOf({{"A", "B"}}), "+OK\r\nAB\nmore\r\n"));
  EXPECT_TRUE(HeadersMatch(ListOf({{".", "\r"}}), "+OK\r\n.\r\n"));
}

TEST(DetectionHeadersMatch, LongReplyIsScannedToTheEnd) {
  std::string reply = "+OK\r\n";
  for (int i = 0; i < 2000; ++i) reply += "Received: from relay" + std::to_string(i) + "\r\n";
  reply += "From: boss@example.com\r\n\r\n.\r\n";
  ASSERT_GT(reply.size(), 30000u);
  EXPECT_TRUE(HeadersMatch(ListOf({{"From:", "boss@example.com"}}), reply));
}

TEST(DetectionParseUid, Table) {
  struct Case { std::string reply, uid; };
  const Case cases[] = {
      {"+OK 2 abc123\r\n", "abc123"},
      {"+OK 2 abc123", "abc123"},
      {"+OK 2 abc123\r\ntrailing", "abc123"},
      {"+OK 2 a b\r\n", "a b"},           // only the first two spaces separate
      {"+OK  x\r\n", "x"},                // two spaces in a row
      {"+OK 2 ab\rc\n", "ab"},
      {"+OK 2\r\n", ""},                  // one space only
      {"+OK\r\n", ""},
      {"+OK 2 \r\n", ""},
      {"+OK\r\n 2 id\r\n", "id"},         // spaces are counted over the whole reply
      {"+OK 1 " + std::string(300, 'u') + "\r\n", std::string(300, 'u')},
      {std::string("+OK 2 ab\0cd\r\n", 13), "ab"},  // a NUL ends the id
  };
  for (const Case& c : cases) EXPECT_EQ(ParseUid(c.reply), c.uid) << c.reply;
}

TEST(DetectionIsNewMessage, Table) {
  struct Case { const char* name; std::optional<std::string> list; std::string uid; bool is_new; };
  const Case cases[] = {
      {"no list", std::nullopt, "abc", true},
      {"empty list", std::string(), "abc", true},
      {"listed", std::string("x1\r\nabc123\r\n"), "abc123", false},
      {"not listed", std::string("x1\r\nabc123\r\n"), "zzz", true},
      {"part of a longer id", std::string("abc123\r\n"), "abc12", false},
      {"empty id", std::string("abc123\r\n"), "", true},
      {"case differs", std::string("ABC123\r\n"), "abc123", true},
      {"dummy id like any", std::string("dmy data strings\r\n"), kDummyUid, false},
      {"no hit on a trail byte", std::string("x" + kHyo + "\r\n"), "\\", true},
  };
  for (const Case& c : cases) {
    const std::string* list = c.list ? &*c.list : nullptr;
    EXPECT_EQ(IsNewMessage(list, c.uid), c.is_new) << c.name;
  }
}

// One EvaluateMessage call from the middle of a walk (message 4, one new mail so far).
TEST(DetectionEvaluateMessage, OneMessage) {
  const CheckList list = ListOf({{"From:", "boss@"}});
  const std::string received = "old\r\n";
  const std::string matching = "+OK\r\nFrom: boss@x\r\n\r\n.\r\n";
  const std::string other = "+OK\r\nFrom: other@x\r\n\r\n.\r\n";
  struct Case {
    const char* name; const std::string* top; std::int32_t not_popup; const char* uid;
    WalkState after; MessageVerdict verdict; WalkState before = {0, 1, 4};
  };
  const MessageVerdict T = {true, true, 0}, F = {false, true, 0};  // new or known, notable, entry 0
  const Case cases[] = {
      {"notable new ends the walk", &matching, 0, "new", {1, 2, 0}, T},
      {"notable known", &matching, 0, "old", {0, 1, 0}, F},
      {"plain new goes on", &other, 0, "new", {0, 2, 4}, {true, false, kNoEntry}},
      {"plain known ends the walk", &other, 0, "old", {0, 1, 0}, {false, false, kNoEntry}},
      {"inverted: no match is notable", &other, 1, "new", {1, 2, 0}, {true, true, kNoEntry}},
      {"inverted: a match is plain", &matching, 1, "new", {0, 2, 4}, {true, false, 0}},
      {"other NotPopup: nothing notable", &matching, 2, "new", {0, 2, 4}, {true, false, 0}},
      {"other NotPopup, no match", &other, -1, "new", {0, 2, 4}, {true, false, kNoEntry}},
      {"notable known clears an earlier match", &matching, 0, "old", {0, 1, 0}, F, {1, 1, 4}},
      {"plain known leaves an earlier match", &other, 0, "old", {1, 1, 0},
       {false, false, kNoEntry}, {1, 1, 4}},
  };
  for (const Case& c : cases) {
    WalkState walk = c.before;
    EXPECT_EQ(EvaluateMessage(list, c.not_popup, &received, c.uid, *c.top, walk), c.verdict)
        << c.name;
    EXPECT_EQ(walk.MatchFound, c.after.MatchFound) << c.name;
    EXPECT_EQ(walk.NewMailCount, c.after.NewMailCount) << c.name;
    EXPECT_EQ(walk.MessageIndex, c.after.MessageIndex) << c.name;
  }
}

// Walks messages from the highest number down as the dialogue does, and
// returns the numbers examined.
struct Message { std::string uid; bool matching; };
std::vector<int> Walk(const std::vector<Message>& by_number, std::int32_t not_popup,
                      const std::string* received, WalkState& walk) {
  const CheckList list = ListOf({{"From:", "boss@example.com"}});
  std::vector<int> examined;
  walk.MessageIndex = static_cast<std::int32_t>(by_number.size());
  while (walk.MessageIndex > 0) {
    const Message& m = by_number[static_cast<std::size_t>(walk.MessageIndex - 1)];
    examined.push_back(walk.MessageIndex);
    const std::string top = std::string("+OK\r\nFrom: ") +
                            (m.matching ? "boss@example.com" : "someone@example.com") +
                            "\r\n\r\n.\r\n";
    EvaluateMessage(list, not_popup, received, m.uid, top, walk);
    --walk.MessageIndex;
  }
  return examined;
}

TEST(DetectionEvaluateMessage, Walks) {
  const std::string received = "u1\r\nu2\r\nu3\r\n";
  struct Case {
    const char* name; std::vector<Message> messages; std::int32_t not_popup;
    const std::string* received; std::vector<int> examined; int match, count;
  };
  const Case cases[] = {
      {"5,4 new, 3 known, none matching",
       {{"u1", false}, {"u2", false}, {"u3", false}, {"u4", false}, {"u5", false}}, 0,
       &received, {5, 4, 3}, 0, 2},
      {"4 matching",
       {{"u1", false}, {"u2", false}, {"u3", false}, {"u4", true}, {"u5", false}}, 0, &received,
       {5, 4}, 1, 2},
      {"inverted, 5 matching none",
       {{"u1", false}, {"u2", false}, {"u3", false}, {"u4", true}, {"u5", false}}, 1, &received,
       {5}, 1, 1},
      {"no list: all new, to message 1",
       {{"u1", false}, {"u2", false}, {"u3", false}}, 0, nullptr, {3, 2, 1}, 0, 3},
      {"known id that is part of a longer one stops the walk",
       {{"u1", false}, {"u3", false}, {"u", false}}, 0, &received, {3}, 0, 0},
  };
  for (const Case& c : cases) {
    WalkState walk;
    EXPECT_EQ(Walk(c.messages, c.not_popup, c.received, walk), c.examined) << c.name;
    EXPECT_EQ(walk.MatchFound, c.match) << c.name;
    EXPECT_EQ(walk.NewMailCount, c.count) << c.name;
  }
}

}  // namespace
}  // namespace zepho
