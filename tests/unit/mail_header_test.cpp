#include "common/mail_header.h"

#include <gtest/gtest.h>

#include <array>

namespace zepho {
namespace {

// A literal with its NUL bytes.
template <std::size_t N>
std::string Bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}

TEST(HeaderFieldValue, Table) {
  struct Case { std::string reply; std::string_view name; std::string expected; };
  const Case cases[] = {
      {"+OK 120 octets\r\nFrom: a@example.jp\r\nSubject: hi\r\n\r\n.\r\n", "Subject", "hi"},
      {"+OK\nFrom: a@example.jp\nSubject: hi\n\n.\n", "Subject", "hi"},          // bare LF
      {"+OK\r\nFrom: a\nSubject: hi\r\n\n.\r\n", "From", "a"},
      {"+OK\r\nSUBJECT: x\r\n", "subject", "x"},                                  // any letter case
      {"+OK\r\nsubject: x\r\n", "SuBjEcT", "x"},
      {"+OK\r\nX-Subject: no\r\nSubject-Line: no\r\nSubject: yes\r\n", "Subject", "yes"},
      {"+OK\r\nResent-From: r\r\nFrom: f\r\n", "From", "f"},
      {"+OK\r\nSubject: one\r\nSubject: two\r\n", "Subject", "one"},              // the first
      {"+OK\r\nSubject: a\r\n b\r\n\tc\r\nFrom: f\r\n", "Subject", "a b\tc"},     // unfolded
      {"+OK\r\nSubject:\r\n   text\r\n", "Subject", "text"},
      {"+OK\r\nSubject:   x  y \t\r\n", "Subject", "x  y"},                        // trimmed
      {"+OK\r\nSubject :x\r\n", "Subject", "x"},
      {"+OK\r\nSubject:\r\n", "Subject", ""},
      {"+OK\r\nFrom: a\r\n", "Subject", ""},                                      // absent
      {"+OK\r\nFrom: a\r\n\r\nSubject: body\r\n.\r\n", "Subject", ""},            // after the empty line
      {"+OK\r\nFrom: a\r\n.\r\nSubject: after\r\n", "Subject", ""},              // after the "." line
      {"+OK\nFrom: a\n.\nSubject: after\n", "Subject", ""},
      {"+OK\r\nSubject: cut", "Subject", "cut"},                                  // no final line
      {"+OK\r\nSubject: a\r\n b", "Subject", "a b"},
      {"Subject: x\r\n", "Subject", "x"},                                         // no status line
      {"+OK\r\n lost\r\nSubject: s\r\n", "Subject", "s"},
      {"+OK\r\nSubject: a\r\nno colon here\r\n b\r\n", "Subject", "a"},          // ends the field
      {"+OK\r\n..\r\n..dot: v\r\n", ".dot", "v"},                                 // dot-stuffed
      {"+OK\r\n.\r\nSubject: x\r\n", "Subject", ""},
      {Bytes("+OK\r\nSubject: a\0b\r\nFrom: c\r\n"), "Subject", Bytes("a\0b")},
      {Bytes("+OK\r\nX: \0\r\nFrom: c\r\n\r\n.\r\n"), "From", "c"},     // NUL is a byte
      {"+OK\r\nSubject: a\rb\r\n", "Subject", "a\rb"},
      {"", "Subject", ""},
      {"+OK", "Subject", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(HeaderFieldValue(c.reply, c.name), c.expected) << testing::PrintToString(c.reply);
}

TEST(HeaderFieldValue, ValueBound) {
  const std::size_t n = kMaxHeaderValueBytes;
  const std::string a(n, 'a');
  EXPECT_EQ(HeaderFieldValue("+OK\r\nSubject: " + a + "\r\n", "Subject"), a);
  EXPECT_EQ(HeaderFieldValue("+OK\r\nSubject: " + a + "b\r\n", "Subject"), a);
  EXPECT_EQ(HeaderFieldValue("+OK\r\nSubject:     " + a + "\r\n", "Subject"), a);  // blanks do not count
  // Across folded lines, and the lines after the cut still belong to the field.
  const std::string folded = "+OK\r\nSubject: " + std::string(n - 10, 'a') + "\r\n " + std::string(100, 'b') +
                             "\r\n " + std::string(100, 'c') + "\r\nFrom: f\r\n";
  EXPECT_EQ(HeaderFieldValue(folded, "Subject"), std::string(n - 10, 'a') + " " + std::string(9, 'b'));
  EXPECT_EQ(HeaderFieldValue(folded, "From"), "f");
}

TEST(ReadHeaderFields, SeveralInOnePass) {
  const std::string reply =
      "+OK\r\nDate: Mon, 4 May 2026 09:15:00 +0900\r\nSubject: s1\r\n s2\r\nFrom: f\r\nSubject: later\r\n\r\n.\r\n";
  const std::array<std::string_view, 4> names = {"From", "Subject", "Date", "To"};
  std::array<std::string, 4> values = {"old", "old", "old", "old"};
  ReadHeaderFields(reply, names, values);
  EXPECT_EQ(values[0], "f");
  EXPECT_EQ(values[1], "s1 s2");
  EXPECT_EQ(values[2], "Mon, 4 May 2026 09:15:00 +0900");
  EXPECT_EQ(values[3], "");
}

}  // namespace
}  // namespace zepho
